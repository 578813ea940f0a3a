// krvtool export --sign and krvtool verify as a user runs them: a signed
// export verifies, with its source frame by frame; one byte changed in any
// kind of file, a manifest re-signed with another key, the wrong source, or
// an unusable manifest is caught with the exit code that says so.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "engine_fixture.h"
#include "evidence/export_manifest.h"
#include "evidence/signing_key.h"

namespace vedra::test {
namespace {

namespace fs = std::filesystem;

class VerifyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir();
        ASSERT_TRUE(MakeRecording(dir_->file("cam.krv"), "--channels 1,2 --seconds 4"));
        ASSERT_TRUE(MakeRecording(dir_->file("other.krv"), "--channels 1,2 --seconds 4 --gop 5"));
    }
    static void TearDownTestSuite() { delete dir_; }

    // krvtool with its own key folder; the exit code.
    int Krvtool(const std::string& args, std::string* out = nullptr, const std::string& config = "config")
    {
        int status = -1;
        const std::string said = RunCommand("XDG_CONFIG_HOME='" + dir_->file(config) + "' XDG_DATA_HOME='" +
                                                dir_->file("data") + "' " KRVTOOL_PATH " " + args + " 2>&1",
                                            &status);
        if (out)
            *out = said;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // A fresh signed export of 1-3 s into `name`; its manifest.
    fs::path SignedExport(const std::string& name, const std::string& options = "--format mkv --single-file")
    {
        const fs::path out = out_.path() / name;
        std::string said;
        EXPECT_EQ(
            Krvtool("export '" + dir_->file("cam.krv") + "' '" + out.string() + "' --from 1 --to 3 --sign " + options,
                    &said),
            0)
            << said;
        for (const auto& e : fs::directory_iterator(out))
            if (e.path().string().ends_with(".manifest.json"))
                return e.path();
        ADD_FAILURE() << "no manifest in " << out;
        return {};
    }
    static void FlipByte(const fs::path& file, std::streamoff at)
    {
        std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
        f.seekg(at < 0 ? at : at, at < 0 ? std::ios::end : std::ios::beg);
        const char c = char(f.get());
        f.seekp(at < 0 ? at : at, at < 0 ? std::ios::end : std::ios::beg);
        f.put(char(c ^ 0x01));
    }
    static TempDir* dir_;
    TempDir out_;
};
TempDir* VerifyTest::dir_ = nullptr;

TEST_F(VerifyTest, SignedExportVerifiesWithItsSourceFrameByFrame)
{
    const fs::path manifest = SignedExport("good");
    std::string key, said;
    ASSERT_EQ(Krvtool("key", &key), 0) << key;
    key = key.substr(key.find("ed25519:"));
    key = key.substr(0, key.find('\n'));
    EXPECT_EQ(Krvtool("verify '" + manifest.parent_path().string() + "' --source '" + dir_->file("cam.krv") +
                          "' --key " + key,
                      &said),
              0)
        << said;
    EXPECT_NE(said.find("verified"), std::string::npos) << said;
    EXPECT_NE(said.find("by the key given with --key"), std::string::npos) << said;
    EXPECT_NE(said.find("each the recording's, byte for byte"), std::string::npos) << said;
    struct stat st {};
    ASSERT_EQ(stat((dir_->path() / "config" / "Vedra Media Player" / "signing.key").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the key made at first use is the user's alone";
    EXPECT_EQ(said.find("vedra-signing-key"), std::string::npos) << "the secret key is never printed";
}

TEST_F(VerifyTest, EveryKindOfTamperingIsCaught)
{
    struct Row {
        const char* name;
        std::function<void(const fs::path& manifest)> tamper;
        std::string extra; // verify's further arguments
        int exit;
        const char* said;
    };
    auto media = [](const fs::path& manifest) {
        for (const auto& e : fs::directory_iterator(manifest.parent_path()))
            if (e.path().extension() == ".mkv")
                return e.path();
        return fs::path();
    };
    const std::string other = "other";
    std::string otherKey;
    ASSERT_EQ(Krvtool("key", &otherKey, other), 0);
    otherKey = otherKey.substr(otherKey.find("ed25519:"), 52);
    const Row rows[] = {
        {"a byte of the video", [&](const fs::path& m) { FlipByte(media(m), -100); }, "", 1, "SHA-256"},
        {"a byte of the manifest", [](const fs::path& m) { FlipByte(m, 40); }, "", 1, "signature: does not match"},
        // A changed base64 character may still decode, or no longer: either way it does not verify.
        {"a byte of the signature", [](const fs::path& m) { FlipByte(m.string() + ".sig", 5); }, "", 1,
         "does not match: signature:"},
        {"a signature cut short", [](const fs::path& m) { fs::resize_file(m.string() + ".sig", 40); }, "", 1,
         "is not an Ed25519 signature"},
        {"the video removed", [&](const fs::path& m) { fs::remove(media(m)); }, "", 1, "missing"},
        {"the wrong source", [](const fs::path&) {}, "--source '" + dir_->file("other.krv") + "'", 1,
         "is not the recording the manifest names"},
        {"the key of another signer", [](const fs::path&) {}, "--key " + otherKey, 1, "signature: does not match"},
        {"not JSON", [](const fs::path& m) { std::ofstream(m) << "{\"manifest_version\":"; }, "", 2, "not JSON"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path manifest = SignedExport(row.name);
        row.tamper(manifest);
        std::string said;
        EXPECT_EQ(Krvtool("verify '" + manifest.string() + "' " + row.extra, &said), row.exit) << said;
        EXPECT_NE(said.find(row.said), std::string::npos) << said;
    }
}

// Burned-in outputs are not the recording's bytes: verify says they were
// re-encoded and checks that every frame is there at its time; their own
// bytes are still held to the manifest's SHA-256.
TEST_F(VerifyTest, BurnedInExportVerifiesByFramesAndTimes)
{
    struct Row {
        const char* name;
        const char* options;
        bool flip; // a byte of the video changed
        int exit;
        const char* said;
    };
    const Row rows[] = {
        // Two cameras, 1 to 3 s at 10 frames a second.
        {"mkv, one file", "--format mkv --single-file --burn-in", false, 0,
         "40 frame(s) re-encoded with the time of day burned in (H.264"},
        {"avi per channel", "--format avi --burn-in", false, 0, "(MPEG-4 part 2"},
        {"a byte of the video", "--format mp4 --burn-in --channels 2", true, 1, "SHA-256"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path manifest = SignedExport(row.name, row.options);
        if (row.flip)
            for (const auto& e : fs::directory_iterator(manifest.parent_path()))
                if (e.path().extension() == ".mp4")
                    FlipByte(e.path(), -100);
        std::string said;
        EXPECT_EQ(Krvtool("verify '" + manifest.string() + "' --source '" + dir_->file("cam.krv") + "'", &said),
                  row.exit)
            << said;
        EXPECT_NE(said.find(row.said), std::string::npos) << said;
        EXPECT_EQ(said.find("byte for byte"), std::string::npos) << said;
    }
}

// A manifest edited and signed again with another key still verifies against
// the key it names: only --key with the real signer's key catches it.
TEST_F(VerifyTest, ReSignedWithAnotherKeyIsCaughtWithTheSignersKey)
{
    const fs::path manifest = SignedExport("resigned");
    std::string mine;
    ASSERT_EQ(Krvtool("key", &mine), 0);
    mine = mine.substr(mine.find("ed25519:"), 52);
    std::string error;
    const std::optional<SigningKey> forger = LoadSigningKey(out_.path() / "forger.key", true, error);
    ASSERT_TRUE(forger) << error;
    std::ifstream in(manifest);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::optional<ExportManifest> m = ParseManifest(text, error);
    ASSERT_TRUE(m) << error;
    m->account = "someone else";
    m->signerKey = PublicKeyText(forger->publicKey);
    m->signerFingerprint = KeyFingerprint(forger->publicKey);
    text = ManifestJson(*m);
    std::ofstream(manifest, std::ios::trunc) << text;
    std::ofstream(manifest.string() + ".sig", std::ios::trunc) << SignatureText(SignBytes(text, *forger));

    std::string said;
    EXPECT_EQ(Krvtool("verify '" + manifest.string() + "'", &said), 0) << "it names its own key: " << said;
    EXPECT_EQ(Krvtool("verify '" + manifest.string() + "' --key " + mine, &said), 1) << said;
    EXPECT_NE(said.find("signature: does not match"), std::string::npos) << said;
}

// Bookmarks in the exported range go into the signed manifest; the case
// report names the export and holds each bookmark's note and one picture per
// camera, read back with poppler's tools.
TEST_F(VerifyTest, BookmarksGoIntoTheManifestAndTheReport)
{
    const std::string cam = dir_->file("cam.krv");
    std::string said;
    ASSERT_EQ(Krvtool("bookmark '" + cam + "' --at 1.5 --note 'door opens'", &said), 0) << said;
    ASSERT_EQ(Krvtool("bookmark '" + cam + "' --at 2.5 --channels 2 --note \"$(printf 'a red car\\nleaves')\"", &said),
              0)
        << said;
    ASSERT_EQ(Krvtool("bookmark '" + cam + "' --at 3.5 --note 'after the range'", &said), 0) << said;
    const fs::path manifest = SignedExport("marked");
    std::ifstream in(manifest);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string error;
    const std::optional<ExportManifest> m = ParseManifest(text, error);
    ASSERT_TRUE(m) << error;
    ASSERT_EQ(m->bookmarks.size(), 2u) << text;
    EXPECT_EQ(m->bookmarks[0].offsetMs, 1500u);
    EXPECT_EQ(m->bookmarks[0].channels, (std::vector<int>{1, 2}));
    EXPECT_EQ(m->bookmarks[1].note, "a red car\nleaves");

    const std::string pdf = (out_.path() / "case.pdf").string();
    ASSERT_EQ(Krvtool("report '" + cam + "' --to 3 --title 'Case 7' --out '" + pdf + "' --manifests '" +
                          manifest.parent_path().string() + "'",
                      &said),
              0)
        << said;
    EXPECT_NE(said.find("2 bookmark(s), 3 picture(s), 1 signed export(s)"), std::string::npos) << said;
    const std::string words = RunCommand("pdftotext -layout '" + pdf + "' -");
    for (const std::string& want : {std::string("Case 7"), std::string("door opens"), std::string("a red car"),
                                    std::string("leaves"), m->signerFingerprint, m->sourceSha256})
        EXPECT_NE(words.find(want), std::string::npos) << want << " in\n" << words;
    EXPECT_EQ(words.find("after the range"), std::string::npos) << "--to leaves it out";
    const std::string images = RunCommand("pdfimages -list '" + pdf + "'");
    size_t pictures = 0;
    for (size_t at = images.find(" 352   288  rgb "); at != std::string::npos;
         at = images.find(" 352   288  rgb ", at + 1))
        ++pictures;
    EXPECT_EQ(pictures, 3u) << images;
}

} // namespace
} // namespace vedra::test
