// The recording index against krvsynth's dump: every frame's time, key flag
// and size per channel, the audio's span and the creation date, also for a
// camera that starts late and a recording cut short.
#include <gtest/gtest.h>

#include "krv/krv_recording_index.h"
#include "split_fixture.h"

using namespace krvtest;

namespace {

struct IndexRow {
    const char* name;
    const char* synth;
    std::vector<int> channels;
    std::map<int, int> leadFrames; // channel -> frames before its first key frame (not in the dump)
    double cutAt;                  // fraction of the file kept, 1: whole
};

void PrintTo(const IndexRow& row, std::ostream* os)
{
    *os << row.name;
}

class RecordingIndex : public ::testing::TestWithParam<IndexRow> {};

} // namespace

TEST_P(RecordingIndex, HoldsEveryFrameOfTheDump)
{
    const IndexRow& row = GetParam();
    const SynthRecording s = synthesizeWithDump(std::string("index_") + row.name, row.synth);
    ASSERT_EQ(s.synth.status, 0) << s.synth.out;
    if (row.cutAt < 1)
        std::filesystem::resize_file(s.path, uint64_t(double(std::filesystem::file_size(s.path)) * row.cutAt));

    KrvRecordingIndex index;
    ASSERT_EQ(krv_index_recording(s.path.string(), index), 1);
    EXPECT_FALSE(index.changedWhileRead);
    EXPECT_EQ(index.fileSize, std::filesystem::file_size(s.path));
    EXPECT_EQ(index.timeline.creationDate, 134117856000000000ull);
    EXPECT_EQ(index.facts.cutShort, row.cutAt < 1);
    EXPECT_EQ(index.timeline.originMs, 1000u) << "the first key frame of any channel";

    for (int c = 1; c <= 4; ++c) {
        SCOPED_TRACE("channel " + std::to_string(c));
        const std::vector<KrvFrameEntry>& got = index.frames[c - 1];
        const bool present = std::find(row.channels.begin(), row.channels.end(), c) != row.channels.end();
        if (!present) {
            EXPECT_TRUE(got.empty());
            continue;
        }
        const auto want = readSynthFrames(s.dump / ("ch" + std::to_string(c) + ".txt"));
        const size_t lead = row.leadFrames.count(c) ? size_t(row.leadFrames.at(c)) : 0;
        ASSERT_GE(got.size(), lead);
        if (row.cutAt < 1) {
            EXPECT_LT(got.size(), want.size() + lead);
            EXPECT_GT(got.size(), lead);
        } else {
            ASSERT_EQ(got.size(), want.size() + lead);
        }
        for (size_t i = 0; i < lead; ++i)
            EXPECT_FALSE(got[i].key);
        for (size_t i = lead; i < got.size(); ++i) {
            const SynthFrame& w = want[i - lead];
            ASSERT_EQ(got[i].timeMs, uint32_t(w.ms)) << "frame " << w.index;
            ASSERT_EQ(got[i].key, w.key != 0) << "frame " << w.index;
            ASSERT_EQ(got[i].size, uint32_t(w.size)) << "frame " << w.index;
        }
    }

    const SynthAudio audio = readSynthAudio(s.dump / "audio.txt");
    ASSERT_TRUE(index.audio);
    ASSERT_FALSE(audio.objects.empty());
    EXPECT_EQ(index.audioFirstMs, uint32_t(audio.objects.front().ms));
    if (row.cutAt == 1) {
        const long samplesPerBlock = audio.values.at("samples_per_block");
        const SynthAudio::Object& last = audio.objects.back();
        EXPECT_EQ(index.audioEndMs, uint32_t(last.ms + last.blocks * samplesPerBlock * 1000 / 8000));
    }
    if (!HasFailure())
        std::filesystem::remove_all(s.work);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RecordingIndex,
    ::testing::Values(IndexRow{"four", "--seconds 3", {1, 2, 3, 4}, {}, 1},
                      IndexRow{"lateStart", "--channels 1,3 --late-start 3:4 --seconds 3", {1, 3}, {{3, 4}}, 1},
                      IndexRow{"bigKeyframes", "--channels 2 --big-keyframes --seconds 2", {2}, {}, 1},
                      IndexRow{"cutShort", "--seconds 6", {1, 2, 3, 4}, {}, 0.6}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RecordingIndex, RefusesWhatIsNoRecording)
{
    KrvRecordingIndex index;
    EXPECT_EQ(krv_index_recording(tempDir().string(), index), KRV_ERROR_FAIL_OPEN_FILE) << "a folder";
    EXPECT_EQ(krv_index_recording((tempDir() / "missing.krv").string(), index), KRV_ERROR_FAIL_OPEN_FILE);
    EXPECT_LT(krv_index_recording(writeTemp(Bytes(5000, 0x55), "garbage.krv"), index), 0);
}
