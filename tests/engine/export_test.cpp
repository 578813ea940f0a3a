// AVI export by stream copy: ffprobe reads what was written; failures complete too.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "avi_remux.h"
#include "engine_fixture.h"
#include "export_job.h"

namespace vedra::test {
namespace {

struct Probe {
    std::string codecs; // "codec_name,codec_type" lines
    int videoFrames = 0;
};

Probe ProbeFile(const std::string& path)
{
    Probe p;
    p.codecs = RunCommand("ffprobe -v error -show_entries stream=codec_type,codec_name -of csv=p=0 '" + path + "'");
    p.videoFrames = static_cast<int>(FfprobeFrameTimes(path).size());
    return p;
}

// Runs one export to its end the way the dialog does: wait for the notification,
// then the completion check.
int RunExport(ExportJob& job, NotifyQueue& notify, const std::string& channel, const std::string& audio)
{
    EXPECT_TRUE(ExportStep(audio, &notify, job, channel));
    // In this order: the check may end the job, on a fast copy even at once.
    const bool finished = CheckExportCompletion(job) == 2;
    EXPECT_EQ(finished, !job.running);
    NotifyQueue::Message m{};
    if (!notify.Wait(m, 20000))
        return -1;
    EXPECT_EQ(m.msg, MsgGraphNotify);
    EXPECT_EQ(m.sender, kExportNotifyParam);
    return finished ? 2 : CheckExportCompletion(job);
}

class ExportTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir();
        rec_ = new SplitRecording();
        ASSERT_TRUE(MakeSplitRecording(*dir_, "--channels 1,3 --size 352x288 --seconds 3", *rec_));
    }
    static void TearDownTestSuite()
    {
        delete rec_;
        delete dir_;
    }
    static TempDir* dir_;
    static SplitRecording* rec_;
};
TempDir* ExportTest::dir_ = nullptr;
SplitRecording* ExportTest::rec_ = nullptr;

TEST_F(ExportTest, ChannelAndAudioGoIntoOneAviFile)
{
    struct Row {
        const char* name;
        bool withAudio;
        const char* codecs;
    };
    for (const Row& row :
         {Row{"with audio", true, "mpeg4,video\nadpcm_ms,audio\n"}, Row{"audio off", false, "mpeg4,video\n"}}) {
        SCOPED_TRACE(row.name);
        TempDir out;
        ExportJob job;
        job.outputFolder = out.path().string() + "/";
        NotifyQueue notify;
        ASSERT_EQ(RunExport(job, notify, rec_->channel(1), row.withAudio ? rec_->audio() : ""), 2);
        EXPECT_TRUE(job.lastSucceeded) << job.lastError;
        EXPECT_FALSE(job.running);
        ASSERT_TRUE(std::filesystem::exists(job.lastOutputPath));
        EXPECT_EQ(std::filesystem::path(job.lastOutputPath).parent_path(), out.path());
        EXPECT_EQ(std::filesystem::path(job.lastOutputPath).extension(), ".avi");
        EXPECT_EQ(std::filesystem::path(job.lastOutputPath).stem().string().size(), 14u); // YYYYMMDDhhmmss
        const Probe p = ProbeFile(job.lastOutputPath);
        EXPECT_EQ(p.codecs, row.codecs);
        // Stream copy: the same frames, in the same order, at their times (from 0 on).
        const std::vector<double> in = FfprobeFrameTimes(rec_->channel(1));
        const std::vector<double> outTimes = FfprobeFrameTimes(job.lastOutputPath);
        EXPECT_EQ(p.videoFrames, static_cast<int>(in.size()));
        ASSERT_EQ(outTimes.size(), in.size());
        for (size_t i = 0; i < in.size(); ++i)
            EXPECT_NEAR(outTimes[i], in[i] - in.front(), 0.051) << i;
        const std::string crcIn = RunCommand("ffmpeg -v error -i '" + rec_->channel(1) +
                                             "' -map 0:v -c copy -f framecrc - | grep -v '^#' | cut -d, -f5,6");
        const std::string crcOut = RunCommand("ffmpeg -v error -i '" + job.lastOutputPath +
                                              "' -map 0:v -c copy -f framecrc - | grep -v '^#' | cut -d, -f5,6");
        EXPECT_EQ(crcIn, crcOut);
        if (row.withAudio) {
            const std::string aIn = RunCommand("ffmpeg -v error -i '" + rec_->audio() + "' -c copy -f md5 -");
            const std::string aOut =
                RunCommand("ffmpeg -v error -i '" + job.lastOutputPath + "' -map 0:a -c copy -f md5 -");
            EXPECT_EQ(aIn, aOut);
        }
    }
}

