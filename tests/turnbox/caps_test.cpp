// Negotiation: which inputs "turnbox" takes and the output it proposes.
#include <gtest/gtest.h>

#include <string>

#include "test_frames.h"

namespace turnbox_test {
namespace {

struct SizeRow {
    const char* name;
    int mode;
    int width; // expected output for a 640 x 480 input
    int height;
    friend void PrintTo(const SizeRow& r, std::ostream* os) { *os << r.name; }
};

class OutputSizeTest : public testing::TestWithParam<SizeRow> {};

TEST_P(OutputSizeTest, ProposesTheModesSizeInTheInputsFormat)
{
    const SizeRow& row = GetParam();
    for (GstVideoFormat format : {GST_VIDEO_FORMAT_BGR, GST_VIDEO_FORMAT_BGRx}) {
        const Frame out = Rotate(row.mode, CoordinateFrame(format, 640, 480));
        EXPECT_EQ(GST_VIDEO_INFO_FORMAT(&out.info), format);
        EXPECT_EQ(out.width(), row.width);
        EXPECT_EQ(out.height(), row.height);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, OutputSizeTest,
                         testing::Values(SizeRow{"none", 0, 640, 480}, SizeRow{"clockwise", 1, 480, 640},
                                         SizeRow{"half_turn", 2, 640, 480}, SizeRow{"counterclockwise", 3, 480, 640},
                                         SizeRow{"upside_down", 4, 640, 480}, SizeRow{"mirror", 5, 640, 480},
                                         SizeRow{"diagonal", 6, 480, 640}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TurnboxCaps, QuarterTurnOfBgr640x480ProposesBgr480x640WithInvertedAspect)
{
    HarnessPtr h = TurnboxHarness(1);
    CapsPtr in(
        gst_caps_from_string("video/x-raw,format=BGR,width=640,height=480,pixel-aspect-ratio=4/3,framerate=25/1"));
    gst_harness_set_src_caps(h.get(), gst_caps_ref(in.get()));
    CapsPtr out(gst_pad_get_current_caps(h->sinkpad));
    ASSERT_TRUE(out);
    CapsPtr expected(
        gst_caps_from_string("video/x-raw,format=BGR,width=480,height=640,pixel-aspect-ratio=3/4,framerate=25/1"));
    EXPECT_TRUE(gst_caps_is_subset(out.get(), expected.get())) << gst_caps_to_string(out.get());
    GstVideoInfo info;
    ASSERT_TRUE(gst_video_info_from_caps(&info, out.get()));
    EXPECT_EQ(info.size, 480u * 640 * 3);
}

TEST(TurnboxCaps, AcceptsPackedRgbOfThreeAndFourBytesOnly)
{
    struct Row {
        const char* format;
        bool accepted;
    } rows[] = {{"BGR", true},   {"BGRx", true},   {"RGB", true},    {"RGBx", true},  {"xRGB", true},
                {"xBGR", true},  {"BGRA", true},   {"ABGR", true},   {"YUY2", false}, {"I420", false},
                {"NV12", false}, {"GRAY8", false}, {"RGB16", false}, {"v308", false}, {"AYUV", false}};
    HarnessPtr h = TurnboxHarness(0);
    PadPtr sink(gst_element_get_static_pad(h->element, "sink"));
    for (const Row& row : rows) {
        CapsPtr caps(gst_caps_from_string(
            (std::string("video/x-raw,width=64,height=48,framerate=1/1,format=") + row.format).c_str()));
        EXPECT_EQ(gst_pad_query_accept_caps(sink.get(), caps.get()), row.accepted) << row.format;
    }
}

TEST(TurnboxCaps, Yuy2FramesAreNotNegotiated)
{
    HarnessPtr h = TurnboxHarness(1);
    gst_harness_set_src_caps_str(h.get(), "video/x-raw,format=YUY2,width=64,height=48,framerate=1/1");
    EXPECT_EQ(gst_harness_push(h.get(), gst_buffer_new_allocate(nullptr, 64 * 48 * 2, nullptr)),
              GST_FLOW_NOT_NEGOTIATED);
}

} // namespace
} // namespace turnbox_test
