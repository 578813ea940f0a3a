#include "test_frames.h"

#include <gtest/gtest.h>

#include <cstring>

namespace turnbox_test {

static std::uint8_t CheckByte(int x, int y)
{
    return static_cast<std::uint8_t>(x * 7 + y * 13 + 1);
}

Frame CoordinateFrame(GstVideoFormat format, int width, int height)
{
    Frame f;
    gst_video_info_set_format(&f.info, format, width, height);
    f.bytes.assign(f.info.size, 0xEE);
    const int b = f.pixelBytes();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            auto* p = const_cast<std::uint8_t*>(f.pixel(x, y));
            const std::uint32_t v = (static_cast<std::uint32_t>(y) << 12) | static_cast<std::uint32_t>(x);
            p[0] = v & 0xFF;
            p[1] = (v >> 8) & 0xFF;
            p[2] = (v >> 16) & 0xFF;
            if (b == 4)
                p[3] = CheckByte(x, y);
        }
    }
    return f;
}

bool DecodePixel(const Frame& f, int x, int y, Point& out)
{
    const std::uint8_t* p = f.pixel(x, y);
    const std::uint32_t v = p[0] | (p[1] << 8) | (p[2] << 16);
    out = {static_cast<int>(v & 0xFFF), static_cast<int>(v >> 12)};
    return f.pixelBytes() == 3 || p[3] == CheckByte(out.x, out.y);
}

long MisplacedPixels(int mode, const Frame& in, const Frame& out)
{
    const int w = in.width();
    const int h = in.height();
    const bool swaps = mode == 1 || mode == 3 || mode == 6;
    if (out.width() != (swaps ? h : w) || out.height() != (swaps ? w : h))
        return static_cast<long>(w) * h;
    long bad = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Point at = ScreenMapping(mode, x, y, w, h);
            Point got{};
            if (!DecodePixel(out, at.x, at.y, got) || got.x != x || got.y != y)
                ++bad;
        }
    }
    return bad;
}

CapsPtr CapsOf(const Frame& f)
{
    return CapsPtr(gst_video_info_to_caps(&f.info));
}

HarnessPtr TurnboxHarness(int mode)
{
    HarnessPtr h(gst_harness_new("turnbox"));
    g_object_set(h->element, "rotation", mode, nullptr);
    return h;
}

Frame PushPull(GstHarness* h, const Frame& in)
{
    GstBuffer* buf = gst_buffer_new_memdup(in.bytes.data(), in.bytes.size());
    if (gst_harness_push(h, buf) != GST_FLOW_OK) {
        ADD_FAILURE() << "push refused";
        return {};
    }
    BufferPtr outBuf(gst_harness_pull(h));
    PadPtr sink(GST_PAD(gst_object_ref(h->sinkpad)));
    CapsPtr caps(gst_pad_get_current_caps(sink.get()));
    Frame out;
    if (!outBuf || !caps || !gst_video_info_from_caps(&out.info, caps.get())) {
        ADD_FAILURE() << "no output frame";
        return {};
    }
    out.bytes.resize(gst_buffer_get_size(outBuf.get()));
    gst_buffer_extract(outBuf.get(), 0, out.bytes.data(), out.bytes.size());
    EXPECT_GE(out.bytes.size(), out.info.size);
    return out;
}

Frame Rotate(int mode, const Frame& in)
{
    HarnessPtr h = TurnboxHarness(mode);
    gst_harness_set_src_caps(h.get(), CapsOf(in).release());
    return PushPull(h.get(), in);
}

} // namespace turnbox_test
