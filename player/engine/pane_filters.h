// The two-tap bilinear filters a pane picture is scaled with: rows of a plane blended
// vertically, and rows of a plane or of BGRx stretched or shrunk horizontally. The unused byte of BGRx stays
// 0xff, as QImage::Format_RGB32 wants it, so no separate pass has to set it again.
#pragma once

#include <cstdint>

namespace vedra {

// The code that runs a filter: the plain loop everywhere, AVX2 where the CPU has it. Every path
// writes the same bytes.
enum class FilterPath {
    Plain,
    Avx2,
};

// Whether `path` runs on this CPU.
bool FilterPathRuns(FilterPath path);
// The fastest path this CPU runs, chosen once.
FilterPath BestFilterPath();

// Where output sample 0 reads the source and how far each next one moves, in 16.16 fixed point
// source samples. Positions are clamped to the source's first and last sample.
struct FilterPositions {
    int32_t first = 0;
    int32_t step = 0;
};

// Widest or tallest side the filters take (positions are 16.16 fixed point in 32 bits).
constexpr int kMaxFilterSide = 16384;

// Output sample centres mapped onto source sample centres, as ffmpeg and libyuv shrink. Sides 1
// to kMaxFilterSide.
FilterPositions CentredPositions(int sourceSide, int side);

// `rows` rows of `width` bytes at `out`, each blended from the two source rows its position
// falls between. False when a size is unusable; `out` is then untouched.
bool ScalePaneRows(FilterPath path, const uint8_t* source, int sourceStride, int sourceRows, uint8_t* out, int stride,
                   int width, int rows, FilterPositions at);

// `rows` rows of `sourceWidth` BGRx pixels at `source` scaled to `width` pixels at `out`, at
// centred positions. False when a size is unusable; `out` is then untouched.
bool ScalePaneColumns(FilterPath path, const uint8_t* source, int sourceStride, int sourceWidth, uint8_t* out,
                      int stride, int width, int rows);

// `rows` rows of `sourceWidth` samples of a plane at `source` scaled to `width` samples at `out`,
// each blended from the two source samples its position falls between. False when a size is
// unusable; `out` is then untouched.
bool ScalePlaneColumns(FilterPath path, const uint8_t* source, int sourceStride, int sourceWidth, uint8_t* out,
                       int stride, int width, int rows, FilterPositions at);

} // namespace vedra
