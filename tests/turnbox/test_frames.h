// Frames whose pixels carry their own coordinates and a way to send a frame
// through "turnbox".
#pragma once

#include <gst/video/video.h>

#include <cstdint>
#include <string>
#include <vector>

#include "gst_handles.h"
#include "screen_mapping.h"

namespace turnbox_test {

struct Frame {
    GstVideoInfo info;
    std::vector<std::uint8_t> bytes; // info.size bytes, default strides

    int width() const { return GST_VIDEO_INFO_WIDTH(&info); }
    int height() const { return GST_VIDEO_INFO_HEIGHT(&info); }
    int stride() const { return GST_VIDEO_INFO_PLANE_STRIDE(&info, 0); }
    int pixelBytes() const { return GST_VIDEO_INFO_COMP_PSTRIDE(&info, 0); }
    const std::uint8_t* pixel(int x, int y) const
    {
        return bytes.data() + static_cast<std::size_t>(y) * stride() + x * pixelBytes();
    }
};

// A frame where pixel (x, y) holds x and y (12 bits each) and, with a fourth
// byte, a check value; row padding is filled with 0xEE.
Frame CoordinateFrame(GstVideoFormat format, int width, int height);

// Reads the coordinates back; false when the pixel holds no valid ones.
bool DecodePixel(const Frame& f, int x, int y, Point& out);

// Counts pixels of `out` that do not hold the source pixel the mode maps
// there (all of them when the size is wrong).
long MisplacedPixels(int mode, const Frame& in, const Frame& out);

HarnessPtr TurnboxHarness(int mode);

// Pushes one frame through "turnbox" in `mode`; fails the test (and returns
// an empty frame) when nothing comes out.
Frame Rotate(int mode, const Frame& in);

// Pushes and pulls one frame through an already set-up harness.
Frame PushPull(GstHarness* h, const Frame& in);

CapsPtr CapsOf(const Frame& f);

} // namespace turnbox_test
