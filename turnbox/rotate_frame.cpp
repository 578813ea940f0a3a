#include "rotate_frame.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "rotation_mode.h"

namespace turnbox {
namespace {

// Square tile of the transposing modes: 32 source rows of a tile stay in L1
// while their columns become destination rows.
constexpr int kTile = 32;

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

// Modes that swap the axes: source column x becomes destination row
// (mirrorY ? W-1-x : x), source row y destination column (mirrorX ? H-1-y : y).
// Tiles keep both sides in cache; each inner run writes one destination row
// piece contiguously.
template <int B>
void TransposeTiled(const ConstPlane& in, const Plane& out, bool mirrorX, bool mirrorY)
{
    const int w = in.width;
    const int h = in.height;
    const std::ptrdiff_t step = mirrorX ? -B : B;
    for (int y0 = 0; y0 < h; y0 += kTile) {
        const int rows = std::min(kTile, h - y0);
        const std::ptrdiff_t firstColumn = mirrorX ? h - 1 - y0 : y0;
        for (int x0 = 0; x0 < w; x0 += kTile) {
            const int x1 = std::min(x0 + kTile, w);
            for (int x = x0; x < x1; ++x) {
                const std::uint8_t* s = in.data + y0 * in.stride + static_cast<std::ptrdiff_t>(x) * B;
                std::uint8_t* d = out.data + (mirrorY ? w - 1 - x : x) * out.stride + firstColumn * B;
                for (int r = 0; r < rows; ++r, s += in.stride, d += step)
                    CopyPixel<B>(d, s);
            }
        }
    }
}

template <int B>
void Run(const ConstPlane& in, const Plane& out, const ModeMapping& m)
{
    if (m.swapsAxes)
        TransposeTiled<B>(in, out, m.mirrorX, m.mirrorY);
    else
        CopyRows<B>(in, out, m.mirrorX, m.mirrorY);
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
    if (!IsRotationMode(mode) || (bytesPerPixel != 3 && bytesPerPixel != 4))
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
    if (bytesPerPixel == 3)
        Run<3>(in, out, m);
    else
        Run<4>(in, out, m);
    return true;
}

} // namespace turnbox
