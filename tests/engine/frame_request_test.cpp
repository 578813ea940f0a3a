// Panes asking for their own picture size and layout: the frames they get, the
// change of request on a running graph, and the frame tap left at full size.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "cdxgraph.h"
#include "engine_fixture.h"

namespace vedra::test {
namespace {

using namespace std::chrono_literals;

class RequestingFrameSink : public CountingFrameSink {
public:
    explicit RequestingFrameSink(FrameRequest request) : request_(request) {}
    FrameRequest Requested() const override { return request_; }

private:
    FrameRequest request_;
};

struct Rgb {
    int r, g, b;
};

int BytesPerPixel(FramePixels pixels)
{
    return pixels == FramePixels::Bgrx ? 4 : 3;
}

Rgb PixelAt(const VideoFrame& f, int x, int y)
{
    const uint8_t* p =
        f.data() + static_cast<size_t>(y) * f.stride() + static_cast<size_t>(x) * BytesPerPixel(f.pixels());
    return f.pixels() == FramePixels::Bgrx ? Rgb{p[2], p[1], p[0]} : Rgb{p[0], p[1], p[2]};
}

// krvsynth's channel 2 picture at 640 x 480: its background, and its big digit
// covering the middle.
constexpr Rgb kChannel2Background{170, 30, 30};
constexpr Rgb kDigit{250, 250, 120};

void ExpectColourNear(const Rgb& got, const Rgb& want, const char* what)
{
    EXPECT_NEAR(got.r, want.r, 20) << what;
    EXPECT_NEAR(got.g, want.g, 20) << what;
    EXPECT_NEAR(got.b, want.b, 20) << what;
}

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Waits until the sink's newest frame has the wanted size and layout.
VideoFramePtr WaitForFrame(CountingFrameSink& sink, FramePixels pixels, int width, int height, int timeoutMs)
{
    for (int waited = 0; waited <= timeoutMs; waited += 20) {
        VideoFramePtr f = sink.last();
        if (f && f->pixels() == pixels && f->width() == width && f->height() == height)
            return f;
        std::this_thread::sleep_for(20ms);
    }
    return sink.last();
}

class FrameRequestTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir();
        rec_ = new SplitRecording();
        ASSERT_TRUE(MakeSplitRecording(*dir_, "--channels 2 --size 640x480 --fps 10 --seconds 3 --gop 10", *rec_));
        wideDir_ = new TempDir();
        wide_ = new SplitRecording();
        ASSERT_TRUE(MakeSplitRecording(*wideDir_, "--channels 2 --size 800x240 --fps 10 --seconds 2 --gop 10", *wide_));
    }
    static void TearDownTestSuite()
    {
        delete wide_;
        delete wideDir_;
        delete rec_;
        delete dir_;
    }
    static TempDir* dir_;
    static SplitRecording* rec_; // channel 2, 640 x 480
    static TempDir* wideDir_;
    static SplitRecording* wide_; // channel 2, 800 x 240
};
TempDir* FrameRequestTest::dir_ = nullptr;
SplitRecording* FrameRequestTest::rec_ = nullptr;
TempDir* FrameRequestTest::wideDir_ = nullptr;
SplitRecording* FrameRequestTest::wide_ = nullptr;

constexpr FrameRequest Fitted(int width, int height, bool sourcePixelsAtMost = false)
{
    return {.pixels = FramePixels::Bgrx,
            .width = width,
            .height = height,
            .fit = true,
            .sourcePixelsAtMost = sourcePixelsAtMost};
}

TEST(FrameSizeFor, FitsThePictureShapeInEvenSides)
{
    struct Row {
        const char* name;
        FrameRequest request;
        SourcePicture source;
        FrameSize size;
    };
    const SourcePicture vga{640, 480};
    for (const Row& row : {
             Row{"filling: the pane's size", {FramePixels::Bgrx, 328, 244}, vga, {328, 244}},
             Row{"filling, at most the largest side caps take", {FramePixels::Bgrx, 40000, 244}, vga, {32767, 244}},
             Row{"filling ignores the camera's size", {FramePixels::Bgrx, 1314, 974, false, true}, vga, {1314, 974}},
             Row{"no size: the stream's", Fitted(0, 0), vga, {0, 0}},
             Row{"picture not known yet: the stream's", Fitted(657, 487), {}, {0, 0}},
             Row{"4:3 in the large pane", Fitted(657, 487), vga, {650, 486}},
             Row{"4:3 in a quad pane", Fitted(328, 244), vga, {326, 244}},
             Row{"a wide camera in a quad pane", Fitted(328, 244), {800, 240}, {328, 98}},
             Row{"pixels 12:11 wide are shown wider", Fitted(657, 487), {704, 576, 12, 11}, {650, 486}},
             Row{"zoomed: no more than the camera's own pixels", Fitted(2624, 1952, true), vga, {640, 480}},
             Row{"zoomed a little: the box", Fitted(410, 305, true), vga, {406, 304}},
             Row{"a small camera in a huge pane: 8 times its sides", Fitted(4000, 4000), {160, 128}, {1280, 1024}},
             Row{"a box of one pixel: never 0", Fitted(1, 1), vga, {2, 2}},
             Row{"absurd pixel shape: still inside the box", Fitted(657, 487), {640, 480, 255, 1}, {656, 2}},
         }) {
        SCOPED_TRACE(row.name);
        const FrameSize size = FrameSizeFor(row.request, row.source);
        EXPECT_EQ(size.width, row.size.width);
        EXPECT_EQ(size.height, row.size.height);
    }
}

