#include "rotate_frame.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "rotation_mode.h"
#include "transpose.h"

namespace turnbox {
namespace {

template <int B>
inline void CopyPixel(std::uint8_t* d, const std::uint8_t* s)
{
    std::memcpy(d, s, B);
}

template <int B>
void ReverseRow(std::uint8_t* d, const std::uint8_t* s, int width)
{
    std::uint8_t* end = d + static_cast<std::ptrdiff_t>(width - 1) * B;
    for (int x = 0; x < width; ++x, s += B, end -= B)
        CopyPixel<B>(end, s);
}

// Modes that keep the axes: whole rows, copied or reversed.
template <int B>
void CopyRows(const ConstPlane& in, const Plane& out, bool mirrorX, bool mirrorY)
{
    const std::size_t rowBytes = static_cast<std::size_t>(in.width) * B;
    if (!mirrorX && !mirrorY && in.stride == out.stride) {
        // Identical layout: one block, row padding included, so the frame is
        // copied byte for byte.
        const std::size_t whole = static_cast<std::size_t>(in.stride) * in.height;
        const std::size_t bytes =
            (whole <= in.size && whole <= out.size) ? whole : PlaneExtent(in.stride, in.width, in.height, B);
        std::memcpy(out.data, in.data, bytes);
        return;
    }
    for (int y = 0; y < in.height; ++y) {
        const std::uint8_t* s = in.data + y * in.stride;
        std::uint8_t* d = out.data + (mirrorY ? in.height - 1 - y : y) * out.stride;
        if (mirrorX)
            ReverseRow<B>(d, s, in.width);
        else
            std::memcpy(d, s, rowBytes);
    }
}

// Modes that swap the axes, as one transposition: a mirrored axis becomes
// a negative stride that starts at the last row (mirrorX on the source rows,
// mirrorY on the destination rows).
TransposeJob TranspositionOf(const ConstPlane& in, const Plane& out, const ModeMapping& m)
{
    return {m.mirrorX ? in.data + (in.height - 1) * in.stride : in.data,
            m.mirrorX ? -in.stride : in.stride,
            in.width,
            in.height,
            m.mirrorY ? out.data + (out.height - 1) * out.stride : out.data,
            m.mirrorY ? -out.stride : out.stride};
}

} // namespace

std::size_t PlaneExtent(std::ptrdiff_t stride, int width, int height, int bytesPerPixel)
{
    if (width <= 0 || height <= 0 || bytesPerPixel <= 0)
        return 0;
    constexpr auto kMax = static_cast<unsigned long long>(std::numeric_limits<std::ptrdiff_t>::max());
    const unsigned long long rowBytes = static_cast<unsigned long long>(width) * bytesPerPixel;
    if (stride <= 0 || static_cast<unsigned long long>(stride) < rowBytes)
        return 0;
    const unsigned long long rows = static_cast<unsigned long long>(height - 1);
    if (rows != 0 && static_cast<unsigned long long>(stride) > (kMax - rowBytes) / rows)
        return 0;
    return static_cast<std::size_t>(rows * static_cast<unsigned long long>(stride) + rowBytes);
}

bool RotateFrame(const ConstPlane& in, const Plane& out, int bytesPerPixel, int mode)
{
    return RotateFrameWith(BestKernelPath(), in, out, bytesPerPixel, mode);
}

bool RotateFrameWith(KernelPath path, const ConstPlane& in, const Plane& out, int bytesPerPixel, int mode)
{
    if (!IsRotationMode(mode) || (bytesPerPixel != 3 && bytesPerPixel != 4) || !KernelPathRuns(path))
        return false;
    if (in.data == nullptr || out.data == nullptr)
        return false;
    if (OutputSize(mode, {in.width, in.height}) != FrameSize{out.width, out.height})
        return false;
    const std::size_t inExtent = PlaneExtent(in.stride, in.width, in.height, bytesPerPixel);
    const std::size_t outExtent = PlaneExtent(out.stride, out.width, out.height, bytesPerPixel);
    if (inExtent == 0 || inExtent > in.size || outExtent == 0 || outExtent > out.size)
        return false;

    const ModeMapping& m = kModeMappings[mode];
    if (m.swapsAxes)
        Transpose(path, TranspositionOf(in, out, m), bytesPerPixel);
    else if (bytesPerPixel == 3)
        CopyRows<3>(in, out, m.mirrorX, m.mirrorY);
    else
        CopyRows<4>(in, out, m.mirrorX, m.mirrorY);
    return true;
}

} // namespace turnbox
