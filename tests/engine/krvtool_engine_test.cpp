// krvtool's engine commands end to end: play, snapshot, export on a 640 x 480
// recording with channels 2 and 4 only; the working folder never stays behind.
#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "engine_fixture.h"

namespace vedra::test {
namespace {

class KrvtoolEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        recording_ = dir_.file("vga.krv");
        ASSERT_TRUE(MakeRecording(recording_, "--channels 2,4 --size 640x480 --seconds 2"));
    }
    // Runs krvtool with its working folders under the test's own data folder.
    std::string Krvtool(const std::string& args, int* status, const std::string& env = {})
    {
        return RunCommand(env + "XDG_DATA_HOME='" + dir_.file("data") + "' " KRVTOOL_PATH " " + args + " 2>&1", status);
    }
    bool WorkRootEmpty()
    {
        const std::filesystem::path root = dir_.path() / "data" / "Vedra Media Player";
        return !std::filesystem::exists(root) || std::filesystem::is_empty(root);
    }
    TempDir dir_;
    std::string recording_;
};

TEST_F(KrvtoolEngineTest, PlayDeliversFramesOnEveryChannel)
{
    int status = -1;
    const std::string out = Krvtool("play '" + recording_ + "' --seconds 2", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("channel 2: "), std::string::npos) << out;
    EXPECT_NE(out.find("channel 4: "), std::string::npos) << out;
    EXPECT_NE(out.find("640 x 480"), std::string::npos) << out;
    EXPECT_EQ(out.find("channel 1:"), std::string::npos) << out;
    EXPECT_NE(out.find("2 s:"), std::string::npos) << out;
    EXPECT_TRUE(WorkRootEmpty());
}

TEST_F(KrvtoolEngineTest, SnapshotWritesThePictureOfTheChannel)
{
    struct Row {
        const char* name;
        const char* args;
        const char* file;
        int status;
    };
    const Row rows[] = {
        {"jpeg", "--channel 4 --at 1.5", "a.jpg", 0},
        {"bmp", "--channel 2 --at 0.8 --format bmp", "b.bmp", 0},
        {"absent channel", "--channel 1 --at 1", "c.jpg", 1},
        {"after the end", "--channel 2 --at 60", "d.jpg", 1},
        {"bad format", "--channel 2 --at 1 --format png", "e.png", 2},
        {"offset as a clock", "--channel 2 --at 00:00:01.200", "f.jpg", 0},
        {"time of day", "--channel 4 --at @00:00:02Z", "g.jpg", 0},
        {"time of day outside", "--channel 4 --at @00:10:00Z", "h.jpg", 2},
        {"negative", "--channel 4 --at -1", "i.jpg", 2},
        {"missing value", "--channel 4 --at", "j.jpg", 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        int status = -1;
        const std::string path = dir_.file(row.file);
        const std::string out = Krvtool("snapshot '" + recording_ + "' " + row.args + " '" + path + "'", &status);
        EXPECT_EQ(WEXITSTATUS(status), row.status) << out;
        EXPECT_EQ(std::filesystem::exists(path), row.status == 0);
        if (row.status == 0) {
            QImage image(QString::fromStdString(path));
            EXPECT_EQ(image.size(), QSize(640, 480));
        }
        EXPECT_TRUE(WorkRootEmpty());
    }
}

TEST_F(KrvtoolEngineTest, ExportWritesOneAviPerChannelWithChecksums)
{
    int status = -1;
    const std::string outdir = dir_.file("avi");
    const std::string out = Krvtool("export '" + recording_ + "' '" + outdir + "'", &status);
    EXPECT_EQ(status, 0) << out;
    int files = 0;
    for (const auto& f : std::filesystem::directory_iterator(outdir)) {
        if (f.path().extension() != ".avi")
            continue;
        ++files;
        EXPECT_EQ(
            RunCommand("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 '" + f.path().string() + "'"),
            "mpeg4\nadpcm_ms\n");
        EXPECT_TRUE(std::filesystem::exists(f.path().string() + ".sha256"));
        EXPECT_NE(out.find("File: " + f.path().string()), std::string::npos) << out;
    }
    EXPECT_EQ(files, 2);
    EXPECT_NE(out.find("Source: " + recording_), std::string::npos) << out;
    RunCommand("cd '" + outdir + "' && sha256sum -c *.sha256 >/dev/null 2>&1", &status);
    EXPECT_EQ(status, 0);
    const std::string none = Krvtool("export '" + recording_ + "' '" + outdir + "' --channels 3", &status);
    EXPECT_EQ(WEXITSTATUS(status), 1) << none;
    EXPECT_NE(none.find("channel 3 has no frames"), std::string::npos) << none;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(outdir), std::filesystem::directory_iterator()), 4)
        << "a failed export adds nothing";
    EXPECT_TRUE(WorkRootEmpty());
}