TEST_F(ExportTest, ChainedChannelsGiveOneFileEach)
{
    TempDir out;
    ExportJob job;
    job.outputFolder = out.path().string() + "/";
    NotifyQueue notify;
    std::vector<std::string> written;
    for (int channel : {1, 3}) {
        ASSERT_EQ(RunExport(job, notify, rec_->channel(channel), rec_->audio()), 2);
        EXPECT_TRUE(job.lastSucceeded) << job.lastError;
        written.push_back(job.lastOutputPath);
    }
    ASSERT_EQ(written.size(), 2u);
    EXPECT_NE(written[0], written[1]); // even within one second
    for (const auto& f : written)
        EXPECT_EQ(ProbeFile(f).codecs, "mpeg4,video\nadpcm_ms,audio\n");
}

// A link planted in the folder under the file's name or its temporary name is
// never written through: the export fails on a taken name and leaves the
// link's target as it was, and nothing of it stays.
TEST_F(ExportTest, LinksInTheFolderAreNeverWrittenThrough)
{
    TempDir out;
    const std::filesystem::path target = out.path() / "target";
    std::ofstream(target) << "root only";
    const std::filesystem::path folder = out.path() / "shared";
    std::filesystem::create_directories(folder);
    std::filesystem::create_symlink(target, folder / "taken.avi");
    std::filesystem::create_symlink(target, folder / "free.avi.part");
    struct Row {
        const char* name;
        bool succeeds;
    };
    for (const Row& row : {Row{"taken", false}, Row{"free", true}}) {
        SCOPED_TRACE(row.name);
        std::string error;
        const std::string path = (folder / (std::string(row.name) + ".avi")).string();
        EXPECT_EQ(RemuxToAvi(rec_->channel(1), rec_->audio(), path, error), row.succeeds) << error;
        EXPECT_EQ(RunCommand("cat '" + target.string() + "'"), "root only");
        EXPECT_EQ(std::filesystem::is_symlink(path), !row.succeeds);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 3)
        << "the two links and the one file";
}

TEST_F(ExportTest, FailedExportCompletesAndLeavesNoFile)
{
    struct Row {
        const char* name;
        std::string folder;
        std::string channel;
        std::string audio;
    };
    TempDir out;
    const std::string folder = out.path().string() + "/";
    const Row rows[] = {
        {"missing channel file", folder, dir_->file("missing.krv"), ""},
        {"audio file is no audio", folder, rec_->channel(1), dir_->file("missing.wav")},
        {"folder missing", out.path().string() + "/no/such/", rec_->channel(1), rec_->audio()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ExportJob job;
        job.outputFolder = row.folder;
        NotifyQueue notify;
        EXPECT_EQ(RunExport(job, notify, row.channel, row.audio), 2);
        EXPECT_FALSE(job.lastSucceeded);
        EXPECT_FALSE(job.lastError.empty());
        EXPECT_TRUE(std::filesystem::is_empty(out.path()));
    }
}

TEST(ExportCompletion, IdleJobReportsNotFinished)
{
    ExportJob job;
    EXPECT_EQ(CheckExportCompletion(job), 1);
}

} // namespace
} // namespace vedra::test
