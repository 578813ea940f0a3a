// Facts of recordings against krvsynth's plan: frames, key frames, times and
// gaps per channel, the audio, and recordings cut short or damaged.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "krv/krv_data_packets.h"
#include "krv/krv_facts.h"
#include "split_fixture.h"

using namespace krvtest;

namespace {

struct FactsRow {
    const char* name;
    const char* synth;
    std::vector<int> channels;     // present
    std::map<int, int> leadFrames; // channel -> frames before its first key frame (not in the dump)
    std::vector<KrvGap> gaps;      // of channel 3
    double cutAt;                  // fraction of the file kept, 1: whole
    uint64_t damaged;
};

void PrintTo(const FactsRow& row, std::ostream* os)
{
    *os << row.name;
}

class Facts : public ::testing::TestWithParam<FactsRow> {};

} // namespace

TEST_P(Facts, MatchTheRecordersPlan)
{
    const FactsRow& row = GetParam();
    const SynthRecording s = synthesizeWithDump(std::string("facts_") + row.name, row.synth);
    ASSERT_EQ(s.synth.status, 0) << s.synth.out;
    const std::filesystem::path& rec = s.path;
    const std::filesystem::path& dump = s.dump;
    const uint64_t fullSize = std::filesystem::file_size(rec);
    if (row.cutAt < 1)
        std::filesystem::resize_file(rec, uint64_t(double(fullSize) * row.cutAt));

    KrvFilePtr file(krv_open(rec.string(), true));
    ASSERT_TRUE(file);
    ASSERT_EQ(krv_init(file.get()), 1);
    const uint64_t announced = file->dataPacketsCount;
    KrvFacts facts;
    ASSERT_EQ(krv_gather_facts(file.get(), std::filesystem::file_size(rec), facts), 1);

    EXPECT_EQ(facts.creationDate, 134117856000000000ull);
    EXPECT_EQ(facts.packetsAnnounced, announced);
    EXPECT_EQ(facts.cutShort, row.cutAt < 1);
    EXPECT_EQ(facts.damagedPackets, row.damaged);
    EXPECT_EQ(facts.packetsRead + facts.missingPackets + facts.damagedPackets, announced);
    if (row.cutAt < 1) {
        EXPECT_GT(facts.missingPackets, 0u);
    }

    for (int c = 1; c <= 4; ++c) {
        SCOPED_TRACE("channel " + std::to_string(c));
        const KrvChannelFacts& f = facts.channels[c - 1];
        const bool present = std::find(row.channels.begin(), row.channels.end(), c) != row.channels.end();
        ASSERT_EQ(f.present, present);
        if (!present)
            continue;
        const auto frames = readSynthFrames(dump / ("ch" + std::to_string(c) + ".txt"));
        const int lead = row.leadFrames.count(c) ? row.leadFrames.at(c) : 0;
        long keys = 0, bytes = 0;
        for (const SynthFrame& s : frames) {
            keys += s.key;
            bytes += s.size;
        }
        EXPECT_EQ(f.width, 352u);
        EXPECT_EQ(f.height, 288u);
        if (row.cutAt < 1 || row.damaged) {
            // Fewer frames, never more, and none that krvsynth did not write.
            EXPECT_LT(f.frames, frames.size() + lead);
            EXPECT_GT(f.frames, 0u);
            continue;
        }
        EXPECT_EQ(f.frames, frames.size() + lead);
        EXPECT_EQ(f.keyFrames, uint64_t(keys));
        EXPECT_DOUBLE_EQ(f.frameRate, 10.0);
        EXPECT_EQ(f.firstMs, uint32_t(frames.front().ms - lead * 100));
        EXPECT_EQ(f.lastMs, uint32_t(frames.back().ms));
        if (!lead) {
            EXPECT_EQ(f.bytes, uint64_t(bytes));
        }
        const std::vector<KrvGap> none;
        const std::vector<KrvGap>& gaps = c == 3 ? row.gaps : none;
        ASSERT_EQ(f.gaps.size(), gaps.size());
        for (size_t i = 0; i < gaps.size(); ++i) {
            EXPECT_EQ(f.gaps[i].startMs, gaps[i].startMs);
            EXPECT_EQ(f.gaps[i].lengthMs, gaps[i].lengthMs);
        }
    }
    ASSERT_TRUE(facts.audio.present);
    EXPECT_EQ(facts.audio.formatTag, 2);
    EXPECT_EQ(facts.audio.rate, 8000u);
    SynthAudio audio = readSynthAudio(dump / "audio.txt");
    EXPECT_EQ(facts.audio.samplesPerBlock, audio.values["samples_per_block"]);
    if (row.cutAt == 1 && !row.damaged) {
        EXPECT_EQ(long(facts.audio.blocks), audio.values["blocks"]);
        EXPECT_DOUBLE_EQ(facts.audio.durationSec, double(audio.values["samples"]) / 8000.0);
    }
    if (!HasFailure())
        std::filesystem::remove_all(s.work);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Facts,
    ::testing::Values(
        FactsRow{"four", "--seconds 3", {1, 2, 3, 4}, {}, {}, 1, 0},
        FactsRow{"twoAndFour", "--channels 2,4 --seconds 3", {2, 4}, {}, {}, 1, 0},
        FactsRow{"lateStart", "--channels 1,2 --late-start 2:3 --seconds 3", {1, 2}, {{2, 3}}, {}, 1, 0},
        // frames 12-26 of channel 3 lost: 1.0 s + 11 x 100 ms, next frame at 3.7 s
        FactsRow{"droppedFrames", "--channels 1,3 --drop 3:12-26 --seconds 4", {1, 3}, {}, {{2200, 1500}}, 1, 0},
        FactsRow{"cutShort", "--seconds 6", {1, 2, 3, 4}, {}, {}, 0.6, 0},
        FactsRow{"damagedPacket", "--seconds 4 --damage stream6", {1, 2, 3, 4}, {}, {}, 1, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Facts, FrameTimesGiveRateAndGaps)
{
    KrvChannelFacts f;
    krv_measure_frames({0, 40, 80, 120, 400, 440, 480, 640}, f);
    EXPECT_TRUE(f.present);
    EXPECT_DOUBLE_EQ(f.frameRate, 25.0);
    ASSERT_EQ(f.gaps.size(), 2u);
    EXPECT_EQ(f.gaps[0].startMs, 160u);
    EXPECT_EQ(f.gaps[0].lengthMs, 240u);
    EXPECT_EQ(f.gaps[1].startMs, 520u);
    EXPECT_EQ(f.gaps[1].lengthMs, 120u) << "4 intervals is a gap, 3 is not";
    krv_measure_frames({}, f);
    EXPECT_FALSE(f.present);
    krv_measure_frames({500}, f);
    EXPECT_EQ(f.frameRate, 0.0) << "one frame has no rate";
}
