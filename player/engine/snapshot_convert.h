// Frame to 24-bit BGR conversions and the BMP file header of snapshots.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vedra {

inline constexpr int kBmpHeaderSize = 54;
// Snapshots larger than this are refused (width x height).
inline constexpr int64_t kMaxSnapshotPixels = 8192LL * 8192LL;

// Bytes per BMP pixel row: width x 3 rounded up to a multiple of 4 so every
// reader of the format accepts the file (unchanged when width x 3 already is one).
size_t BmpRowStride(int width);

// The 54 header bytes of a bottom-up 24-bit BMP file of width x height pixels.
std::array<uint8_t, kBmpHeaderSize> MakeBmpHeader(int width, int height);

// Both conversions write bottom-up BGR rows of BmpRowStride(width) bytes into
// `out` (resized to stride x height, padding zero). They return false and leave
// `out` empty when the sizes are unusable or `length` is too short for the frame.

// Packed 4:2:2 (Y0 U Y1 V), studio range.
bool ConvertYuy2ToBgr(const uint8_t* frame, size_t length, int width, int height, std::vector<uint8_t>& out);
// Planar 4:2:0: Y plane, then V, then U, full range.
bool ConvertYv12ToBgr(const uint8_t* frame, size_t length, int width, int height, std::vector<uint8_t>& out);

} // namespace vedra
