// The recorder's 19-byte MPEG-4 sequence header that precedes every key frame:
// video object start code, video object layer start code and an 11-byte video
// object layer header (simple profile, time increment resolution 30000,
// variable frame rate, progressive, no quarter-pel, no resync markers).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace krvsynth {

constexpr size_t kSequenceHeaderSize = 19;
using SequenceHeader = std::array<uint8_t, kSequenceHeaderSize>;

// The template is written for 640x480; width and height are 13-bit fields with
// marker bits around them in bytes 13-16.
SequenceHeader makeSequenceHeader(int width, int height);

} // namespace krvsynth
