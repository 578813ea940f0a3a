// CDXGraph on channel files: render, transport, seeking, end of stream, decoder missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include "cdxgraph.h"
#include "engine_fixture.h"

namespace vedra::test {
namespace {

using namespace std::chrono_literals;

class ChannelGraphTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir();
        rec_ = new SplitRecording();
        ASSERT_TRUE(MakeSplitRecording(*dir_, "--channels 1,2 --size 352x288 --fps 10 --seconds 3 --gop 10", *rec_));
    }
    static void TearDownTestSuite()
    {
        delete rec_;
        delete dir_;
    }
    static TempDir* dir_;
    static SplitRecording* rec_;
};
TempDir* ChannelGraphTest::dir_ = nullptr;
SplitRecording* ChannelGraphTest::rec_ = nullptr;

TEST_F(ChannelGraphTest, RendersAndPlaysInRealTime)
{
    CDXGraph g;
    CountingFrameSink pane;
    ASSERT_TRUE(g.Create(nullptr));
    ASSERT_TRUE(g.RenderMediaFile(rec_->channel(1), true));
    EXPECT_TRUE(g.isContainerFile);
    EXPECT_EQ(g.vgaCount, 0);
    EXPECT_TRUE(g.IsStopped());
    EXPECT_TRUE(g.AttachToPane(&pane));
    const auto start = std::chrono::steady_clock::now();
    g.Run();
    EXPECT_TRUE(g.IsRunning());
    std::this_thread::sleep_for(1500ms);
    const double position = g.GetPositionSeconds();
    const int frames = pane.frames();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // 10 frames a second, delivered by the clock: neither stalled nor racing ahead.
    EXPECT_GT(frames, 8);
    EXPECT_LT(frames, static_cast<int>(elapsed * 10) + 3);
    EXPECT_GT(position, 0.8);
    EXPECT_LT(position, elapsed + 0.2);
    ASSERT_TRUE(pane.last());
    EXPECT_EQ(pane.last()->width(), 352);
    EXPECT_EQ(pane.last()->height(), 288);
    g.Pause();
    EXPECT_TRUE(g.IsPaused());
    g.Stop();
    EXPECT_TRUE(g.IsStopped());
    EXPECT_TRUE(g.Destroy());
    EXPECT_EQ(g.filePath, rec_->channel(1));
}

} // namespace
} // namespace vedra::test

