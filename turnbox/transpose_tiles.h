// The walk shared by every transposition path: square tiles small enough that
// their source rows and destination rows stay in L1, register-sized blocks
// inside them, and one pixel at a time for the edges no block fills.
#pragma once

#include <algorithm>
#include <cstring>

#include "transpose.h"

namespace turnbox {

// Pixels per tile side: a tile of 4-byte pixels reads and writes 4 KiB each.
// Tiles of 64 ran slower on 1920-pixel rows (their rows collide in L1).
inline constexpr int kTile = 32;

inline const std::uint8_t* SourceAt(const TransposeJob& job, int row, int pixel, int bytesPerPixel)
{
    return job.src + row * job.srcStride + static_cast<std::ptrdiff_t>(pixel) * bytesPerPixel;
}

inline std::uint8_t* DestinationAt(const TransposeJob& job, int row, int pixel, int bytesPerPixel)
{
    return job.dst + row * job.dstStride + static_cast<std::ptrdiff_t>(pixel) * bytesPerPixel;
}

// Source rows [r0, r1) x pixels [c0, c1), one pixel at a time; each source
// pixel c goes to destination row c, so the inner loop writes along a row.
template <int B>
[[gnu::always_inline]] inline void TransposePixels(const TransposeJob& job, int r0, int r1, int c0, int c1)
{
    for (int c = c0; c < c1; ++c) {
        std::uint8_t* d = DestinationAt(job, c, r0, B);
        for (int r = r0; r < r1; ++r, d += B)
            std::memcpy(d, SourceAt(job, r, c, B), B);
    }
}

// Blocks of Block::kSize x kSize pixels of Block::kBytes each, tile by tile;
// Block::Move(source, its stride, destination, its stride) transposes one.
// Block::kAlongSourceRows walks a tile's blocks along the source rows rather
// than down its columns (whichever ran faster for that block).
// Inlined into each path's entry point so the block inlines with that
// path's instruction set.
template <class Block>
[[gnu::always_inline]] inline void TransposeBlocks(const TransposeJob& job)
{
    constexpr int n = Block::kSize;
    constexpr int b = Block::kBytes;
    const TransposeJob j = job; // a copy the stores cannot alias
    const int rows = j.height - j.height % n;
    const int columns = j.width - j.width % n;
    for (int r0 = 0; r0 < rows; r0 += kTile) {
        const int r1 = std::min(r0 + kTile, rows);
        for (int c0 = 0; c0 < columns; c0 += kTile) {
            const int c1 = std::min(c0 + kTile, columns);
            // Written without a lambda, which would keep the block from
            // inlining with the path's instruction set.
            if constexpr (Block::kAlongSourceRows) {
                for (int r = r0; r < r1; r += n)
                    for (int c = c0; c < c1; c += n)
                        Block::Move(SourceAt(j, r, c, b), j.srcStride, DestinationAt(j, c, r, b), j.dstStride);
            } else {
                for (int c = c0; c < c1; c += n)
                    for (int r = r0; r < r1; r += n)
                        Block::Move(SourceAt(j, r, c, b), j.srcStride, DestinationAt(j, c, r, b), j.dstStride);
            }
        }
    }
    TransposePixels<b>(j, 0, rows, columns, j.width);
    TransposePixels<b>(j, rows, j.height, 0, j.width);
}

// Entry points of the paths; each takes 3 and 4 bytes per pixel.
void TransposePlain(const TransposeJob& job, int bytesPerPixel);
#if TURNBOX_X86_PATHS
void TransposeSse2(const TransposeJob& job, int bytesPerPixel);
void TransposeAvx2(const TransposeJob& job, int bytesPerPixel);
#endif

} // namespace turnbox
