// The kernel alone, on each of its paths: unusual strides and block and tile
// edges against the plain mapping, and shapes it must refuse without writing.
// Needs no GStreamer, so it also runs in the sanitizer build.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "rotate_frame.h"
#include "screen_mapping.h"

namespace turnbox_test {
namespace {

using turnbox::ConstPlane;
using turnbox::KernelPath;
using turnbox::Plane;
using turnbox::RotateFrame;

struct Buffer {
    int width, height, bpp;
    std::ptrdiff_t stride;
    std::vector<std::uint8_t> bytes;
    Buffer(int w, int h, int b, int pad) : width(w), height(h), bpp(b), stride(w * b + pad), bytes(stride * h, 0xEE) {}
    std::uint8_t* at(int x, int y) { return bytes.data() + y * stride + x * bpp; }
    ConstPlane in() const { return {bytes.data(), stride, width, height, bytes.size()}; }
    Plane out() { return {bytes.data(), stride, width, height, bytes.size()}; }
};

struct Shape {
    int w, h, inPad, outPad;
};

// Pixel (x, y) holds x and y (12 bits each) and, with a fourth byte, a mix
// of both, so no two pixels are alike.
Buffer CoordinateBuffer(const Shape& s, int bpp)
{
    Buffer b(s.w, s.h, bpp, s.inPad);
    for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x) {
            const std::uint32_t v = static_cast<std::uint32_t>(y) << 12 | static_cast<std::uint32_t>(x);
            const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                           static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(x * 7 + y)};
            std::memcpy(b.at(x, y), bytes, bpp);
        }
    return b;
}

// Turns `in` on `path` and counts the pixels away from the plain mapping;
// the output's row padding must stay as it was.
long Misplaced(KernelPath path, Buffer& in, int outPad, int mode)
{
    const bool swaps = mode == 1 || mode == 3 || mode == 6;
    Buffer out(swaps ? in.height : in.width, swaps ? in.width : in.height, in.bpp, outPad);
    EXPECT_TRUE(turnbox::RotateFrameWith(path, in.in(), out.out(), in.bpp, mode));
    long bad = 0;
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) {
            const Point p = ScreenMapping(mode, x, y, in.width, in.height);
            bad += std::memcmp(out.at(p.x, p.y), in.at(x, y), in.bpp) != 0;
        }
    for (int y = 0; y < out.height; ++y)
        for (std::ptrdiff_t k = out.width * in.bpp; k < out.stride; ++k)
            if (out.bytes[y * out.stride + k] != 0xEE) {
                ADD_FAILURE() << "row padding written";
                return bad + 1;
            }
    return bad;
}

TEST(TurnboxKernel, MatchesThePlainMappingAtTileEdgesAndOddStrides)
{
    const Shape shapes[] = {{1, 1, 0, 0}, {33, 65, 13, 5}, {64, 32, 0, 0}, {100, 3, 1, 7}, {3, 100, 2, 0}};
    for (int bpp : {3, 4}) {
        for (const Shape& s : shapes) {
            Buffer in = CoordinateBuffer(s, bpp);
            for (int mode = 0; mode < 7; ++mode)
                EXPECT_EQ(Misplaced(turnbox::BestKernelPath(), in, s.outPad, mode), 0)
                    << s.w << "x" << s.h << " bpp " << bpp << " mode " << mode;
        }
    }
}

// Each path this CPU runs (blocks of 4 or 8 pixels, tiles of 64), at odd and
// even sizes around those edges, with and without row padding.
TEST(TurnboxKernel, EveryPathMatchesThePlainMapping)
{
    const Shape shapes[] = {{2, 2, 0, 0},    {7, 5, 3, 1},    {8, 8, 0, 0},    {16, 24, 4, 0}, {9, 17, 1, 3},
                            {64, 64, 0, 12}, {72, 130, 5, 0}, {131, 67, 0, 9}, {1, 40, 0, 0},  {40, 1, 2, 0}};
    const struct {
        KernelPath path;
        const char* name;
    } paths[] = {{KernelPath::kPlain, "plain"}, {KernelPath::kSse2, "sse2"}, {KernelPath::kAvx2, "avx2"}};
    for (const auto& p : paths) {
        if (!turnbox::KernelPathRuns(p.path)) {
            std::printf("the %s path does not run on this CPU\n", p.name);
            continue;
        }
        for (int bpp : {3, 4})
            for (const Shape& s : shapes) {
                Buffer in = CoordinateBuffer(s, bpp);
                for (int mode = 0; mode < 7; ++mode)
                    EXPECT_EQ(Misplaced(p.path, in, s.outPad, mode), 0)
                        << p.name << " " << s.w << "x" << s.h << " bpp " << bpp << " mode " << mode;
            }
    }
}

TEST(TurnboxKernel, RefusesBadShapesAndWritesNothing)
{
    Buffer in(8, 4, 4, 0);
    struct Row {
        const char* name;
        ConstPlane in;
        int outW, outH, outPad;
        std::size_t outShort; // bytes taken off the output's size
        int bpp, mode;
    } rows[] = {
        {"mode_7", in.in(), 8, 4, 0, 0, 4, 7},
        {"mode_negative", in.in(), 8, 4, 0, 0, 4, -1},
        {"two_bytes_per_pixel", in.in(), 8, 4, 0, 0, 2, 0},
        {"size_not_swapped", in.in(), 8, 4, 0, 0, 4, 1},
        {"size_swapped_wrongly", in.in(), 4, 8, 0, 0, 4, 2},
        {"input_stride_short", {in.bytes.data(), 31, 8, 4, in.bytes.size()}, 8, 4, 0, 0, 4, 0},
        {"input_buffer_short", {in.bytes.data(), 32, 8, 4, in.bytes.size() - 1}, 8, 4, 0, 0, 4, 5},
        {"output_buffer_short", in.in(), 4, 8, 0, 1, 4, 1},
        {"no_input", {nullptr, 32, 8, 4, 128}, 8, 4, 0, 0, 4, 0},
        {"empty_input", {in.bytes.data(), 32, 0, 4, in.bytes.size()}, 0, 4, 0, 0, 4, 0},
    };
    for (const Row& row : rows) {
        Buffer out(row.outW, row.outH, 4, row.outPad);
        Plane plane = out.out();
        plane.size -= row.outShort;
        EXPECT_FALSE(RotateFrame(row.in, plane, row.bpp, row.mode)) << row.name;
        EXPECT_EQ(out.bytes, std::vector<std::uint8_t>(out.bytes.size(), 0xEE)) << row.name;
    }
}

} // namespace
} // namespace turnbox_test