namespace vedra::test {
namespace {

// The frame on screen at time t: the last frame starting at or before t
// (the first frame for times before it), by ffprobe's reading of the file.
double FrameShownAt(const std::vector<double>& times, double t)
{
    double shown = times.front();
    for (double f : times)
        if (f <= t + 1e-6)
            shown = f;
    return shown;
}

TEST_F(ChannelGraphTest, SeekShowsTheFrameAtTheWantedTime)
{
    const std::vector<double> times = FfprobeFrameTimes(rec_->channel(2));
    ASSERT_GT(times.size(), 20u);
    CDXGraph g;
    CountingFrameSink pane;
    ASSERT_TRUE(g.Create(nullptr));
    ASSERT_TRUE(g.RenderMediaFile(rec_->channel(2), true));
    g.AttachToPane(&pane);
    // Seeks made while stopped are applied when the graph starts.
    EXPECT_TRUE(g.SeekTo(1.25));
    EXPECT_DOUBLE_EQ(g.GetPositionSeconds(), 1.25);
    g.Pause();
    std::this_thread::sleep_for(200ms);
    ASSERT_TRUE(pane.last());
    EXPECT_NEAR(static_cast<double>(pane.last()->pts()) / GST_SECOND, FrameShownAt(times, 1.25), 0.001);

    struct Row {
        const char* name;
        double t;
    };
    for (const Row& row :
         {Row{"mid-gop", 2.35}, Row{"on a key frame", times[10]}, Row{"just after a key frame", times[10] + 0.01},
          Row{"backwards", 0.8}, Row{"before the first frame", 0.0}, Row{"last frame", times.back()}}) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(g.SeekTo(row.t));
        std::this_thread::sleep_for(150ms);
        EXPECT_NEAR(g.GetPositionSeconds(), row.t, 0.1);
        ASSERT_TRUE(pane.last());
        // The frame whose span holds t; a frame begun before t is shown from t on.
        const double shown = static_cast<double>(pane.last()->pts()) / GST_SECOND;
        EXPECT_GE(shown, FrameShownAt(times, row.t) - 0.001);
        EXPECT_LE(shown, std::max(row.t, times.front()) + 0.001);
    }
    // Playing on from a seek goes on from there.
    g.SeekTo(2.0);
    g.Run();
    std::this_thread::sleep_for(300ms);
    EXPECT_GT(g.GetPositionSeconds(), 2.1);
    EXPECT_LT(g.GetPositionSeconds(), 2.6);
    g.Destroy();
}

TEST_F(ChannelGraphTest, EndOfStreamPausesAtZeroAndNotifiesTheCallingThread)
{
    CDXGraph g;
    NotifyQueue notify;
    ASSERT_TRUE(g.Create(nullptr));
    ASSERT_TRUE(g.RenderMediaFile(rec_->channel(1), true));
    g.SetNotifyWindow(&notify, MsgGraphNotify, 0);
    EXPECT_EQ(g.HandleGraphEvents(), 1); // nothing queued yet
    g.SeekTo(2.5);
    g.Run();
    NotifyQueue::Message m{};
    ASSERT_TRUE(notify.Wait(m, 5000));
    EXPECT_EQ(m.msg, MsgGraphNotify);
    EXPECT_EQ(m.sender, 0);
    EXPECT_EQ(g.HandleGraphEvents(), 2);
    EXPECT_TRUE(g.IsPaused());
    EXPECT_NEAR(g.GetPositionSeconds(), 0.0, 0.001);
    EXPECT_EQ(g.HandleGraphEvents(), 1);
    // Played again from the start it ends again.
    g.Run();
    ASSERT_TRUE(notify.Wait(m, 8000));
    EXPECT_EQ(g.HandleGraphEvents(), 2);
    g.Destroy();
}

TEST_F(ChannelGraphTest, DurationComesFromTheHeader)
{
    CDXGraph g;
    ASSERT_TRUE(g.Create(nullptr));
    double d = -1;
    ASSERT_TRUE(g.RenderMediaFile(rec_->channel(1), true));
    ASSERT_TRUE(g.GetDurationSeconds(d));
    EXPECT_DOUBLE_EQ(d, g.headerDuration);
    EXPECT_GT(d, 2.0);
    EXPECT_LT(d, 5.0);
    g.Destroy();
    EXPECT_FALSE(g.GetDurationSeconds(d)); // no graph, no answer
}

TEST_F(ChannelGraphTest, GraphLifecycle)
{
    CDXGraph g;
    EXPECT_FALSE(g.RenderMediaFile(rec_->channel(1), true)); // Empty: nothing to render into
    EXPECT_FALSE(g.AttachToPane(nullptr));
    EXPECT_FALSE(g.SeekTo(1.0));
    EXPECT_FALSE(g.IsRunning() || g.IsPaused() || g.IsStopped());
    g.Run(); // guarded: nothing happens
    ASSERT_TRUE(g.Create(nullptr));
    EXPECT_FALSE(g.Create(nullptr)); // the graph is kept
    ASSERT_TRUE(g.RenderMediaFile(rec_->channel(1), true));
    EXPECT_TRUE(g.Destroy());
    EXPECT_EQ(g.filePath, rec_->channel(1));
    // Destroy then Create rebuilds the graph on the same file.
    ASSERT_TRUE(g.Create(nullptr));
    ASSERT_TRUE(g.RenderMediaFile(g.filePath, true));
    g.Pause();
    EXPECT_TRUE(g.IsPaused());
    g.Destroy();
    // A missing file fails without a message.
    MessageBoxRecorder boxes;
    ASSERT_TRUE(g.Create(nullptr));
    EXPECT_FALSE(g.RenderMediaFile(dir_->file("missing.krv"), true));
    EXPECT_TRUE(boxes.boxes().empty());
    g.Destroy();
}

TEST_F(ChannelGraphTest, AttachToNoPaneHidesThePicture)
{
    CDXGraph g;
    CountingFrameSink pane;
    ASSERT_TRUE(g.Create(nullptr));
    ASSERT_TRUE(g.RenderMediaFile(rec_->channel(1), true));
    g.AttachToPane(&pane);
    g.Run();
    std::this_thread::sleep_for(400ms);
    EXPECT_TRUE(g.AttachToPane(nullptr));
    EXPECT_EQ(pane.hides(), 1);
    const int frames = pane.frames();
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(pane.frames(), frames);
    g.Destroy();
}

// A missing decoder is reported to the caller, who shows the warning the hint picks.
TEST_F(ChannelGraphTest, MissingDecoderIsReportedWithTheWordingOfEachHint)
{
    struct Row {
        const char* name;
        bool reinstallHint;
        const char* text;
    };
    for (const Row& row :
         {Row{"loader", true, "It can't find any necessarity ffdshow codec, \nplease re-install the tools. "},
          Row{"first start", false,
              "It can't find any necessarity ffdshow codec, \nplease restart pc and run the tools again. "}}) {
        SCOPED_TRACE(row.name);
        MessageBoxRecorder boxes;
        CDXGraph g;
        g.videoDecoderFactory = "no_such_decoder_factory";
        ASSERT_TRUE(g.Create(nullptr));
        EXPECT_FALSE(g.RenderMediaFile(rec_->channel(1), row.reinstallHint));
        EXPECT_TRUE(g.decoderMissing());
        EXPECT_STREQ(CDXGraph::MissingDecoderText(row.reinstallHint), row.text);
        EXPECT_TRUE(boxes.boxes().empty()) << "the engine shows no box of its own";
        // A render that works clears the report.
        g.Destroy();
        g.videoDecoderFactory = CDXGraph::kVideoDecoderFactory;
        ASSERT_TRUE(g.Create(nullptr));
        EXPECT_TRUE(g.RenderMediaFile(rec_->channel(1), row.reinstallHint));
        EXPECT_FALSE(g.decoderMissing());
        g.Destroy();
    }
}

// A channel file is a container by the one rule for recording names: it ends in .krv or .asf, any case.
TEST_F(ChannelGraphTest, ContainerPathTestIsTheRecordingNameRule)
{
    struct Row {
        const char* name;
        const char* copyAs;
        bool container;
    };
    for (const Row& row : {Row{"krv inside the name", "a.krv.wav", false}, Row{"asf", "b.asf", true},
                           Row{"capitals", "C.KRV", true}, Row{"plain wav", "d.wav", false}}) {
        SCOPED_TRACE(row.name);
        const std::string path = dir_->file(row.copyAs);
        std::filesystem::copy_file(rec_->audio(), path, std::filesystem::copy_options::overwrite_existing);
        MessageBoxRecorder boxes;
        CDXGraph g;
        ASSERT_TRUE(g.Create(nullptr));
        g.RenderMediaFile(path, true);
        EXPECT_EQ(g.isContainerFile, row.container);
        EXPECT_EQ(g.vgaCount, 0);
        g.Destroy();
    }
}

TEST(ChannelGraphVga, CountsOnlyA640By480Picture)
{
    struct Row {
        const char* size;
        int vga;
    };
    for (const Row& row : {Row{"640x480", 1}, Row{"320x240", 0}, Row{"640x512", 0}}) {
        SCOPED_TRACE(row.size);
        TempDir dir;
        SplitRecording rec;
        ASSERT_TRUE(MakeSplitRecording(dir, std::string("--channels 2,4 --seconds 1 --size ") + row.size, rec));
        CDXGraph g;
        ASSERT_TRUE(g.Create(nullptr));
        ASSERT_TRUE(g.RenderMediaFile(rec.channel(2), true));
        EXPECT_EQ(g.vgaCount, row.vga);
        // Every render counts again from 0.
        g.Destroy();
        ASSERT_TRUE(g.Create(nullptr));
        ASSERT_TRUE(g.RenderMediaFile(rec.channel(4), true));
        EXPECT_EQ(g.vgaCount, row.vga);
        g.Destroy();
    }
}

TEST(ChannelGraphEmpty, AChannelThatNeverStartedDoesNotRender)
{
    TempDir dir;
    SplitRecording rec;
    ASSERT_TRUE(MakeSplitRecording(dir, "--channels 2,4 --seconds 1", rec));
    for (int n : {1, 3}) {
        SCOPED_TRACE(n);
        CDXGraph g;
        ASSERT_TRUE(g.Create(nullptr));
        EXPECT_FALSE(g.RenderMediaFile(rec.channel(n), true));
        EXPECT_EQ(g.vgaCount, 0);
        g.Destroy();
    }
}

TEST(ChannelGraphFallback, FilesOurReaderRefusesPlayThroughTheGenericAsfPath)
{
    TempDir dir;
    const std::string path = dir.file("other.asf");
    int status = 0;
    RunCommand("ffmpeg -loglevel error -y -f lavfi -i testsrc=size=176x144:rate=10:duration=1 -c:v mpeg4 -f asf '" +
                   path + "'",
               &status);
    ASSERT_EQ(status, 0);
    CDXGraph g;
    CountingFrameSink pane;
    ASSERT_TRUE(g.Create(nullptr));
    ASSERT_TRUE(g.RenderMediaFile(path, true));
    EXPECT_TRUE(g.isContainerFile);
    g.AttachToPane(&pane);
    g.Run();
    std::this_thread::sleep_for(500ms);
    EXPECT_GT(pane.frames(), 2);
    g.Destroy();
}

} // namespace
} // namespace vedra::test

