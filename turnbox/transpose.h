// Transposition of a packed plane of 3 or 4 bytes per pixel: destination row
// j, pixel i takes source row i, pixel j. A stride may be negative (the first
// row pointer then names the last row in memory), which is how the quarter
// turns and the diagonal flip all become this one operation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernel_path.h"

namespace turnbox {

struct TransposeJob {
    const std::uint8_t* src; // first pixel of source row 0
    std::ptrdiff_t srcStride;
    int width;         // source pixels per row = destination rows
    int height;        // source rows = destination pixels per row
    std::uint8_t* dst; // first pixel of destination row 0
    std::ptrdiff_t dstStride;
};

// Runs the job on `path`, which the caller has checked runs on this CPU.
void Transpose(KernelPath path, const TransposeJob& job, int bytesPerPixel);

} // namespace turnbox
