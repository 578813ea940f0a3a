// Snapshots through a playing channel graph: the frame tap, the media type, the
// pending request taken by the next frame.
#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "cdxgraph.h"
#include "engine_fixture.h"
#include "snapshot_convert.h"

namespace vedra::test {
namespace {

using namespace std::chrono_literals;

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

bool WaitForFile(const std::string& path, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        if (std::filesystem::exists(path))
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

class SnapshotGraphTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(MakeSplitRecording(dir_, "--channels 1 --size 352x288 --fps 10 --seconds 3", rec_));
        ASSERT_TRUE(g_.Create(nullptr));
        ASSERT_TRUE(g_.RenderMediaFile(rec_.channel(1), true));
    }
    void TearDown() override { g_.Destroy(); }
    TempDir dir_;
    SplitRecording rec_;
    CDXGraph g_;
};

TEST_F(SnapshotGraphTest, FrameTapDescribesYv12Frames)
{
    const GrabbedMediaType type = g_.grabbedMediaType();
    EXPECT_TRUE(type.isVideo);
    EXPECT_TRUE(type.hasVideoInfo);
    EXPECT_EQ(type.subtype, kSubtypeYv12);
    EXPECT_EQ(type.width, 352);
    EXPECT_EQ(type.height, 288);
}

TEST_F(SnapshotGraphTest, BmpWhilePlayingIsADecodedFrameOfTheChannel)
{
    // Every frame of the channel as libavcodec decodes it, converted the same way.
    const std::string yuv = dir_.file("frames.yuv");
    int status = 0;
    RunCommand("ffmpeg -loglevel error -y -i '" + rec_.channel(1) +
                   "' -fps_mode passthrough -f rawvideo -pix_fmt yuv420p '" + yuv + "'",
               &status);
    ASSERT_EQ(status, 0);
    const auto raw = ReadFile(yuv);
    const size_t frameBytes = 352 * 288 * 3 / 2;
    const std::vector<double> times = FfprobeFrameTimes(rec_.channel(1));
    ASSERT_EQ(raw.size() / frameBytes, times.size());

    g_.Run();
    std::this_thread::sleep_for(1200ms);
    const std::string path = dir_.file("snap.bmp");
    const double requestedAt = g_.GetPositionSeconds();
    g_.RequestBmpSnapshot(path);
    ASSERT_TRUE(WaitForFile(path, 2000));
    EXPECT_FALSE(g_.HasPendingSnapshot());
    const auto bmp = ReadFile(path);
    ASSERT_EQ(bmp.size(), 304182u);

    std::vector<double> matched;
    for (size_t f = 0; f + frameBytes <= raw.size(); f += frameBytes) {
        // yuv420p is Y, U, V; YV12 stores V before U.
        std::vector<uint8_t> yv12(raw.begin() + static_cast<long>(f), raw.begin() + static_cast<long>(f + frameBytes));
        const size_t y = 352 * 288, c = y / 4;
        std::swap_ranges(yv12.begin() + static_cast<long>(y), yv12.begin() + static_cast<long>(y + c),
                         yv12.begin() + static_cast<long>(y + c));
        std::vector<uint8_t> bgr;
        ASSERT_TRUE(ConvertYv12ToBgr(yv12.data(), yv12.size(), 352, 288, bgr));
        if (std::equal(bgr.begin(), bgr.end(), bmp.begin() + 54))
            matched.push_back(times[f / frameBytes]);
    }
    // The frame is the one due next when the request was made (10 frames a second).
    ASSERT_FALSE(matched.empty());
    EXPECT_TRUE(std::any_of(matched.begin(), matched.end(),
                            [&](double t) { return t >= requestedAt - 0.101 && t <= requestedAt + 0.25; }))
        << "requested at " << requestedAt << ", first match " << matched.front();
}

TEST_F(SnapshotGraphTest, JpegRequestReplacesAPendingBmpRequest)
{
    const std::string bmp = dir_.file("first.bmp");
    const std::string jpg = dir_.file("second.jpg");
    g_.RequestBmpSnapshot(bmp);
    g_.RequestJpegSnapshot(jpg);
    EXPECT_TRUE(g_.HasPendingSnapshot());
    g_.Run();
    ASSERT_TRUE(WaitForFile(jpg, 2000));
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(std::filesystem::exists(bmp));
    QImage image;
    ASSERT_TRUE(image.load(QString::fromStdString(jpg), "JPEG"));
    EXPECT_EQ(image.size(), QSize(352, 288));
}

TEST_F(SnapshotGraphTest, UnwritablePathDropsTheRequest)
{
    g_.RequestBmpSnapshot(dir_.file("no/such/folder/x.bmp"));
    g_.Run();
    std::this_thread::sleep_for(500ms);
    EXPECT_FALSE(g_.HasPendingSnapshot());
    EXPECT_FALSE(std::filesystem::exists(dir_.file("no")));
}

TEST(SnapshotCallback, WithoutVideoMediaTypeTheRequestStaysPending)
{
    CDXGraph g;
    g.RequestBmpSnapshot("/nonexistent/never.bmp");
    const uint8_t frame[16] = {};
    EXPECT_EQ(g.BufferCB(0.0, frame, sizeof frame), kVFW_E_INVALIDMEDIATYPE);
    EXPECT_TRUE(g.HasPendingSnapshot());
}

} // namespace
} // namespace vedra::test
