// The one-pass scale and conversion of decoded pictures to pane pictures, row by row against
// ffmpeg scaling and converting the same picture (an oracle sharing none of our code; GStreamer
// 1.22's videoconvert lies up to 6 code values off the BT.601 formula here, ffmpeg within 1).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pane_picture.h"
#include "scratch_folder.h"

namespace vedra::test {
namespace {

// A smooth I420 picture (tightly packed planes): a diagonal luma ramp and slow chroma waves,
// so two scalers sampling a hair apart still agree within a code value.
std::vector<uint8_t> SmoothPicture(int width, int height)
{
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    std::vector<uint8_t> p(static_cast<size_t>(width * height + 2 * cw * ch));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p[static_cast<size_t>(y * width + x)] = static_cast<uint8_t>(40 + 160.0 * (x + y) / (width + height));
    for (int y = 0; y < ch; ++y)
        for (int x = 0; x < cw; ++x) {
            p[static_cast<size_t>(width * height + y * cw + x)] =
                static_cast<uint8_t>(128 + 30 * std::sin(3.1416 * x / cw));
            p[static_cast<size_t>(width * height + cw * ch + y * cw + x)] =
                static_cast<uint8_t>(128 - 30 * std::cos(3.1416 * y / ch));
        }
    return p;
}

TEST(PanePicture, RowsMatchFfmpegScalingAndConvertingTheSamePicture)
{
    struct Row {
        const char* name;
        int width, height;       // the decoded picture
        int outWidth, outHeight; // the pane picture
        FramePixels pixels;
        // Code values per channel: ffmpeg's bilinear filter widens when it shrinks and sites odd
        // pictures' chroma a half pixel apart, libyuv's takes two taps.
        int tolerance;
    };
    TempDir dir;
    for (const Row& row : {
             Row{"same size, even", 640, 480, 640, 480, FramePixels::Bgrx, 1},
             Row{"same size, odd", 353, 289, 353, 289, FramePixels::Bgrx, 2},
             Row{"down to a quad pane", 640, 480, 326, 244, FramePixels::Bgrx, 4},
             Row{"odd down to odd", 353, 289, 175, 143, FramePixels::Bgrx, 4},
             Row{"letterboxed: a wide camera in a quad pane", 800, 240, 328, 98, FramePixels::Bgrx, 4},
             Row{"up into the large pane", 352, 288, 594, 486, FramePixels::Bgrx, 4},
             Row{"CIF a little down into a quad pane", 352, 288, 298, 244, FramePixels::Bgrx, 4},
             Row{"shrunk only in height", 352, 288, 352, 213, FramePixels::Bgrx, 4},
             Row{"shrunk only in width, odd", 353, 289, 261, 289, FramePixels::Bgrx, 4},
             Row{"wider in a shorter pane", 176, 145, 261, 97, FramePixels::Bgrx, 4},
             Row{"taller and narrower", 352, 144, 260, 288, FramePixels::Bgrx, 4},
             Row{"HD into a quad pane", 1280, 720, 326, 184, FramePixels::Bgrx, 4},
             Row{"RGB at the stream's size", 640, 480, 640, 480, FramePixels::Rgb24, 1},
             Row{"RGB, odd, enlarged", 175, 143, 353, 289, FramePixels::Rgb24, 4},
         }) {
        SCOPED_TRACE(row.name);
        const std::vector<uint8_t> yuv = SmoothPicture(row.width, row.height);
        const std::string in = dir.file("in.yuv"), out = dir.file("out.rgb");
        std::ofstream(in, std::ios::binary)
            .write(reinterpret_cast<const char*>(yuv.data()), static_cast<std::streamsize>(yuv.size()));
        const bool bgrx = row.pixels == FramePixels::Bgrx;
        int status = 0;
        RunCommand("ffmpeg -loglevel error -y -f rawvideo -pix_fmt yuv420p -s " + std::to_string(row.width) + "x" +
                       std::to_string(row.height) + " -i '" + in + "' -vf scale=" + std::to_string(row.outWidth) + ":" +
                       std::to_string(row.outHeight) +
                       ":flags=bilinear+accurate_rnd+full_chroma_int -f rawvideo -pix_fmt " +
                       (bgrx ? "bgr0" : "rgb24") + " '" + out + "'",
                   &status);
        ASSERT_EQ(status, 0);
        std::ifstream file(out, std::ios::binary);
        const std::vector<uint8_t> want{std::istreambuf_iterator<char>(file), {}};
        const int bytes = bgrx ? 4 : 3;
        ASSERT_EQ(want.size(), static_cast<size_t>(row.outWidth * row.outHeight * bytes));

        const int cw = (row.width + 1) / 2, ch = (row.height + 1) / 2;
        const PlanarPicture source{.y = yuv.data(),
                                   .u = yuv.data() + row.width * row.height,
                                   .v = yuv.data() + row.width * row.height + cw * ch,
                                   .strideY = row.width,
                                   .strideU = cw,
                                   .strideV = cw,
                                   .width = row.width,
                                   .height = row.height};
        const int stride = PanePictureStride(row.pixels, row.outWidth);
        std::vector<uint8_t> got(static_cast<size_t>(stride * row.outHeight)), scratch;
        ASSERT_TRUE(ConvertToPanePicture(source, YuvMatrix::Bt601, row.pixels, row.outWidth, row.outHeight, got.data(),
                                         stride, scratch));
        // Rows away from the edges (where scalers clamp differently): every pixel within the
        // row's tolerance; BGRx's unused byte 0xff as QImage::Format_RGB32 wants it.
        for (int y : {2, row.outHeight / 3, row.outHeight / 2, row.outHeight - 3}) {
            int worst = 0, notOpaque = 0;
            for (int x = 2; x < row.outWidth - 2; ++x) {
                for (int c = 0; c < 3; ++c)
                    worst =
                        std::max(worst, std::abs(int(got[static_cast<size_t>(y * stride + x * bytes + c)]) -
                                                 int(want[static_cast<size_t>((y * row.outWidth + x) * bytes + c)])));
                notOpaque += bgrx && got[static_cast<size_t>(y * stride + x * bytes + 3)] != 0xff ? 1 : 0;
            }
            EXPECT_LE(worst, row.tolerance) << "row " << y;
            EXPECT_EQ(notOpaque, 0) << "row " << y;
        }
    }
}

TEST(PanePicture, RefusesUnusableSizes)
{
    const std::vector<uint8_t> yuv = SmoothPicture(16, 16);
    const PlanarPicture source{yuv.data(), yuv.data() + 256, yuv.data() + 320, 16, 8, 8, 16, 16};
    std::vector<uint8_t> out(64 * 64 * 4, 0x5a), scratch;
    struct Row {
        const char* name;
        PlanarPicture source;
        int width, height, stride;
    };
    for (const Row& row : {
             Row{"no width", source, 0, 16, 64},
             Row{"rows shorter than the pixels", source, 16, 16, 63},
             Row{"no planes", PlanarPicture{}, 16, 16, 64},
         }) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(ConvertToPanePicture(row.source, YuvMatrix::Bt601, FramePixels::Bgrx, row.width, row.height,
                                          out.data(), row.stride, scratch));
        EXPECT_EQ(out[0], 0x5a);
    }
}

} // namespace
} // namespace vedra::test