TEST_F(FrameRequestTest, PaneGetsFramesOfItsSizeAndLayout)
{
    struct Row {
        const char* name;
        FrameRequest request;
        int width, height;
        bool attachBeforeRendering;
        bool wide = false; // the 800 x 240 camera
    };
    for (const Row& row : {
             Row{"nothing asked: RGB at the stream's size", {}, 640, 480, false},
             Row{"quad view pane, BGRx", {FramePixels::Bgrx, 328, 244}, 328, 244, false},
             Row{"single view pane, BGRx, odd size", {FramePixels::Bgrx, 657, 487}, 657, 487, false},
             Row{"BGRx at the stream's size", {FramePixels::Bgrx, 0, 0}, 640, 480, false},
             Row{"RGB at a pane's size", {FramePixels::Rgb24, 328, 244}, 328, 244, false},
             Row{"half a size is the stream's size", {FramePixels::Bgrx, 328, 0}, 640, 480, false},
             Row{"pane attached before rendering", {FramePixels::Bgrx, 328, 244}, 328, 244, true},
             Row{"fitted into the large pane", Fitted(657, 487), 650, 486, false},
             Row{"fitted, pane attached before rendering", Fitted(657, 487), 650, 486, true},
             Row{"zoomed pane: the camera's own pixels", Fitted(2624, 1952, true), 640, 480, false},
             Row{"a wide camera fitted into a quad pane", Fitted(328, 244), 328, 98, false, true},
             Row{"a wide camera enlarged into a wide box", Fitted(900, 250), 834, 250, true, true},
         }) {
        SCOPED_TRACE(row.name);
        CDXGraph g;
        RequestingFrameSink pane(row.request);
        ASSERT_TRUE(g.Create(nullptr));
        if (row.attachBeforeRendering)
            g.AttachToPane(&pane);
        ASSERT_TRUE(g.RenderMediaFile((row.wide ? wide_ : rec_)->channel(2), true));
        // The decoder's picture, whatever the pane shows.
        EXPECT_EQ(g.vgaCount, row.wide ? 0 : 1);
        if (!row.attachBeforeRendering)
            g.AttachToPane(&pane);
        g.Run();
        const VideoFramePtr f = WaitForFrame(pane, row.request.pixels, row.width, row.height, 1500);
        ASSERT_TRUE(f);
        EXPECT_EQ(f->pixels(), row.request.pixels);
        EXPECT_EQ(f->width(), row.width);
        EXPECT_EQ(f->height(), row.height);
        EXPECT_GE(f->stride(), row.width * BytesPerPixel(row.request.pixels));
        EXPECT_GE(f->size(), static_cast<size_t>(f->stride()) * static_cast<size_t>(row.height));
        // The picture fills the frame: background at the right edge's middle, digit in the middle.
        ExpectColourNear(PixelAt(*f, row.width * 85 / 100, row.height / 2), kChannel2Background, "background");
        if (!row.wide)
            ExpectColourNear(PixelAt(*f, row.width / 2, row.height / 2), kDigit, "digit");
        ExpectColourNear(PixelAt(*f, row.width - 1, row.height / 2), kChannel2Background, "no border on the right");
        ExpectColourNear(PixelAt(*f, row.width / 2, row.height - 1), kChannel2Background, "no border below");
        // Whatever size the frame has, it tells the picture's own shape.
        EXPECT_EQ(f->sourceWidth(), row.wide ? 800 : 640);
        EXPECT_EQ(f->sourceHeight(), row.wide ? 240 : 480);
        // QImage::Format_RGB32 wants its unused byte at 0xff.
        if (row.request.pixels == FramePixels::Bgrx) {
            EXPECT_EQ(f->data()[static_cast<size_t>(row.height / 2) * f->stride() + 4 * (row.width / 2) + 3], 0xff);
        }
        EXPECT_EQ(g.HandleGraphEvents(), 1);
        g.Destroy();
    }
}