namespace vedra::test {
namespace {

// Damage inside the packets of a channel file: the graph plays what it can or
// reports an error event; it never crashes or hangs.
TEST(ChannelGraphDamage, DamagedPacketsNeverCrash)
{
    TempDir dir;
    SplitRecording rec;
    ASSERT_TRUE(MakeSplitRecording(dir, "--channels 1 --size 176x144 --seconds 2 --big-keyframes", rec));
    const auto size = std::filesystem::file_size(rec.channel(1));
    struct Row {
        const char* name;
        double at; // where in the file, as a share of its size
        int length;
        uint8_t value;
    };
    const Row rows[] = {
        {"payload headers zeroed", 0.10, 64, 0x00},
        {"lengths maxed", 0.30, 200, 0xFF},
        {"middle of a frame", 0.55, 4000, 0x5A},
        {"near the end", 0.95, 300, 0xFF},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = dir.file(std::string("damaged-") + std::to_string(&row - rows) + ".krv");
        std::filesystem::copy_file(rec.channel(1), path);
        FILE* f = std::fopen(path.c_str(), "r+b");
        ASSERT_TRUE(f);
        std::fseek(f, static_cast<long>(static_cast<double>(size) * row.at), SEEK_SET);
        for (int i = 0; i < row.length; ++i)
            std::fputc(row.value, f);
        std::fclose(f);

        CDXGraph g;
        CountingFrameSink pane;
        NotifyQueue notify;
        ASSERT_TRUE(g.Create(nullptr));
        if (g.RenderMediaFile(path, true)) {
            g.SetNotifyWindow(&notify, MsgGraphNotify, 0);
            g.AttachToPane(&pane);
            g.Run();
            g.SeekTo(1.5);
            NotifyQueue::Message m{};
            notify.Wait(m, 4000);
            const int r = g.HandleGraphEvents();
            EXPECT_TRUE(r == 0 || r == 2 || r == 1);
        }
        g.Destroy();
    }
}

} // namespace
} // namespace vedra::test
