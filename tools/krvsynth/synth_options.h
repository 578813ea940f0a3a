// Command line of krvsynth.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "still_scene.h"

namespace krvsynth {

// The encoder's own key-frame interval is at most this; ours are forced within it.
constexpr int kMaxKeyFrameInterval = 600;

enum class Damage {
    None,
    BadPacketSize,      // minimum = maximum packet size = 32000
    PacketSizeMismatch, // minimum 32768, maximum 32000
    NoHeaderExtension,  // the header extension replaced by a padding object of the same size
    Stream6,            // one payload in the middle of a packet carries stream number 6
    Truncated,          // the file ends inside the last packet
    BadAudioDef,        // byte 649 = 0x15
    MultipayloadSize,   // a fragment followed in its packet by a payload of another object
    ShortStreamProps,   // the video stream properties object cut to 70 bytes
};

struct SynthOptions {
    std::string outPath;
    std::vector<int> channels{1, 2, 3, 4}; // video channels 1-4, payload streams 2-5
    int width = 352;
    int height = 288;
    int fps = 10;
    int seconds = 3;
    int gop = 10;                 // key-frame interval in frames
    bool audio = true;            // audio payloads
    bool audioStream = true;      // audio stream properties object
    int audioDef = 0;             // byte at offset 649
    std::map<int, int> lateStart; // channel -> non-key frames before its first key frame
    // channel -> first and last frame (0-based) left out of the recording: a gap
    std::map<int, std::pair<int, int>> drop;
    uint32_t prerollMs = 3000; // the recorder writes 3000
    uint32_t startMs = 1000;
    uint64_t creationDate = 134117856000000000ull; // FILETIME of 2026-01-01 00:00:00 UTC; 0 for none
    bool bigKeyframes = false;
    bool seqHeader = true;
    int repeat = 1;
    Damage damage = Damage::None;
    std::string dumpDir;
    StillScene scene; // --still-scene, --sensor-noise, --object
};

// Parses argv; on failure returns false and sets error. help is set for --help.
bool parseOptions(int argc, char** argv, SynthOptions& opts, bool& help, std::string& error);

const char* usageText();

} // namespace krvsynth
