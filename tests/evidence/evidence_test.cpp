// The evidence library: the JSON of manifests read back exactly and bad
// texts refused with where; the signing key made private at first use,
// refused when others could read it or it is no key; signatures that catch
// one changed byte.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "evidence/export_manifest.h"
#include "evidence/json_value.h"
#include "evidence/signing_key.h"

namespace vedra {
namespace {

namespace fs = std::filesystem;

struct JsonRow {
    const char* name;
    std::string text;
    bool ok;
    std::string written; // how it is written back when ok
};

TEST(Json, ReadsAndWritesBack)
{
    const JsonRow rows[] = {
        {"object", R"({"a":1,"b":[true,false,null],"c":"x"})", true, R"({"a":1,"b":[true,false,null],"c":"x"})"},
        {"spaces", " { \"a\" : [ 1 , 2.5e3 ] } ", true, R"({"a":[1,2.5e3]})"},
        {"escapes", R"(["\n\t\"\\\/\u00e9\ud83d\ude00"])", true, "[\"\\n\\t\\\"\\\\/\xc3\xa9\xf0\x9f\x98\x80\"]"},
        {"bigNumberKept", R"([18446744073709551615])", true, R"([18446744073709551615])"},
        {"empty", "", false, ""},
        {"trailingComma", R"([1,])", false, ""},
        {"twoValues", R"(1 2)", false, ""},
        {"unclosedString", R"(["abc)", false, ""},
        {"loneSurrogate", R"(["\ud800"])", false, ""},
        {"rawControl", "[\"a\x01\"]", false, ""},
        {"notUtf8", "[\"\xff\"]", false, ""},
        {"duplicateMember", R"({"a":1,"a":2})", false, ""},
        {"tooDeep", std::string(100, '[') + std::string(100, ']'), false, ""},
        {"leadingZeroFraction", R"([1.])", false, ""},
    };
    for (const JsonRow& row : rows) {
        SCOPED_TRACE(row.name);
        std::string error;
        const std::optional<JsonValue> v = ParseJson(row.text, error);
        ASSERT_EQ(v.has_value(), row.ok) << error;
        if (row.ok)
            EXPECT_EQ(v->Write(), row.written);
        else
            EXPECT_EQ(error.rfind("at byte ", 0), 0u) << error;
    }
}

TEST(Json, WritesAnyBytesAsValidJson)
{
    const std::string note = "line\nnext \x1b[31m \xff\xfe \xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d";
    const std::string text = JsonValue::String(note).Write();
    std::string error;
    const std::optional<JsonValue> back = ParseJson(text, error);
    ASSERT_TRUE(back) << error << " in " << text;
    EXPECT_EQ(back->text(), "line\nnext \x1b[31m \xef\xbf\xbd\xef\xbf\xbd \xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d");
}

ExportManifest SampleManifest()
{
    ExportManifest m;
    m.tool = "Vedra Media Player";
    m.toolVersion = "0.1.0";
    m.sourcePath = "/cams/lobby.krv";
    m.sourceSize = 1736704;
    m.sourceSha256 = std::string(64, 'a');
    m.fileId = "01234567-89ab-cdef-0123-456789abcdef";
    m.creationDate = "2026-01-02T00:00:00.000Z";
    m.fromMs = 7000;
    m.toMs = 9000;
    m.cameras = {1, 2};
    m.outputs.push_back({"lobby_00-00-06.800_00-00-08.960.mkv",
                         123456,
                         std::string(64, 'b'),
                         true,
                         {{1, 55, 6800, 8960}, {2, 55, 6800, 8960}},
                         false,
                         ""});
    m.outputs.push_back({"lobby_00-00-06.800_00-00-08.960_burned.mp4",
                         654321,
                         std::string(64, 'c'),
                         false,
                         {{1, 55, 6800, 8960}},
                         true,
                         "H.264 (libx264, CRF 20, preset veryfast)"});
    m.bookmarks.push_back({7500, "2026-01-02T00:00:08.500Z", {1}, "a van stops\nat the gate \u05e9"});
    m.account = "reviewer";
    m.host = "desk";
    m.exportedAt = "2026-12-08T01:00:00Z";
    m.signerKey = "ed25519:AAAA";
    m.signerFingerprint = "1990:5c61";
    return m;
}

TEST(Manifest, ReadsBackWhatItWrote)
{
    const std::string text = ManifestJson(SampleManifest());
    std::string error;
    const std::optional<ExportManifest> m = ParseManifest(text, error);
    ASSERT_TRUE(m) << error << "\n" << text;
    EXPECT_EQ(ManifestJson(*m), text) << "the same bytes again";
    EXPECT_EQ(m->outputs.at(0).tracks.at(1).frames, 55u);
    EXPECT_FALSE(m->outputs.at(0).burnIn);
    EXPECT_TRUE(m->outputs.at(1).burnIn);
    EXPECT_EQ(m->outputs.at(1).videoCodec, "H.264 (libx264, CRF 20, preset veryfast)");
    EXPECT_EQ(m->bookmarks.at(0).note, SampleManifest().bookmarks[0].note);
}

TEST(Manifest, NamesWhatIsWrong)
{
    const std::string good = ManifestJson(SampleManifest());
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    const std::pair<std::string, std::string> rows[] = {
        {"{", "not JSON: at byte"},
        {"[]", "not a manifest"},
        {replaced("\"manifest_version\": 1", "\"manifest_version\": 2"), "version 2"},
        {replaced("\"size\":123456", "\"size\":-1"), "\"outputs\"[0].\"size\" is not a count"},
        {replaced("\"name\":\"lobby_", "\"name\":\"../lobby_"), "is not a file name beside the manifest"},
        {replaced("\"outputs\"", "\"output\""), "\"outputs\" is missing"},
        {replaced("\"video\":\"copy\"", "\"video\":\"redrawn\""), "\"video\" is neither"},
        {replaced("\"video_codec\"", "\"codec\""), "\"outputs\"[1].\"video_codec\" is missing"},
    };
    for (const auto& [text, why] : rows) {
        SCOPED_TRACE(why);
        std::string error;
        EXPECT_FALSE(ParseManifest(text, error));
        EXPECT_NE(error.find(why), std::string::npos) << error;
    }
}

class KeyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("vedra-key-" + std::to_string(getpid()));
        fs::remove_all(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(KeyTest, MadeOncePrivateAndSignsWhatItSigned)
{
    const fs::path file = dir_ / "config" / "signing.key";
    std::string error;
    EXPECT_FALSE(LoadSigningKey(file, false, error)) << "no key is made unless asked";
    const std::optional<SigningKey> made = LoadSigningKey(file, true, error);
    ASSERT_TRUE(made) << error;
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat(file.parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    const std::optional<SigningKey> again = LoadSigningKey(file, true, error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(again->publicKey, made->publicKey) << "the same key the next time";

    const std::string text = R"({"manifest":1})";
    const Signature sig = SignBytes(text, *made);
    EXPECT_TRUE(VerifyBytes(text, sig, made->publicKey));
    std::string changed = text;
    changed[3] ^= 1;
    EXPECT_FALSE(VerifyBytes(changed, sig, made->publicKey));
    Signature bent = sig;
    bent[10] ^= 0x40;
    EXPECT_FALSE(VerifyBytes(text, bent, made->publicKey));

    const std::optional<PublicKey> read = ParsePublicKey(PublicKeyText(made->publicKey) + "\n");
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, made->publicKey);
    EXPECT_FALSE(ParsePublicKey("ed25519:AAAA"));
    EXPECT_EQ(KeyFingerprint(made->publicKey).size(), 39u);
}

TEST_F(KeyTest, RefusesAKeyOthersCanReadOrThatIsNoKey)
{
    const fs::path file = dir_ / "signing.key";
    std::string error;
    ASSERT_TRUE(LoadSigningKey(file, true, error)) << error;
    chmod(file.c_str(), 0644);
    EXPECT_FALSE(LoadSigningKey(file, true, error));
    EXPECT_NE(error.find("can be read by others"), std::string::npos) << error;
    chmod(file.c_str(), 0600);
    std::ofstream(file) << "vedra-signing-key-v1 notbase64!\n";
    EXPECT_FALSE(LoadSigningKey(file, true, error));
    EXPECT_NE(error.find("is not a key"), std::string::npos) << error;
    fs::remove(file);
    fs::create_symlink("/etc/passwd", file);
    EXPECT_FALSE(LoadSigningKey(file, true, error)) << "a link is never followed";
}

} // namespace
} // namespace vedra
