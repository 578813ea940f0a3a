// Per-channel test pictures: a background colour of the channel, the channel
// number drawn big, as many bars as the channel number, a box moving with time
// and the frame number as a row of bits, so a mixed-up or frozen channel shows.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
}

namespace krvsynth {

struct PatternStyle {
    int channel = 1;   // 1-4
    int noiseRows = 0; // rows at the bottom covered by a still noise texture
};

// Draws frame number `index` into a yuv420p frame (the frame's buffers must be writable).
void drawTestPattern(AVFrame* frame, const PatternStyle& style, int index);

} // namespace krvsynth
