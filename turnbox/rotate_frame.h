// The pixel kernel: rotates or mirrors one packed RGB plane of 3 or 4 bytes
// per pixel. Rows are top-down and may carry padding (stride >= width x bytes
// per pixel). The kernel moves whole pixels and never looks inside them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernel_path.h"

namespace turnbox {

struct ConstPlane {
    const std::uint8_t* data;
    std::ptrdiff_t stride; // bytes from one row to the next
    int width;             // pixels
    int height;            // rows
    std::size_t size;      // bytes readable from data on
};

struct Plane {
    std::uint8_t* data;
    std::ptrdiff_t stride;
    int width;
    int height;
    std::size_t size; // bytes writable from data on
};

// Bytes a plane of this shape needs from its first pixel to the end of its
// last pixel; 0 when the shape is impossible (bad sizes, stride too short).
std::size_t PlaneExtent(std::ptrdiff_t stride, int width, int height, int bytesPerPixel);

// Writes the picture of `in` turned by `mode` into `out`. Refuses (returns
// false, writes nothing) an unknown mode, a bytes-per-pixel other than 3 or 4,
// an output size that does not match the mode, or a plane whose rows do not
// fit in its buffer.
// The quarter turns and the diagonal flip run on BestKernelPath().
bool RotateFrame(const ConstPlane& in, const Plane& out, int bytesPerPixel, int mode);

// The same on a chosen path (tests check each one); also refuses a path this
// CPU cannot run.
bool RotateFrameWith(KernelPath path, const ConstPlane& in, const Plane& out, int bytesPerPixel, int mode);

} // namespace turnbox
