// CDXGraph on the audio file: MS ADPCM through the default sink (a clock-synchronised
// fake sink on machines without audio), duration from the pipeline, volume, events.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "audio_devices.h"
#include "cdxgraph.h"
#include "engine_fixture.h"

namespace vedra::test {
namespace {

using namespace std::chrono_literals;

class AudioGraphTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir();
        rec_ = new SplitRecording();
        ASSERT_TRUE(MakeSplitRecording(*dir_, "--channels 1 --size 176x144 --seconds 3", *rec_));
    }
    static void TearDownTestSuite()
    {
        delete rec_;
        delete dir_;
    }
    static TempDir* dir_;
    static SplitRecording* rec_;
};
TempDir* AudioGraphTest::dir_ = nullptr;
SplitRecording* AudioGraphTest::rec_ = nullptr;

double FfprobeDuration(const std::string& path)
{
    return std::atof(RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + path + "'").c_str());
}

TEST_F(AudioGraphTest, RendersWithDurationFromThePipeline)
{
    CDXGraph g;
    ASSERT_TRUE(g.Create(nullptr));
    ASSERT_TRUE(g.RenderMediaFile(rec_->audio(), true));
    EXPECT_FALSE(g.isContainerFile);
    EXPECT_EQ(g.vgaCount, 0);
    double d = 0;
    ASSERT_TRUE(g.GetDurationSeconds(d));
    EXPECT_NEAR(d, FfprobeDuration(rec_->audio()), 0.05);
    EXPECT_DOUBLE_EQ(g.headerDuration, d); // kept for later calls
    // A graph with no video still takes (and ignores) a pane.
    EXPECT_TRUE(g.AttachToPane(nullptr));
    g.Destroy();
}

TEST_F(AudioGraphTest, PlaysInRealTime)
{
    CDXGraph g;
    ASSERT_TRUE(g.Create(nullptr));
    ASSERT_TRUE(g.RenderMediaFile(rec_->audio(), true));
    const auto start = std::chrono::steady_clock::now();
    g.Run();
    std::this_thread::sleep_for(1000ms);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(g.IsRunning());
    EXPECT_GT(g.GetPositionSeconds(), 0.6);
    EXPECT_LT(g.GetPositionSeconds(), elapsed + 0.1);
    g.Pause();
    const double paused = g.GetPositionSeconds();
    std::this_thread::sleep_for(300ms);
    EXPECT_NEAR(g.GetPositionSeconds(), paused, 0.02);
    // Stop keeps the place; SeekTo while stopped moves it.
    g.Stop();
    EXPECT_TRUE(g.IsStopped());
    EXPECT_TRUE(g.SeekTo(0.5));
    EXPECT_DOUBLE_EQ(g.GetPositionSeconds(), 0.5);
    g.Pause();
    EXPECT_NEAR(g.GetPositionSeconds(), 0.5, 0.05);
    g.Destroy();
}

TEST_F(AudioGraphTest, EndOfStreamGivesTwo)
{
    CDXGraph g;
    NotifyQueue notify;
    ASSERT_TRUE(g.Create(nullptr));
    ASSERT_TRUE(g.RenderMediaFile(rec_->audio(), true));
    g.SetNotifyWindow(&notify, MsgGraphNotify, 42);
    double d = 0;
    ASSERT_TRUE(g.GetDurationSeconds(d));
    // The last 0.6 s take 0.6 s: the audio runs on the recording's clock.
    g.SeekTo(d - 0.6);
    const auto start = std::chrono::steady_clock::now();
    g.Run();
    NotifyQueue::Message m{};
    ASSERT_TRUE(notify.Wait(m, 5000));
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(took, 0.45);
    EXPECT_LT(took, 2.5); // generous: a loaded machine may start late, never early
    EXPECT_EQ(m.sender, 42);
    EXPECT_EQ(g.HandleGraphEvents(), 2);
    EXPECT_TRUE(g.IsPaused());
    EXPECT_NEAR(g.GetPositionSeconds(), 0.0, 0.05);
    g.Destroy();
}

TEST_F(AudioGraphTest, VolumeIsKeptInHundredthsOfADecibel)
{
    CDXGraph g;
    ASSERT_TRUE(g.Create(nullptr));
    ASSERT_TRUE(g.RenderMediaFile(rec_->audio(), true));
    struct Row {
        const char* name;
        int32_t set;
        int32_t expect;
    };
    for (const Row& row : {Row{"full", 0, 0}, Row{"-20 dB", -2000, -2000}, Row{"silence", -10000, -10000},
                           Row{"above full refused", 100, -10000}, Row{"below silence refused", -10001, -10000},
                           Row{"back to half", -600, -600}}) {
        SCOPED_TRACE(row.name);
        g.SetVolume(row.set);
        EXPECT_EQ(g.GetVolume(), row.expect);
    }
    g.Destroy();
}

TEST_F(AudioGraphTest, DamagedAudioFileFailsToRender)
{
    const std::string path = dir_->file("broken.wav");
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fputs("RIFF\x10\x00\x00\x00WAVEjunkjunkjunk", f);
    std::fclose(f);
    CDXGraph g;
    ASSERT_TRUE(g.Create(nullptr));
    EXPECT_FALSE(g.RenderMediaFile(path, true));
    g.Destroy();
}

} // namespace
} // namespace vedra::test
