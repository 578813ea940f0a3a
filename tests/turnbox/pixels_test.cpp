// Pixels: every mode against the on-screen mapping, at odd sizes, for 3 and
// 4 bytes per pixel, through the element with GStreamer's own row strides.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "test_frames.h"

namespace turnbox_test {
namespace {

struct PixelRow {
    const char* name;
    GstVideoFormat format;
    int width;
    int height;
    friend void PrintTo(const PixelRow& r, std::ostream* os) { *os << r.name; }
};

class EveryModeTest : public testing::TestWithParam<PixelRow> {};

TEST_P(EveryModeTest, EachPixelLandsWhereTheModeShowsIt)
{
    const PixelRow& row = GetParam();
    const Frame in = CoordinateFrame(row.format, row.width, row.height);
    for (int mode = 0; mode < 7; ++mode)
        EXPECT_EQ(MisplacedPixels(mode, in, Rotate(mode, in)), 0) << "mode " << mode;
}

INSTANTIATE_TEST_SUITE_P(Frames, EveryModeTest,
                         testing::Values(PixelRow{"bgr_385x289", GST_VIDEO_FORMAT_BGR, 385, 289},
                                         PixelRow{"bgrx_385x289", GST_VIDEO_FORMAT_BGRx, 385, 289},
                                         PixelRow{"rgba_33x65", GST_VIDEO_FORMAT_RGBA, 33, 65},
                                         PixelRow{"rgb_1x97", GST_VIDEO_FORMAT_RGB, 1, 97},
                                         PixelRow{"xbgr_97x1", GST_VIDEO_FORMAT_xBGR, 97, 1},
                                         PixelRow{"rgb_130x66", GST_VIDEO_FORMAT_RGB, 130, 66},
                                         PixelRow{"rgbx_130x66", GST_VIDEO_FORMAT_RGBx, 130, 66},
                                         PixelRow{"xrgb_72x9", GST_VIDEO_FORMAT_xRGB, 72, 9},
                                         PixelRow{"bgra_9x72", GST_VIDEO_FORMAT_BGRA, 9, 72},
                                         PixelRow{"argb_64x64", GST_VIDEO_FORMAT_ARGB, 64, 64},
                                         PixelRow{"abgr_17x31", GST_VIDEO_FORMAT_ABGR, 17, 31}),
                         [](const auto& info) { return std::string(info.param.name); });

// Compares only picture bytes: row padding of an output frame is not part of it.
bool SamePicture(const Frame& a, const Frame& b)
{
    if (a.width() != b.width() || a.height() != b.height() || a.pixelBytes() != b.pixelBytes())
        return false;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.pixel(0, y), b.pixel(0, y), static_cast<size_t>(a.width()) * a.pixelBytes()))
            return false;
    return true;
}

TEST(TurnboxPixels, ModePairsThatUndoEachOtherGiveBackTheInput)
{
    struct Pair {
        int first;
        int second;
    } pairs[] = {{2, 2}, {1, 3}, {3, 1}, {6, 6}, {4, 4}, {5, 5}};
    for (GstVideoFormat format : {GST_VIDEO_FORMAT_BGR, GST_VIDEO_FORMAT_BGRx}) {
        const Frame in = CoordinateFrame(format, 385, 289);
        for (const Pair& p : pairs)
            EXPECT_TRUE(SamePicture(in, Rotate(p.second, Rotate(p.first, in))))
                << p.first << " then " << p.second << ", " << gst_video_format_to_string(format);
    }
}

TEST(TurnboxPixels, NoRotationCopiesTheFrameByteForByte)
{
    for (GstVideoFormat format : {GST_VIDEO_FORMAT_BGR, GST_VIDEO_FORMAT_BGRx}) {
        const Frame in = CoordinateFrame(format, 385, 289);
        const Frame out = Rotate(0, in);
        EXPECT_EQ(out.bytes, in.bytes) << gst_video_format_to_string(format);
    }
}

// A producer with its own row stride describes it in a video meta; the
// element must read rows where the meta says they are.
TEST(TurnboxPixels, InputRowsAreReadAtTheStrideOfTheBuffersVideoMeta)
{
    const Frame in = CoordinateFrame(GST_VIDEO_FORMAT_BGR, 385, 289);
    const int stride = in.stride() + 61;
    std::vector<std::uint8_t> wide(static_cast<size_t>(stride) * in.height(), 0x55);
    for (int y = 0; y < in.height(); ++y)
        std::memcpy(wide.data() + static_cast<size_t>(y) * stride, in.pixel(0, y), in.width() * 3);
    GstBuffer* buf = gst_buffer_new_memdup(wide.data(), wide.size());
    gsize offsets[GST_VIDEO_MAX_PLANES] = {0};
    gint strides[GST_VIDEO_MAX_PLANES] = {stride};
    gst_buffer_add_video_meta_full(buf, GST_VIDEO_FRAME_FLAG_NONE, GST_VIDEO_FORMAT_BGR, 385, 289, 1, offsets, strides);

    HarnessPtr h = TurnboxHarness(1);
    gst_harness_set_src_caps(h.get(), CapsOf(in).release());
    ASSERT_EQ(gst_harness_push(h.get(), buf), GST_FLOW_OK);
    BufferPtr outBuf(gst_harness_pull(h.get()));
    ASSERT_TRUE(outBuf);
    Frame out;
    gst_video_info_set_format(&out.info, GST_VIDEO_FORMAT_BGR, 289, 385);
    out.bytes.resize(gst_buffer_get_size(outBuf.get()));
    gst_buffer_extract(outBuf.get(), 0, out.bytes.data(), out.bytes.size());
    EXPECT_EQ(MisplacedPixels(1, in, out), 0);
}

} // namespace
} // namespace turnbox_test