// The command line of the issue: one Matroska file with every camera and the
// audio, from a range given as offsets, a time of day or seconds.
TEST_F(KrvtoolEngineTest, ExportRangeToOneFile)
{
    struct Row {
        const char* name;
        const char* args;
        int status;
        const char* inOutput;
    };
    const Row rows[] = {
        {"offsets", "--from 00:00:01.5 --to 00:00:02.5 --format mkv --single-file", 0, "Channels: 2, 4 and audio"},
        {"time of day", "--from @00:00:01.5Z --to 2026-01-02T00:00:02.5Z --format mp4 --single-file", 0,
         "Start: 00:00:00.000 (2026-01-02T00:00:01.000Z)"}, // offsets count from the first frame, at 1 s
        {"time of day outside", "--from @00:00:00.5Z", 2, "is not in this recording: 00:00:01.000Z to"},
        {"negative", "--from -0.9", 2, "--from: not a time"},
        {"empty", "--from ''", 2, "--from: empty time"},
        {"clock read as offset", "--from 00:30:00", 1,
         "was read as an offset from the start; a time of day is written @"},
        {"seconds, one channel", "--from 1.5 --to 2.5 --channels 4 --no-audio --format mkv", 0, "Channels: 4\n"},
        {"key frame before --from", "--from 1.5 --to 2.5", 0,
         "starts at its key frame at 00:00:01.000 (2026-01-02T00:00:02.000Z), before 00:00:01.500"},
        {"single avi", "--single-file", 2, "--single-file needs --format mkv or mp4"},
        {"bad format", "--format mov", 2, "bad value for --format"},
        {"bad time", "--from noon", 2, "--from: not a time"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        int status = -1;
        const std::string outdir = dir_.file(row.name);
        const std::string out = Krvtool("export '" + recording_ + "' '" + outdir + "' " + row.args, &status);
        EXPECT_EQ(WEXITSTATUS(status), row.status) << out;
        EXPECT_NE(out.find(row.inOutput), std::string::npos) << out;
        EXPECT_EQ(out.find(" @ 0x"), std::string::npos) << "libav's own log: " << out;
        if (row.status != 0)
            continue;
        RunCommand("cd '" + outdir + "' && sha256sum -c *.sha256 >/dev/null 2>&1", &status);
        EXPECT_EQ(status, 0);
    }
}

// kill -9 as the Nth file is about to take its name (strace kills at the Nth
// move of the commit), a file size limit and a manifest that cannot be
// written: the folder then holds the whole export under its names, or none of
// it once the next export into it has run, and nothing hidden.
TEST_F(KrvtoolEngineTest, ExportIsWholeOrNothing)
{
    if (RunCommand("strace -V >/dev/null 2>&1; echo $?") != "0\n")
        GTEST_SKIP() << "strace is missing";
    const std::string rec = "'" + recording_ + "'";
    auto entries = [](const std::string& folder) {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(folder, ec))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    int status = -1;
    Krvtool("export " + rec + " '" + dir_.file("whole") + "' --channels 4", &status);
    ASSERT_EQ(status, 0);
    const std::vector<std::string> next = entries(dir_.file("whole"));
    ASSERT_EQ(next.size(), 2u);
    for (int n = 1; n <= 4; ++n) { // two files, each with its checksum
        SCOPED_TRACE(n);
        const std::string outdir = dir_.file("killed" + std::to_string(n));
        const std::string out = Krvtool(
            "export " + rec + " '" + outdir + "'", &status,
            "strace -f -o /dev/null -e trace=renameat2 -e inject=renameat2:signal=KILL:when=" + std::to_string(n) +
                " ");
        EXPECT_NE(status, 0) << out;
        Krvtool("export " + rec + " '" + outdir + "' --channels 4", &status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(entries(outdir), next);
    }
    struct Row {
        const char* name;
        const char* wrap; // the command line around krvtool's: {} stands for it
        const char* inOutput;
        bool filesStay;
    };
    const Row rows[] = {
        {"file size limit", "prlimit --fsize=30000 {}", "File too large", false},
        {"manifest to a full disk", "{} >/dev/full", "cannot write the output: No space left on device", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string outdir = dir_.file(row.name);
        std::string command = row.wrap;
        command.replace(command.find("{}"), 2, KRVTOOL_PATH " export " + rec + " '" + outdir + "' 2>&1");
        const std::string out = RunCommand(command, &status);
        EXPECT_EQ(WEXITSTATUS(status), 1) << out;
        EXPECT_NE(out.find(row.inOutput), std::string::npos) << out;
        EXPECT_EQ(entries(outdir).size(), row.filesStay ? 4u : 0u);
    }
}

TEST_F(KrvtoolEngineTest, DamagedRecordingsGiveTheSystemsMessageAndLeaveNoFolder)
{
    struct Row {
        const char* damage;
        const char* message;
    };
    for (const Row& row : {Row{"bad-packet-size", "The KRV File Parse Error (KRV_ERROR_INVALID_PACKET_SIZE)....."}}) {
        SCOPED_TRACE(row.damage);
        const std::string bad = dir_.file(std::string(row.damage) + ".krv");
        ASSERT_TRUE(MakeRecording(bad, std::string("--seconds 2 --damage ") + row.damage));
        for (const std::string& command :
             {"play '" + bad + "' --seconds 1", "export '" + bad + "' '" + dir_.file("x") + "'",
              "snapshot '" + bad + "' --channel 1 --at 0.5 '" + dir_.file("x.jpg") + "'"}) {
            SCOPED_TRACE(command);
            int status = -1;
            const std::string out = Krvtool(command, &status);
            EXPECT_EQ(WEXITSTATUS(status), 1) << out;
            EXPECT_NE(out.find(row.message), std::string::npos) << out;
            EXPECT_TRUE(WorkRootEmpty());
        }
    }
}

// Without the system's GStreamer plugins the video decoder is missing: the
// commands say so with the decoder warning, not only that nothing plays.
TEST_F(KrvtoolEngineTest, MissingDecoderIsNamed)
{
    const std::string noPlugins = "GST_REGISTRY='" + dir_.file("empty-registry.bin") +
                                  "' GST_PLUGIN_SYSTEM_PATH_1_0='" + dir_.file("no-plugins") + "' ";
    for (const std::string& command :
         {"play '" + recording_ + "' --seconds 1",
          "snapshot '" + recording_ + "' --channel 2 --at 0.5 '" + dir_.file("x.jpg") + "'"}) {
        SCOPED_TRACE(command);
        int status = -1;
        const std::string out = Krvtool(command, &status, noPlugins);
        EXPECT_EQ(WEXITSTATUS(status), 1) << out;
        EXPECT_NE(
            out.find("channel 2 cannot be played: It can't find any necessarity ffdshow codec, please re-install"),
            std::string::npos)
            << out;
        EXPECT_TRUE(WorkRootEmpty());
    }
}

// A recording cut short plays every channel up to the cut, after the message.
TEST_F(KrvtoolEngineTest, CutShortRecordingPlaysToTheCut)
{
    const std::string cut = dir_.file("cut.krv");
    ASSERT_TRUE(MakeRecording(cut, "--seconds 3 --damage truncated"));
    int status = -1;
    const std::string out = Krvtool("play '" + cut + "' --seconds 1", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("The KRV File Parse Error (KRV_ERROR_EOF)....."), std::string::npos) << out;
    for (const char* channel : {"channel 1: ", "channel 2: ", "channel 3: ", "channel 4: "})
        EXPECT_NE(out.find(channel), std::string::npos) << out;
    EXPECT_TRUE(WorkRootEmpty());
}

} // namespace
} // namespace vedra::test
