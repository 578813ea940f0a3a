// One time for every frame, whoever reads it: krvsynth's own list (the
// oracle), the range reader, the split's channel files put back on the
// recording's timeline, and the facts of info --json; and the counter's 0 that
// offsets count from is where the split starts its files.
#include <gtest/gtest.h>

#include <algorithm>

#include "krv/krv_data_packets.h"
#include "krv/krv_facts.h"
#include "krv/krv_range_reader.h"
#include "krv/krv_recording.h"
#include "krv/krv_splitter.h"
#include "krv/krv_timeline.h"
#include "split_fixture.h"

using namespace krvtest;

namespace {

struct AgreeRow {
    const char* name;
    const char* synth;
};

void PrintTo(const AgreeRow& row, std::ostream* os)
{
    *os << row.name;
}

class FrameTimes : public ::testing::TestWithParam<AgreeRow> {};

} // namespace

TEST_P(FrameTimes, AgreeForEveryFrame)
{
    const AgreeRow& row = GetParam();
    const SynthRecording s = synthesizeWithDump(std::string("agree_") + row.name, row.synth);
    ASSERT_EQ(s.synth.status, 0) << s.synth.out;
    std::vector<SynthFrame> want[4];
    long first = -1, last = -1;
    for (int c = 0; c < 4; ++c) {
        want[c] = readSynthFrames(s.dump / ("ch" + std::to_string(c + 1) + ".txt"));
        if (want[c].empty())
            continue;
        first = first < 0 ? want[c].front().ms : std::min(first, want[c].front().ms);
        last = std::max(last, want[c].back().ms);
    }
    ASSERT_GE(first, 0);
    const uint64_t size = std::filesystem::file_size(s.path);

    KrvFilePtr file;
    ASSERT_EQ(krv_open_recording(s.path.string(), file), 1);
    KrvTimeline timeline;
    ASSERT_EQ(krv_read_timeline(file.get(), size, timeline), 1);
    EXPECT_TRUE(timeline.hasMedia);
    EXPECT_EQ(timeline.originMs, uint32_t(first)) << "the counter's 0 is the first frame";
    EXPECT_GE(timeline.lastMs, uint32_t(last));
    EXPECT_LE(timeline.lastMs, uint32_t(last) + 1000);

    // The range reader over the whole recording.
    KrvRangeReader reader(file.get(), size);
    ASSERT_EQ(reader.seek({}), 1);
    std::vector<uint32_t> ranged[4];
    KrvRangeObject o;
    while (reader.next(o) > 0)
        if (o.channel > 0)
            ranged[o.channel - 1].push_back(o.time);

    // The facts walk.
    KrvFilePtr again;
    ASSERT_EQ(krv_open_recording(s.path.string(), again), 1);
    KrvFacts facts;
    ASSERT_EQ(krv_gather_facts(again.get(), size, facts), 1);

    // The split's files, each put where its time 0 lies.
    KrvFilePtr splitting;
    ASSERT_EQ(krv_open_recording(s.path.string(), splitting), 1);
    KrvSplitFiles written;
    std::filesystem::create_directories(s.work / "split");
    ASSERT_EQ(krv_split(splitting.get(), (s.work / "split").string(), {}, nullptr, &written), 1);
    EXPECT_EQ(written.startMs, timeline.originMs) << "the split starts its files at the counter's 0";

    for (int c = 0; c < 4; ++c) {
        SCOPED_TRACE("channel " + std::to_string(c + 1));
        std::vector<uint32_t> expected;
        for (const SynthFrame& f : want[c])
            expected.push_back(uint32_t(f.ms));
        EXPECT_EQ(ranged[c], expected) << "the range reader";
        EXPECT_EQ(facts.channels[c].present, !expected.empty());
        const KrvSplitFile* split = krv_split_file(written, size_t(c + 1));
        ASSERT_TRUE(split);
        if (expected.empty())
            continue;
        // The facts count the predicted frames before a late camera's first key frame too.
        EXPECT_GE(facts.channels[c].frames, expected.size());
        EXPECT_LE(facts.channels[c].firstMs, expected.front());
        EXPECT_EQ(facts.channels[c].lastMs, expected.back());
        std::vector<uint32_t> fromFile;
        for (const ChannelObject& f : readChannel(split->path).objects)
            if (f.stream != 1)
                fromFile.push_back(uint32_t(int64_t(f.time) + split->offsetMs + written.startMs));
        EXPECT_EQ(fromFile, expected) << "the channel file on the recording's timeline";
    }
    if (!HasFailure())
        std::filesystem::remove_all(s.work);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FrameTimes,
    ::testing::Values(AgreeRow{"preroll3000", "--seconds 4"}, AgreeRow{"preroll0", "--seconds 4 --preroll 0"},
                      AgreeRow{"lateCameraAndLateStart", "--seconds 4 --late-start 2:13 --start-ms 2500"},
                      AgreeRow{"vga25fpsGop12", "--channels 1,3 --size 640x480 --fps 25 --gop 12 --seconds 5"},
                      AgreeRow{"bigKeyFrames", "--channels 2 --big-keyframes --seconds 3"}),
    [](const auto& info) { return std::string(info.param.name); });
