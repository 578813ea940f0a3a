// Helpers for the writer, splitter and conversion tests: a header in the
// recorder's own layout, an in-memory output file, recordings made by
// krvsynth and the ffmpeg tools run as an oracle.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "krv/krv_splitter.h"
#include "krv_fixture.h"

namespace krvtest {

// The recorder's header: Header object (30), file properties at 30, empty
// header extension at 134, video stream properties at 180 (stream number
// field at 252, compression code at 285), audio stream properties at 309,
// codec list at 437 holding the code again at 617, a vendor object at 621
// whose data covers 649 and the A/V-sync fields from 650 on; then the
// 50-byte Data object header.
struct RecorderLayout {
    char code285[5] = "MP4S";
    char code617[5] = "MP4S";
    uint32_t width = 352, height = 288;
    size_t vendorRoom = 32000; // bytes from 661 on
    uint64_t packets = 0;
    uint64_t preroll = 0;
};
inline constexpr uint64_t kRecorderAudioOffset = 309;
inline constexpr uint64_t kRecorderAudioSize = 128;
Bytes recorderHeader(const RecorderLayout& layout = {});

// A file in memory behind KrvIo callbacks.
struct MemoryFile {
    Bytes bytes;
    uint64_t pos = 0;
    KrvIo io();
};

// Runs a shell command; its exit status and standard output.
struct CommandResult {
    int status = -1;
    std::string out;
};
CommandResult run(const std::string& command);
std::string quote(const std::string& s);

Bytes readFile(const std::filesystem::path& path);

// A fresh, empty folder under the test temp folder.
std::filesystem::path freshDir(const std::string& name);

// Per-frame lines of krvsynth's chN.txt: index, ms, key, size, md5.
struct SynthFrame {
    int index = 0;
    long ms = 0;
    int key = 0;
    long size = 0;
    std::string md5;
};
std::vector<SynthFrame> readSynthFrames(const std::filesystem::path& txt);

// krvsynth's audio.txt: its "key value" lines and its "object N ms blocks" lines.
struct SynthAudio {
    std::map<std::string, long> values; // block_align, samples_per_block, blocks, samples
    struct Object {
        long ms = 0;
        long blocks = 0;
    };
    std::vector<Object> objects;
};
SynthAudio readSynthAudio(const std::filesystem::path& txt);

// A recording krvsynth wrote, with `args`, as rec.krv in a fresh folder
// `name`, its --dump-dir lists in dump/ beside it.
struct SynthRecording {
    std::filesystem::path work;
    std::filesystem::path path;
    std::filesystem::path dump;
    CommandResult synth; // status 0 when written
};
SynthRecording synthesizeWithDump(const std::string& name, const std::string& args);

// md5 column of `ffmpeg -f framemd5` over the given input options.
std::vector<std::string> frameMd5s(const std::string& ffmpegArgs);

// A recording in the recorder's layout holding `packets`.
Bytes recorderRecording(const std::vector<Bytes>& packets, RecorderLayout layout = {});

// Opens the recording at `path` and splits it into `folder` (made when
// missing): the open's error, else the split's result.
int splitPath(const std::string& path, const std::string& folder, const KrvSplitOptions& options = {},
              KrvSplitFailure* failure = nullptr);

// Writes the recording, opens it and splits it into a fresh folder named
// `name`.
struct SplitRun {
    int open = 0;
    int result = 0;
    std::filesystem::path dir;
};
SplitRun splitBytes(const Bytes& recording, const std::string& name, bool avSync = false);

// A channel file read back with the reader, media objects reassembled.
struct ChannelObject {
    uint8_t stream = 0;
    bool key = false;
    uint32_t time = 0; // ms as delivered
    Bytes bytes;
};
struct Channel {
    int init = 0;
    int packetError = 0;
    uint64_t packets = 0;
    std::vector<ChannelObject> objects;
    KrvStreamType streams[8] = {};
};
Channel readChannel(const std::filesystem::path& path);

} // namespace krvtest
