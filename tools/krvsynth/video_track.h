// One video channel encoded with libavcodec's mpeg4 encoder the way the
// recorder's frames look: plain VOPs, key frames to be preceded by the
// recorder's sequence header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "byte_buffer.h"
#include "still_scene.h"

namespace krvsynth {

struct VideoFrame {
    Bytes vop;       // the frame from its VOP start code on
    uint32_t timeMs; // presentation time without preroll
    bool key;
};

struct VideoTrack {
    int channel = 0; // 1-4
    std::vector<VideoFrame> frames;
    size_t firstKey = 0; // index of the first key frame (frames.size() when none)
};

struct VideoTrackSettings {
    int channel = 1;
    int width = 352;
    int height = 288;
    int fps = 10;
    int frameCount = 30;
    int gop = 10;
    int leadFrames = 0; // non-key frames before the first key frame
    uint32_t startMs = 1000;
    bool bigKeyframes = false;
    StillScene scene; // enabled: the still scene instead of the test pattern
};

// Encodes the channel; on failure returns false with a message in error.
bool encodeVideoTrack(const VideoTrackSettings& s, VideoTrack& track, std::string& error);

// Key frames of a --big-keyframes recording aim at this many bytes (with the
// sequence header): more than one packet holds, less than the 16-bit object size
// fields of the channel files can carry.
constexpr size_t kBigKeyframeTarget = 54000;
// Largest frame, sequence header included, that a 16-bit object size holds.
constexpr size_t kMaxFrameSize = 65535;

} // namespace krvsynth