// A paused frame at pane size against libavcodec's decode of the same frame,
// scaled to the same size by ffmpeg.
TEST_F(FrameRequestTest, PaneSizeFrameIsTheDownscaledDecodedFrame)
{
    const std::string raw = dir_->file("scaled.bgr0");
    int status = 0;
    RunCommand("ffmpeg -loglevel error -y -i '" + rec_->channel(2) +
                   "' -fps_mode passthrough -vf scale=328:244:flags=neighbor -f rawvideo -pix_fmt bgr0 '" + raw + "'",
               &status);
    ASSERT_EQ(status, 0);
    const std::vector<uint8_t> frames = ReadFile(raw);
    std::vector<double> times = FfprobeFrameTimes(rec_->channel(2));
    std::sort(times.begin(), times.end());
    const size_t frameBytes = 328 * 244 * 4;
    ASSERT_EQ(frames.size() / frameBytes, times.size());

    CDXGraph g;
    RequestingFrameSink pane({FramePixels::Bgrx, 328, 244});
    ASSERT_TRUE(g.Create(nullptr));
    ASSERT_TRUE(g.RenderMediaFile(rec_->channel(2), true));
    g.AttachToPane(&pane);
    g.SeekTo(times[13]);
    g.Pause();
    const VideoFramePtr f = WaitForFrame(pane, FramePixels::Bgrx, 328, 244, 1500);
    ASSERT_TRUE(f);
    ASSERT_EQ(f->width(), 328);
    const double pts = static_cast<double>(f->pts()) / GST_SECOND;
    const auto at = std::min_element(times.begin(), times.end(),
                                     [&](double a, double b) { return std::abs(a - pts) < std::abs(b - pts); });
    ASSERT_NEAR(*at, times[13], 0.001);
    const uint8_t* want = frames.data() + static_cast<size_t>(at - times.begin()) * frameBytes;
    // Two scalers may pick neighbouring source pixels at edges; on average they agree closely.
    long total = 0;
    for (int y = 0; y < 244; ++y)
        for (int x = 0; x < 328; ++x)
            for (int c = 0; c < 3; ++c)
                total += std::abs(int(f->data()[static_cast<size_t>(y) * f->stride() + x * 4 + c]) -
                                  int(want[(static_cast<size_t>(y) * 328 + x) * 4 + c]));
    EXPECT_LT(static_cast<double>(total) / (328 * 244 * 3), 6.0);
    g.Destroy();
}

// A pane resized or zoomed while paused is attached again: the paused picture comes again at
// the new size, the same frame, and the pane is never told to go black meanwhile.
TEST_F(FrameRequestTest, PausedGraphShowsItsPictureAgainAtANewSize)
{
    class ChangingPane : public CountingFrameSink {
    public:
        FrameRequest Requested() const override { return request; }
        void PresentNothing() override
        {
            ++nothings;
            CountingFrameSink::PresentNothing();
        }
        FrameRequest request = Fitted(328, 244);
        std::atomic<int> nothings{0};
    };
    CDXGraph g;
    ChangingPane pane;
    ASSERT_TRUE(g.Create(nullptr));
    g.SetTimeOffset(0.0); // on a recording's timeline, as the player plays channels
    ASSERT_TRUE(g.RenderMediaFile(rec_->channel(2), true));
    g.AttachToPane(&pane);
    g.SeekTo(1.35);
    g.Pause();
    const VideoFramePtr first = WaitForFrame(pane, FramePixels::Bgrx, 326, 244, 1500);
    ASSERT_TRUE(first);
    ASSERT_EQ(first->width(), 326);
    const int hidesBefore = pane.hides();
    pane.nothings = 0;

    struct Step {
        const char* name;
        FrameRequest request;
        int width, height;
        bool newFrame;
    };
    for (const Step& step : {
             Step{"resized to the large pane", Fitted(657, 487), 650, 486, true},
             Step{"zoomed: the camera's own pixels", Fitted(1314, 974, true), 640, 480, true},
             Step{"zoomed further: the same frames, nothing asked", Fitted(2628, 1948, true), 640, 480, false},
             Step{"back to the quad pane", Fitted(328, 244), 326, 244, true},
         }) {
        SCOPED_TRACE(step.name);
        const int framesBefore = pane.frames();
        pane.request = step.request;
        ASSERT_TRUE(g.AttachToPane(&pane));
        const VideoFramePtr f = WaitForFrame(pane, FramePixels::Bgrx, step.width, step.height, 1500);
        ASSERT_TRUE(f);
        EXPECT_EQ(f->width(), step.width);
        EXPECT_EQ(f->height(), step.height);
        EXPECT_EQ(f->pts(), first->pts());
        EXPECT_EQ(pane.frames() - framesBefore, step.newFrame ? 1 : 0);
        EXPECT_TRUE(g.IsPaused());
    }
    EXPECT_EQ(pane.hides(), hidesBefore);
    EXPECT_EQ(pane.nothings.load(), 0);
    EXPECT_EQ(g.HandleGraphEvents(), 1);
    g.Destroy();
}

