// Snapshot conversions against hand-computed pixels, the BMP layout, JPEG through Qt,
// and files that appear complete or not at all.
#include <gtest/gtest.h>

#include <QImage>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine_fixture.h"
#include "snapshot_convert.h"
#include "snapshot_writer.h"

namespace vedra::test {
namespace {

struct Bgr {
    int b, g, r;
};

TEST(SnapshotConvert, Yuy2PixelsUseStudioRangeSaturatedThenTruncated)
{
    struct Row {
        const char* name;
        uint8_t y, u, v;
        Bgr want;
    };
    const Row rows[] = {
        {"black", 16, 128, 128, {0, 0, 0}},
        {"Y 235 truncates 254.916", 235, 128, 128, {254, 254, 254}},
        {"Y 255 saturates", 255, 128, 128, {255, 255, 255}},
        {"below black clamps to 0", 0, 128, 128, {0, 0, 0}},
        // Ys = 130.368; B = 1.28, G = 96.92, R = 245.28
        {"coloured", 128, 64, 200, {1, 96, 245}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const uint8_t frame[4] = {row.y, row.u, row.y, row.v};
        std::vector<uint8_t> out;
        ASSERT_TRUE(ConvertYuy2ToBgr(frame, sizeof frame, 2, 1, out));
        for (int k = 0; k < 2; ++k) {
            EXPECT_EQ(out[3 * k + 0], row.want.b);
            EXPECT_EQ(out[3 * k + 1], row.want.g);
            EXPECT_EQ(out[3 * k + 2], row.want.r);
        }
    }
}

TEST(SnapshotConvert, Yv12PixelsUseFullRangeTruncatedThenClamped)
{
    struct Row {
        const char* name;
        uint8_t y, cr, cb;
        Bgr want;
    };
    const Row rows[] = {
        {"grey stays grey", 16, 128, 128, {16, 16, 16}},
        // R = 429 -> 255, G = 255.047 -> 255, B = 33.247 -> 33
        {"saturated red", 255, 255, 0, {33, 255, 255}},
        // R = -6.9 truncates to -6 then clamps to 0; G = 154.84
        {"negative red", 100, 50, 128, {100, 154, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // 2 x 2: Y plane, then V (Cr), then U (Cb).
        const uint8_t frame[6] = {row.y, row.y, row.y, row.y, row.cr, row.cb};
        std::vector<uint8_t> out;
        ASSERT_TRUE(ConvertYv12ToBgr(frame, sizeof frame, 2, 2, out));
        EXPECT_EQ(out[0], row.want.b);
        EXPECT_EQ(out[1], row.want.g);
        EXPECT_EQ(out[2], row.want.r);
    }
}

TEST(SnapshotConvert, BottomRowComesFirstAndRowsArePaddedToFourBytes)
{
    // 2 x 2 YV12, top row Y 50, bottom row Y 200; a BMP row of 6 bytes is padded to 8.
    const uint8_t frame[6] = {50, 50, 200, 200, 128, 128};
    std::vector<uint8_t> out;
    ASSERT_TRUE(ConvertYv12ToBgr(frame, sizeof frame, 2, 2, out));
    ASSERT_EQ(out.size(), 16u);
    EXPECT_EQ(out[0], 200); // first stored row: the bottom of the picture
    EXPECT_EQ(out[8], 50);
    EXPECT_EQ(out[6], 0); // padding
    EXPECT_EQ(out[7], 0);
}

TEST(SnapshotConvert, RefusesFramesThatDoNotFit)
{
    struct Row {
        const char* name;
        bool yuy2;
        size_t length;
        int width, height;
    };
    const Row rows[] = {
        {"yuy2 too short", true, 4 * 4 * 2 - 1, 4, 4}, {"yv12 too short", false, 4 * 4 * 3 / 2 - 1, 4, 4},
        {"yv12 narrower than 2", false, 64, 1, 4},     {"zero size", true, 64, 0, 4},
        {"negative height", false, 64, 4, -4},         {"absurd size", true, 1 << 20, 100000, 100000},
    };
    std::vector<uint8_t> frame(1 << 20, 128);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> out;
        const bool ok = row.yuy2 ? ConvertYuy2ToBgr(frame.data(), row.length, row.width, row.height, out)
                                 : ConvertYv12ToBgr(frame.data(), row.length, row.width, row.height, out);
        EXPECT_FALSE(ok);
        EXPECT_TRUE(out.empty());
    }
}

uint32_t Le32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(SnapshotConvert, BmpHeaderFields)
{
    const auto h = MakeBmpHeader(352, 288);
    EXPECT_EQ(h[0], 'B');
    EXPECT_EQ(h[1], 'M');
    EXPECT_EQ(Le32(&h[2]), 304182u); // 352 x 288 x 3 + 54
    EXPECT_EQ(Le32(&h[10]), 54u);
    EXPECT_EQ(Le32(&h[14]), 40u);
    EXPECT_EQ(Le32(&h[18]), 352u);
    EXPECT_EQ(Le32(&h[22]), 288u);
    EXPECT_EQ(h[26] | h[27] << 8, 1);
    EXPECT_EQ(h[28] | h[29] << 8, 24);
    for (int i = 30; i < 54; ++i)
        EXPECT_EQ(h[i], 0) << i;
    EXPECT_EQ(Le32(&MakeBmpHeader(2, 3)[2]), 8u * 3 + 54); // padded rows
}

TEST(SnapshotWriter, WritesBmpAndJpegFilesOrNothing)
{
    TempDir dir;
    const int w = 352, h = 288;
    std::vector<uint8_t> frame(static_cast<size_t>(w * h * 3 / 2), 128);
    for (int r = 0; r < h; ++r)
        for (int k = 0; k < w; ++k)
            frame[static_cast<size_t>(r * w + k)] = static_cast<uint8_t>(r < h / 2 ? 40 : 220);
    GrabbedMediaType type{true, true, kSubtypeYv12, w, h};

    const std::string bmp = dir.file("a.bmp");
    ASSERT_EQ(WriteSnapshot(type, frame.data(), frame.size(), bmp, false), SnapshotResult::Written);
    const auto bytes = ReadFile(bmp);
    ASSERT_EQ(bytes.size(), 304182u);
    EXPECT_EQ(bytes[54], 220); // bottom row first
    QImage bmpImage(QString::fromStdString(bmp));
    ASSERT_FALSE(bmpImage.isNull());
    EXPECT_EQ(qGray(bmpImage.pixel(0, 0)), 40);

    const std::string jpg = dir.file("a.jpg");
    ASSERT_EQ(WriteSnapshot(type, frame.data(), frame.size(), jpg, true), SnapshotResult::Written);
    QImage jpeg;
    ASSERT_TRUE(jpeg.load(QString::fromStdString(jpg), "JPEG"));
    EXPECT_EQ(jpeg.width(), w);
    EXPECT_EQ(jpeg.height(), h);
    EXPECT_NEAR(qGray(jpeg.pixel(10, 10)), 40, 4);
    EXPECT_NEAR(qGray(jpeg.pixel(10, h - 10)), 220, 4);

    struct Row {
        const char* name;
        GrabbedMediaType type;
        std::string path;
        SnapshotResult want;
    };
    const Row rows[] = {
        {"other subtype",
         {true, true, MakeFourcc('R', 'G', 'B', ' '), w, h},
         dir.file("b.bmp"),
         SnapshotResult::NotConverted},
        {"folder missing", type, dir.file("no/such/c.bmp"), SnapshotResult::WriteFailed},
        {"path is a folder", type, dir.path().string(), SnapshotResult::WriteFailed},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto before = std::distance(std::filesystem::directory_iterator(dir.path()), {});
        EXPECT_EQ(WriteSnapshot(row.type, frame.data(), frame.size(), row.path, false), row.want);
        // Nothing left behind: no file, no temporary.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), before);
    }
}

} // namespace
} // namespace vedra::test
