// krvtool export as a user runs it, on recordings with the recorder's timing
// (packets sent ahead of their frames by the preroll), judged by an oracle
// that shares none of our code: ffmpeg's framemd5 of every exported track
// against krvsynth's own frame list. Each camera holds every frame from its
// key frame at or before --from to its last frame before --to, byte for byte;
// offsets count from the first frame of any camera.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>

#include "engine_fixture.h"

namespace vedra::test {
namespace {

namespace fs = std::filesystem;

struct ExactRow {
    const char* name;
    const char* synth; // krvsynth options
    std::vector<int> channels;
    const char* from; // krvtool's --from and --to as a user writes them; null: none
    const char* to;
    bool singleFile;
};

void PrintTo(const ExactRow& row, std::ostream* os)
{
    *os << row.name;
}

// An offset as krvtool reads it ("12.5" or "00:00:12.500") in ms; -1 for none.
long OffsetMs(const char* text)
{
    if (!text)
        return -1;
    std::cmatch m;
    if (std::regex_match(text, m, std::regex(R"((\d+):(\d+):(\d+)(\.\d+)?)")))
        return ((std::stol(m[1]) * 60 + std::stol(m[2])) * 60 + std::stol(m[3])) * 1000 +
               (m[4].matched ? std::lround(std::stod(m[4]) * 1000) : 0);
    return std::lround(std::stod(text) * 1000);
}

class ExportExact : public ::testing::TestWithParam<ExactRow> {
protected:
    TempDir dir_;
};

TEST_P(ExportExact, EveryFrameOfTheRangeByteForByte)
{
    const ExactRow& row = GetParam();
    const std::string rec = dir_.file("rec.krv");
    const fs::path dump = dir_.path() / "dump";
    ASSERT_TRUE(MakeRecording(rec, std::string(row.synth) + " --dump-dir '" + dump.string() + "'"));

    std::map<int, std::vector<DumpFrame>> frames;
    long origin = -1; // the counter's 0: the first frame of any camera
    for (int c : row.channels) {
        frames[c] = ReadDump(dump / ("ch" + std::to_string(c) + ".txt"));
        ASSERT_FALSE(frames[c].empty());
        origin = origin < 0 ? frames[c].front().ms : std::min(origin, frames[c].front().ms);
    }
    const long from = row.from ? origin + OffsetMs(row.from) : origin;
    const long to = row.to ? origin + OffsetMs(row.to) : std::numeric_limits<long>::max();

    const fs::path out = dir_.path() / "out";
    std::string args = "export '" + rec + "' '" + out.string() + "' --format mkv --no-audio";
    if (row.from)
        args += std::string(" --from ") + row.from;
    if (row.to)
        args += std::string(" --to ") + row.to;
    if (row.singleFile)
        args += " --single-file";
    int status = -1;
    const std::string said =
        RunCommand("XDG_DATA_HOME='" + dir_.file("data") + "' " KRVTOOL_PATH " " + args + " 2>&1", &status);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << said;

    std::vector<fs::path> media;
    for (const auto& e : fs::directory_iterator(out))
        if (e.path().extension() == ".mkv")
            media.push_back(e.path());
    std::sort(media.begin(), media.end());
    ASSERT_EQ(media.size(), row.singleFile ? 1u : row.channels.size()) << said;
    RunCommand("cd '" + out.string() + "' && sha256sum -c --quiet *.sha256", &status);
    EXPECT_EQ(status, 0) << "the checksums verify";

    size_t track = 0;
    for (size_t i = 0; i < row.channels.size(); ++i) {
        const int c = row.channels[i];
        SCOPED_TRACE("channel " + std::to_string(c));
        long start = -1;
        for (const DumpFrame& f : frames[c])
            if (f.key && f.ms <= from)
                start = f.ms;
        for (const DumpFrame& f : frames[c])
            if (start < 0 && f.key && f.ms > from && f.ms < to)
                start = f.ms; // a camera that starts inside the range starts at its first key frame
        std::vector<std::string> want;
        for (const DumpFrame& f : frames[c])
            if (f.ms >= start && f.ms < to)
                want.push_back(f.md5);
        const std::string file = (row.singleFile ? media[0] : media[i]).string();
        const std::vector<std::string> got = FrameMd5s(file, row.singleFile ? int(track++) : 0);
        EXPECT_EQ(got.size(), want.size()) << "frames exported against expected";
        std::printf("%s, channel %d: %zu of %zu frames exported\n", row.name, c, got.size(), want.size());
        EXPECT_EQ(got, want);
        EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + file + "' -f null - 2>&1"), "") << "it decodes";
    }
}