TEST_F(FrameRequestTest, RunningGraphFollowsANewRequestWhileSnapshotsStayFullSize)
{
    CDXGraph g;
    CountingFrameSink native;
    RequestingFrameSink quad({FramePixels::Bgrx, 328, 244});
    RequestingFrameSink single({FramePixels::Bgrx, 657, 487});
    ASSERT_TRUE(g.Create(nullptr));
    ASSERT_TRUE(g.RenderMediaFile(rec_->channel(2), true));
    g.AttachToPane(&native);
    g.Run();
    ASSERT_TRUE(WaitForFrame(native, FramePixels::Rgb24, 640, 480, 1500));

    struct Step {
        const char* name;
        CountingFrameSink* pane;
        FramePixels pixels;
        int width, height;
    };
    int snapshot = 0;
    for (const Step& step : {Step{"to the quad pane", &quad, FramePixels::Bgrx, 328, 244},
                             Step{"to the single pane", &single, FramePixels::Bgrx, 657, 487},
                             Step{"back to a pane asking nothing", &native, FramePixels::Rgb24, 640, 480}}) {
        SCOPED_TRACE(step.name);
        g.AttachToPane(step.pane);
        const VideoFramePtr f = WaitForFrame(*step.pane, step.pixels, step.width, step.height, 1500);
        ASSERT_TRUE(f);
        EXPECT_EQ(f->width(), step.width);
        EXPECT_EQ(f->height(), step.height);
        EXPECT_EQ(f->pixels(), step.pixels);
        EXPECT_TRUE(g.IsRunning());
        EXPECT_EQ(g.HandleGraphEvents(), 1) << "no error while renegotiating";

        // The frame tap sits before the scaler: snapshots keep the decoded size.
        const std::string path = dir_->file("snap" + std::to_string(++snapshot) + ".bmp");
        g.RequestBmpSnapshot(path);
        for (int waited = 0; waited < 2000 && !std::filesystem::exists(path); waited += 20)
            std::this_thread::sleep_for(20ms);
        const std::vector<uint8_t> bmp = ReadFile(path);
        ASSERT_EQ(bmp.size(), 54u + 640u * 480u * 3u);
        EXPECT_EQ(bmp[18] | bmp[19] << 8, 640);
        EXPECT_EQ(bmp[22] | bmp[23] << 8, 480);
    }
    EXPECT_EQ(g.grabbedMediaType().width, 640);
    EXPECT_EQ(g.grabbedMediaType().height, 480);
    g.Destroy();
}

TEST(VideoFrameLayout, RefusesABufferTooSmallForItsRows)
{
    struct Row {
        const char* name;
        FramePixels pixels;
        int width, height, stride;
        size_t bytes;
        bool valid;
    };
    for (const Row& row : {
             Row{"BGRx, exact", FramePixels::Bgrx, 328, 244, 1312, 1312 * 244, true},
             Row{"BGRx, padded rows", FramePixels::Bgrx, 328, 244, 1320, 1320 * 244, true},
             Row{"BGRx, one byte short", FramePixels::Bgrx, 328, 244, 1312, 1312 * 244 - 1, false},
             Row{"BGRx, rows narrower than the pixels", FramePixels::Bgrx, 328, 244, 984, 1312 * 244, false},
             Row{"RGB, rows of 3 bytes a pixel", FramePixels::Rgb24, 657, 487, 1972, 1972 * 487, true},
             Row{"RGB, rows narrower than the pixels", FramePixels::Rgb24, 657, 487, 1970, 1972 * 487, false},
             Row{"no picture", FramePixels::Bgrx, 0, 0, 0, 16, false},
         }) {
        SCOPED_TRACE(row.name);
        const VideoFrame frame(std::make_shared<const std::vector<uint8_t>>(row.bytes), row.pixels, row.width,
                               row.height, row.stride);
        EXPECT_EQ(frame.valid(), row.valid);
        EXPECT_EQ(frame.pixels(), row.pixels);
    }
}

} // namespace
} // namespace vedra::test
