// krvtool verify PATH [--source REC] [--key PUBKEY]: whether exported
// evidence is what its signed manifest says. PATH is a manifest or a folder
// holding them. Checks the signature (against --key, else the key the manifest
// names, and says which), every output's size and SHA-256, and with --source
// the recording's size and SHA-256 and that every exported frame is the
// recording's frame at that time, byte for byte; of an output re-encoded with
// the time of day burned in, that it holds every frame at its time.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "commands.h"
#include "evidence/export_manifest.h"
#include "evidence/signing_key.h"
#include "exported_frames.h"
#include "krv/krv_data_packets.h"
#include "krv/krv_range_reader.h"
#include "krv/krv_reader.h"
#include "krv/krv_recording.h"
#include "krv/krv_time.h"
#include "krv/krv_timeline.h"
#include "sha256_file.h"
#include "tool_report.h"

namespace krvtool {
namespace {

namespace fs = std::filesystem;

constexpr const char* kVerifyUsage =
    "usage: krvtool verify PATH [--source RECORDING] [--key PUBKEY]\n"
    "  PATH       a manifest (NAME.manifest.json) or a folder holding them\n"
    "  --source   also check the recording it came from, and every exported frame against it\n"
    "  --key      the signer's public key (ed25519:..., as krvtool key prints it, or a file\n"
    "             holding it); without it the key the manifest names is used\n";

constexpr uintmax_t kMaxManifest = 16u << 20;

struct Findings {
    std::vector<std::string> checked;  // what was found right
    std::vector<std::string> problems; // every file or field that does not match
};

// A whole small file, or nothing with `error`.
bool ReadSmallFile(const fs::path& path, std::string& text, std::string& error)
{
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(path, ec);
    if (ec || !fs::exists(st)) {
        error = shown(path.string()) + " is missing";
        return false;
    }
    if (!fs::is_regular_file(st) || fs::file_size(path, ec) > kMaxManifest) {
        error = shown(path.string()) + " is not a manifest file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    if (!in && !in.eof()) {
        error = "cannot read " + shown(path.string());
        return false;
    }
    return true;
}

void CheckSignature(const fs::path& manifestPath, const std::string& bytes, const vedra::ExportManifest& m,
                    const std::optional<vedra::PublicKey>& given, Findings& f)
{
    const fs::path sigPath = manifestPath.string() + vedra::kSignatureSuffix;
    std::string text, error;
    if (!ReadSmallFile(sigPath, text, error)) {
        f.problems.push_back("signature: " + error);
        return;
    }
    const std::optional<vedra::Signature> sig = vedra::ParseSignature(text);
    if (!sig) {
        f.problems.push_back("signature: " + shown(sigPath.filename().string()) +
                             " is not an Ed25519 signature (64 bytes in base64)");
        return;
    }
    std::optional<vedra::PublicKey> key = given;
    std::string whose = "the key given with --key";
    if (!key) {
        key = vedra::ParsePublicKey(m.signerKey);
        whose = "the key the manifest names";
        if (!key) {
            f.problems.push_back("signature: the manifest names no usable key (\"signer\".\"public_key\")");
            return;
        }
        if (vedra::KeyFingerprint(*key) != m.signerFingerprint)
            f.problems.push_back("signer: the fingerprint " + shown(m.signerFingerprint) + " is not the named key's (" +
                                 vedra::KeyFingerprint(*key) + ")");
    }
    if (!vedra::VerifyBytes(bytes, *sig, *key)) {
        f.problems.push_back("signature: does not match the manifest with " + whose + " (fingerprint " +
                             vedra::KeyFingerprint(*key) + ")");
        return;
    }
    f.checked.push_back("signature: good, by " + whose + " (fingerprint " + vedra::KeyFingerprint(*key) + ")" +
                        (given ? "" : "; give --key to know who signed it"));
}

void CheckOutputs(const fs::path& folder, const vedra::ExportManifest& m, Findings& f)
{
    size_t good = 0;
    for (const vedra::ManifestOutput& o : m.outputs) {
        const fs::path path = folder / o.name;
        std::error_code ec;
        const fs::file_status st = fs::symlink_status(path, ec);
        if (ec || !fs::exists(st)) {
            f.problems.push_back(shown(o.name) + ": missing");
            continue;
        }
        if (!fs::is_regular_file(st)) {
            f.problems.push_back(shown(o.name) + ": not a regular file");
            continue;
        }
        const uintmax_t size = fs::file_size(path, ec);
        if (size != o.size) {
            f.problems.push_back(shown(o.name) + ": " + std::to_string(size) + " bytes, the manifest says " +
                                 std::to_string(o.size));
            continue;
        }
        std::string error;
        const std::string digest = vedra::Sha256OfFile(path.string(), {}, error);
        if (digest.empty())
            f.problems.push_back(shown(o.name) + ": " + error);
        else if (digest != o.sha256)
            f.problems.push_back(shown(o.name) + ": SHA-256 " + digest + ", the manifest says " + shown(o.sha256));
        else
            ++good;
    }
    if (good == m.outputs.size())
        f.checked.push_back("outputs: " + std::to_string(good) + " file(s), sizes and SHA-256 as the manifest says");
}

// The recording's frames of one track's span, as the range reader gives them, and their times.
bool SourceFrames(KrvFile* file, uint64_t size, uint32_t originMs, const vedra::ManifestTrack& t,
                  std::vector<std::vector<uint8_t>>& frames, std::vector<uint32_t>& times, std::string& error)
{
    KrvRangeReader reader(file, size);
    const KrvRange range{int64_t(t.firstMs) + originMs, int64_t(t.lastMs) + originMs + 1,
                         uint8_t(1u << (t.channel - 1)), false};
    int r = reader.seek(range);
    KrvRangeObject o;
    while (r > 0 && (r = reader.next(o)) > 0)
        if (o.channel == t.channel) {
            frames.emplace_back(o.data, o.data + o.size);
            times.push_back(o.time);
        }
    if (r < 0)
        error = "the recording cannot be read: error " + std::to_string(r) + " (" + errorName(r) + ")";
    return r >= 0;
}

// The first of `count` frames whose time in the file is not the recording's
// (both counted from the track's first frame, within the file's unit of
// time); `count` when all are.
size_t LateFrame(const vedra::ExportedTrackFrames& got, const std::vector<uint32_t>& want, size_t count)
{
    // Half a unit for rounding, one for the writer's rule that frames sharing a unit move one on.
    const double tolerance = std::max(got.tickMs, 1.0) * 1.5;
    for (size_t i = 0; i < count && i < got.timesMs.size(); ++i) {
        const double inFile = got.timesMs[i] - got.timesMs[0];
        const double inRecording = double(want[i]) - double(want[0]);
        if (got.timesMs[i] < 0 || std::abs(inFile - inRecording) > tolerance)
            return i;
    }
    return count;
}

void CheckSource(const fs::path& folder, const std::string& source, const vedra::ExportManifest& m, Findings& f)
{
    std::error_code ec;
    const uintmax_t size = fs::file_size(source, ec);
    if (ec) {
        f.problems.push_back("source: cannot read " + shown(source));
        return;
    }
    std::string error;
    const std::string digest = vedra::Sha256OfFile(source, {}, error);
    if (size != m.sourceSize || digest != m.sourceSha256) {
        f.problems.push_back("source: " + shown(source) + " is not the recording the manifest names (" +
                             (size != m.sourceSize
                                  ? "size " + std::to_string(size) + ", not " + std::to_string(m.sourceSize)
                                  : "SHA-256 " + (digest.empty() ? error : digest)) +
                             ")");
        return;
    }
    f.checked.push_back("source: " + shown(source) + ", size and SHA-256 as the manifest says");

    KrvFilePtr file(krv_open(source, true));
    if (!file || krv_init(file.get()) < 0) {
        f.problems.push_back("source: the recording cannot be opened");
        return;
    }
    KrvTimeline timeline;
    krv_read_timeline(file.get(), size, timeline);
    uint64_t compared = 0, timed = 0;
    std::set<std::string> codecs; // of the outputs burned in
    bool allEqual = true;
    for (const vedra::ManifestOutput& o : m.outputs) {
        std::vector<vedra::ExportedTrackFrames> tracks;
        if (!vedra::ReadExportedFrames((folder / o.name).string(), tracks, error)) {
            f.problems.push_back(shown(o.name) + ": " + error);
            allEqual = false;
            continue;
        }
        if (tracks.size() != o.tracks.size()) {
            f.problems.push_back(shown(o.name) + ": " + std::to_string(tracks.size()) +
                                 " video track(s), the manifest says " + std::to_string(o.tracks.size()));
            allEqual = false;
            continue;
        }
        for (size_t i = 0; i < tracks.size(); ++i) {
            const vedra::ManifestTrack& t = o.tracks[i];
            std::vector<std::vector<uint8_t>> want;
            std::vector<uint32_t> wantTimes;
            if (t.channel < 1 || t.channel > 4 ||
                !SourceFrames(file.get(), size, timeline.originMs, t, want, wantTimes, error)) {
                f.problems.push_back(shown(o.name) + ", channel " + std::to_string(t.channel) + ": " + error);
                allEqual = false;
                continue;
            }
            const std::vector<std::vector<uint8_t>>& got = tracks[i].frames;
            const std::string where = shown(o.name) + ", channel " + std::to_string(t.channel) + ": ";
            if (got.size() != want.size() || got.size() != t.frames) {
                f.problems.push_back(where + std::to_string(got.size()) + " frames, the recording has " +
                                     std::to_string(want.size()) + " from " + krv_offset_text(t.firstMs) + " to " +
                                     krv_offset_text(t.lastMs) + ", the manifest says " + std::to_string(t.frames));
                allEqual = false;
            }
            const size_t common = std::min(got.size(), want.size());
            if (o.burnIn) {
                // Re-encoded pictures are not the recording's bytes: every frame is there at its time.
                codecs.insert(o.videoCodec);
                const size_t late = LateFrame(tracks[i], wantTimes, common);
                if (late < common) {
                    f.problems.push_back(
                        where + "frame " + std::to_string(late) + " is not at the recording's time " +
                        krv_offset_text(wantTimes[late] - std::min(wantTimes[late], timeline.originMs)));
                    allEqual = false;
                }
                timed += common;
                continue;
            }
            const auto differs = std::mismatch(got.begin(), got.begin() + common, want.begin());
            if (differs.first != got.begin() + common) {
                f.problems.push_back(where + "frame " + std::to_string(differs.first - got.begin()) +
                                     " is not the recording's");
                allEqual = false;
            }
            compared += common;
        }
    }
    if (allEqual && (compared || !timed))
        f.checked.push_back("frames: " + std::to_string(compared) +
                            " exported frame(s), each the recording's, byte for byte");
    if (allEqual && timed) {
        std::string by;
        for (const std::string& c : codecs)
            by += (by.empty() ? "" : ", ") + c;
        f.checked.push_back("frames: " + std::to_string(timed) +
                            " frame(s) re-encoded with the time of day burned in (" + by +
                            "): every frame of the recording there, at its time; the pictures are not compared");
    }
}

int VerifyOne(const fs::path& manifestPath, const std::string& source, const std::optional<vedra::PublicKey>& key)
{
    std::string bytes, error;
    if (!ReadSmallFile(manifestPath, bytes, error)) {
        reportError(error);
        return kExitUsage;
    }
    const std::optional<vedra::ExportManifest> m = vedra::ParseManifest(bytes, error);
    if (!m) {
        reportError(shown(manifestPath.string()) + ": " + error);
        return kExitUsage;
    }
    Findings f;
    CheckSignature(manifestPath, bytes, *m, key, f);
    CheckOutputs(manifestPath.parent_path(), *m, f);
    if (!source.empty())
        CheckSource(manifestPath.parent_path(), source, *m, f);
    const bool ok = f.problems.empty();
    std::printf("%s: %s\n", shown(manifestPath.string()).c_str(), ok ? "verified" : "NOT verified");
    for (const std::string& c : f.checked)
        std::printf("  %s\n", c.c_str());
    for (const std::string& p : f.problems)
        std::printf("  does not match: %s\n", p.c_str());
    return ok ? kExitOk : kExitFailed;
}

} // namespace

int runVerify(std::span<char* const> args)
{
    std::string path, source, keyText;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kVerifyUsage, stdout);
            return kExitOk;
        }
        if ((a == "--source" || a == "--key") && i + 1 < args.size()) {
            (a == "--source" ? source : keyText) = args[++i];
        } else if (a.starts_with("-") || !path.empty()) {
            reportError(a == "--source" || a == "--key" ? a + " needs a value" : "unexpected " + shown(a));
            std::fputs(kVerifyUsage, stderr);
            return kExitUsage;
        } else {
            path = a;
        }
    }
    if (path.empty()) {
        std::fputs(kVerifyUsage, stderr);
        return kExitUsage;
    }
    std::optional<vedra::PublicKey> key;
    if (!keyText.empty()) {
        std::string text = keyText, error;
        std::error_code ec;
        if (fs::is_regular_file(keyText, ec) && !ReadSmallFile(keyText, text, error)) {
            reportError("--key: " + error);
            return kExitUsage;
        }
        if (!(key = vedra::ParsePublicKey(text))) {
            reportError("--key: not a public key (ed25519:... as krvtool key prints it)");
            return kExitUsage;
        }
    }
    std::vector<fs::path> manifests;
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        for (const fs::directory_entry& e : fs::directory_iterator(path, ec))
            if (e.path().filename().string().ends_with(vedra::kManifestSuffix))
                manifests.push_back(e.path());
        std::sort(manifests.begin(), manifests.end());
        if (manifests.empty()) {
            reportError("no manifest (*" + std::string(vedra::kManifestSuffix) + ") in " + shown(path));
            return kExitUsage;
        }
    } else {
        manifests.push_back(path);
    }
    int worst = kExitOk;
    for (const fs::path& m : manifests) {
        const int code = VerifyOne(m, source, key);
        worst = code == kExitUsage || worst == kExitUsage ? kExitUsage : std::max(worst, code);
    }
    return worst;
}

} // namespace krvtool
