// Activity per camera and second, from the index alone: MPEG-4 frames grow
// when something moves, so the sizes of a camera's predicted frames, held
// against that camera's own still level, show motion without decoding.
// Every rule and threshold lives in krv_activity.cpp.
#pragma once

#include <cstdint>
#include <vector>

#include "krv/krv_recording_index.h"

struct KrvActivitySpan {
    int channel = 0;      // 1-4
    uint32_t startMs = 0; // offsets from the counter's 0: the first active second's start
    uint32_t endMs = 0;   // the end of the last active second
    double score = 0;     // the highest second's score in the span
};

struct KrvChannelActivity {
    bool present = false;
    std::vector<float> scores;      // per second from the counter's 0: how far above the still level, in its spreads
    std::vector<uint8_t> active;    // per second: 1 when the second counts as active
    std::vector<uint8_t> uncertain; // per second: the sizes cannot tell, the pictures are to be compared
    std::vector<KrvActivitySpan> spans; // runs of active seconds merged across gaps of at most 2 s
    double stillLevel = 0;              // the still level of a predicted frame (bytes)
    double spread = 0;                  // its spread from second to second, as a share of the level
};

struct KrvActivity {
    KrvChannelActivity channels[4];
};

// Seconds whose score is at or above this start a span.
inline constexpr double kActivityStartScore = 4.0;
// Active seconds this close are one span.
inline constexpr uint32_t kActivityMergeGapSeconds = 2;

// Scores and spans of every channel of the index.
KrvActivity krv_measure_activity(const KrvRecordingIndex& index);

// The decode pass's answer for a channel's uncertain seconds: per second the
// largest share of the picture that changed (negative: not decoded). Marks
// the seconds it shows active and builds the spans again.
void krv_apply_picture_changes(KrvChannelActivity& activity, int channel, const std::vector<float>& changedShare);

// Spans of a channel from its per-second flags (merging gaps of at most
// kActivityMergeGapSeconds); the score of a span is the highest of its seconds.
std::vector<KrvActivitySpan> krv_activity_spans(int channel, const std::vector<uint8_t>& active,
                                                const std::vector<float>& scores);