// A camera with frames in the range but no key frame to start from would give
// a file nothing plays: the export fails, names the camera and writes nothing.
TEST(ExportExactRefusals, ACameraWithoutAKeyFrameFailsAndNamesIt)
{
    TempDir dir;
    const std::string rec = dir.file("late.krv");
    ASSERT_TRUE(MakeRecording(rec, "--channels 1,3 --late-start 3:35 --seconds 6"));
    for (const char* channels : {"", " --channels 3"}) {
        SCOPED_TRACE(channels);
        int status = -1;
        const std::string said = RunCommand("XDG_DATA_HOME='" + dir.file("data") + "' " KRVTOOL_PATH " export '" + rec +
                                                "' '" + dir.file("out") + "' --to 3 --format mkv" + channels + " 2>&1",
                                            &status);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << said;
        EXPECT_NE(said.find("channel 3 has no key frame to start from in the range"), std::string::npos) << said;
        EXPECT_TRUE(!fs::exists(dir.file("out")) || fs::is_empty(dir.file("out"))) << "nothing is written";
    }
}

// The recorder writes a 3000 ms preroll; krvsynth's default. Frames at 25 fps
// are 40 ms apart, so a one-frame range is 1 ms long.
INSTANTIATE_TEST_SUITE_P(
    Rows, ExportExact,
    ::testing::Values(
        ExactRow{
            "wholeTwoVgaCameras", "--channels 1,2 --size 640x480 --fps 25 --seconds 8", {1, 2}, nullptr, nullptr, true},
        ExactRow{"wholePreroll0", "--channels 1,2 --preroll 0 --seconds 4", {1, 2}, nullptr, nullptr, false},
        ExactRow{"wholeTwoSecondRecording", "--seconds 2", {1, 2, 3, 4}, nullptr, nullptr, true},
        ExactRow{"oneFrame", "--channels 1 --fps 25 --gop 25 --seconds 6", {1}, "3.2", "3.201", false},
        ExactRow{"oneSecond", "--channels 1,3 --seconds 6", {1, 3}, "2.35", "3.35", true},
        ExactRow{"twoSecondsShorterThanThePreroll",
                 "--size 640x480 --fps 25 --seconds 8",
                 {1, 2, 3, 4},
                 "00:00:03",
                 "00:00:05",
                 true},
        ExactRow{"theStart", "--channels 2 --seconds 6", {2}, "0", "1", false},
        ExactRow{"theEnd", "--channels 1,4 --seconds 6", {1, 4}, "4.5", nullptr, false},
        ExactRow{"acrossAKeyFrame", "--channels 1 --fps 25 --gop 12 --seconds 6", {1}, "1.9", "2.5", false},
        ExactRow{"gop25Cif", "--channels 1,2 --size 352x288 --fps 25 --gop 25 --seconds 6", {1, 2}, "1.1", "3.3", true},
        ExactRow{"preroll0Range", "--channels 1 --preroll 0 --seconds 6", {1}, "2", "4", false},
        ExactRow{"lateCamera", "--channels 1,3 --late-start 3:23 --seconds 6", {1, 3}, "1", "4", true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace vedra::test
