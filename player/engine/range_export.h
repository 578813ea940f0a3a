// Export of a time range of a recording: chosen channels (and the audio) copied
// without re-encoding into AVI (one file per channel), Matroska or MP4 (one
// file per channel, or all channels in one file), each file with a SHA-256
// checksum file beside it. Only the packets of the range are read from the
// recording; nothing is split first.
//
// Threading: RunRangeExport blocks; call it on a worker thread (the window
// uses RangeExportJob, krvtool calls it directly). It touches no UI state and
// no global state but the container library's message hooks. `progress` is
// called on the calling thread. A stop request through `stop` ends it soon,
// like a failure: whatever it wrote is removed again.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "export_muxer.h"

namespace vedra {

struct RangeExportRequest {
    std::string recording;
    std::string outputFolder;      // created when missing
    std::optional<int64_t> fromMs; // recording time (ms, preroll subtracted); none: its start
    std::optional<int64_t> toMs;   // exclusive; none: its end
    std::vector<int> channels;     // 1-4; empty: every channel with frames in the range
    bool audio = true;
    ExportFormat format = ExportFormat::Avi;
    bool singleFile = false; // every channel in one file (Matroska and MP4)
    bool hashSource = true;  // the recording's SHA-256 for the manifest
    // A signed manifest beside the outputs (NAME.manifest.json and its .sig),
    // signed with the key in `signingKey` (empty: the user's, made at first use).
    bool timeTrack = true; // mkv, mp4: a subtitle track with the time of day of every frame
    // The video re-encoded with the time of day and "Camera N" drawn into every
    // picture (burn_in_encoder.h) instead of copied.
    bool burnIn = false;
    bool sign = false;
    std::string signingKey;
    std::string bookmarkStore; // whose bookmarks in the range the manifest lists; empty: the user's
    std::string toolVersion;   // what the manifest names the program by
};

struct ExportedChannel {
    int channel = 0;
    uint32_t startMs = 0; // its first frame: the key frame at or before `from`
    uint32_t endMs = 0;   // its last frame before `to`
};

struct ExportedFile {
    std::string path;
    std::string checksumPath; // path + ".sha256", in the sha256sum format
    std::string sha256;
    std::vector<int> channels;
    bool audio = false;
    uint32_t startMs = 0; // recording times of its first and last frame;
    uint32_t endMs = 0;   // time 0 of the file is startMs
    uint64_t frames = 0;
    std::string videoCodec; // when burned in: what encoded it; empty: the recording's frames
};

enum class RangeExportStatus { Done, Failed, Cancelled };

struct RangeExportResult {
    RangeExportStatus status = RangeExportStatus::Failed;
    std::string error; // the system's message when it failed
    int krvError = 0;  // the container's code when that made it fail
    std::string source;
    std::string sourceSha256;    // empty unless asked for
    uint64_t creationDate = 0;   // FILETIME of the recording, 0: none (or none to be trusted)
    uint32_t originMs = 0;       // recording time of the counter's 0: offsets shown count from it
    bool nothingInRange = false; // failed because no channel has a frame in the range
    bool cutShort = false;       // the recording ends before its header says
    std::vector<ExportedChannel> channels;
    std::vector<ExportedFile> files; // in channel order; one for a single file
    std::string manifestPath;        // when signed: the manifest, its signature beside it (+ ".sig")
    std::string signerFingerprint;
    std::vector<std::string> notes; // what the user should know (audio left out, ...)
};

using ExportProgress = std::function<void(double fraction)>;

RangeExportResult RunRangeExport(const RangeExportRequest& request, const ExportProgress& progress,
                                 std::stop_token stop);

} // namespace vedra
