// The kernel alone: unusual strides and tile edges against the plain
// mapping, and shapes it must refuse without writing.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "rotate_frame.h"
#include "test_frames.h"

namespace turnbox_test {
namespace {

using turnbox::ConstPlane;
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

TEST(TurnboxKernel, MatchesThePlainMappingAtTileEdgesAndOddStrides)
{
    struct Shape {
        int w, h, inPad, outPad;
    } shapes[] = {{1, 1, 0, 0}, {33, 65, 13, 5}, {64, 32, 0, 0}, {100, 3, 1, 7}, {3, 100, 2, 0}};
    for (int bpp : {3, 4}) {
        for (const Shape& s : shapes) {
            Buffer in(s.w, s.h, bpp, s.inPad);
            for (int y = 0; y < s.h; ++y)
                for (int x = 0; x < s.w; ++x)
                    for (int k = 0; k < bpp; ++k)
                        in.at(x, y)[k] = static_cast<std::uint8_t>(x * 31 + y * 17 + k);
            for (int mode = 0; mode < 7; ++mode) {
                const bool swaps = mode == 1 || mode == 3 || mode == 6;
                Buffer out(swaps ? s.h : s.w, swaps ? s.w : s.h, bpp, s.outPad);
                ASSERT_TRUE(RotateFrame(in.in(), out.out(), bpp, mode));
                long bad = 0;
                for (int y = 0; y < s.h; ++y)
                    for (int x = 0; x < s.w; ++x) {
                        const Point p = ScreenMapping(mode, x, y, s.w, s.h);
                        bad += std::memcmp(out.at(p.x, p.y), in.at(x, y), bpp) != 0;
                    }
                EXPECT_EQ(bad, 0) << s.w << "x" << s.h << " bpp " << bpp << " mode " << mode;
                for (int y = 0; y < out.height; ++y)
                    for (std::ptrdiff_t k = out.width * bpp; k < out.stride; ++k)
                        ASSERT_EQ(out.bytes[y * out.stride + k], 0xEE) << "row padding written";
            }
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
