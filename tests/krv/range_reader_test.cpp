// The range reader on krvsynth recordings: each channel's frames of a range
// are exactly krvsynth's frames from the key frame at or before `from` to the
// last one before `to`, byte for byte as in the split's channel files, with
// their times; the audio runs from the earliest channel start.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "krv/krv_range_reader.h"
#include "split_fixture.h"

using namespace krvtest;

namespace {

struct RangeRow {
    const char* name;
    const char* synth;
    int64_t from;
    int64_t to; // -1: the end
    uint8_t channels;
    bool audio;
    double cutAt; // fraction of the file kept, 1: whole
};

void PrintTo(const RangeRow& row, std::ostream* os)
{
    *os << row.name;
}

// Where a channel's part of the range starts, by krvsynth's own list.
long expectedStart(const std::vector<SynthFrame>& frames, int64_t from, int64_t to)
{
    long start = -1;
    for (const SynthFrame& f : frames)
        if (f.key && f.ms <= from)
            start = f.ms;
    for (const SynthFrame& f : frames)
        if (start < 0 && f.key && f.ms > from && f.ms < to)
            start = f.ms;
    return start;
}

class RangeReader : public ::testing::TestWithParam<RangeRow> {};

} // namespace

TEST_P(RangeReader, FramesOfTheRangeAsRecorded)
{
    const RangeRow& row = GetParam();
    const SynthRecording s = synthesizeWithDump(std::string("range_") + row.name, row.synth);
    ASSERT_EQ(s.synth.status, 0) << s.synth.out;
    const std::filesystem::path& work = s.work;
    const std::filesystem::path& rec = s.path;
    const std::filesystem::path& dump = s.dump;
    // The split's channel files hold the same frames: they are the byte reference.
    ASSERT_EQ(splitPath(rec.string(), work.string()), 1);
    const uint64_t fullSize = std::filesystem::file_size(rec);
    if (row.cutAt < 1)
        std::filesystem::resize_file(rec, uint64_t(double(fullSize) * row.cutAt));
    const int64_t to = row.to < 0 ? std::numeric_limits<int64_t>::max() : row.to;

    KrvFilePtr file(krv_open(rec.string(), true));
    ASSERT_TRUE(file);
    ASSERT_EQ(krv_init(file.get()), 1);
    KrvRangeReader reader(file.get(), std::filesystem::file_size(rec));
    ASSERT_EQ(reader.seek({row.from, to, row.channels, row.audio}), 1);
    EXPECT_EQ(reader.cutShort(), row.cutAt < 1);

    std::map<int, std::vector<KrvRangeObject>> got;
    std::map<int, std::vector<Bytes>> bytes;
    KrvRangeObject o;
    int r;
    while ((r = reader.next(o)) > 0) {
        got[o.channel].push_back(o);
        bytes[o.channel].emplace_back(o.data, o.data + o.size);
    }
    ASSERT_EQ(r, 0);
    EXPECT_NEAR(reader.progress(), 1.0, 0.2);

    long base = -1;
    for (int c = 1; c <= 4; ++c) {
        SCOPED_TRACE("channel " + std::to_string(c));
        const auto frames = readSynthFrames(dump / ("ch" + std::to_string(c) + ".txt"));
        const long start = (row.channels >> (c - 1) & 1) ? expectedStart(frames, row.from, to) : -1;
        std::vector<SynthFrame> want;
        for (const SynthFrame& f : frames)
            if (start >= 0 && f.ms >= start && f.ms < to)
                want.push_back(f);
        const std::vector<KrvRangeObject>& have = got[c];
        if (row.cutAt < 1) {
            // Whole frames before the cut only: a prefix of the range.
            ASSERT_LE(have.size(), want.size());
            EXPECT_GT(have.size(), 0u);
            want.resize(have.size());
        }
        ASSERT_EQ(have.size(), want.size());
        EXPECT_EQ(reader.channel(c).present, start >= 0);
        if (start < 0)
            continue;
        EXPECT_EQ(reader.channel(c).startMs, uint32_t(start));
        base = base < 0 ? start : std::min(base, start);
        const Channel split = readChannel(work / ("Video" + std::to_string(c) + ".krv"));
        for (size_t i = 0; i < want.size(); ++i) {
            EXPECT_EQ(have[i].time, uint32_t(want[i].ms)) << "frame " << i;
            EXPECT_EQ(have[i].keyFrame, want[i].key != 0) << "frame " << i;
            ASSERT_EQ(have[i].size, uint32_t(want[i].size)) << "frame " << i;
            // The channel file holds krvsynth's list from its first key frame on (times rebased).
            ASSERT_LT(size_t(want[i].index), split.objects.size());
            EXPECT_EQ(bytes[c][i], split.objects[size_t(want[i].index)].bytes) << "frame " << i;
        }
    }
    if (base >= 0) {
        EXPECT_EQ(reader.startMs(), uint32_t(base));
    }

    SynthAudio synthAudio = readSynthAudio(dump / "audio.txt");
    std::vector<SynthAudio::Object> wantAudio;
    for (const SynthAudio::Object& a : synthAudio.objects)
        if (row.audio && a.ms >= base && a.ms < to)
            wantAudio.push_back(a);
    const std::vector<KrvRangeObject>& audio = got[0];
    if (row.cutAt < 1)
        wantAudio.resize(std::min(wantAudio.size(), audio.size()));
    ASSERT_EQ(audio.size(), wantAudio.size());
    for (size_t i = 0; i < audio.size(); ++i) {
        EXPECT_EQ(audio[i].time, uint32_t(wantAudio[i].ms)) << "audio object " << i;
        EXPECT_EQ(audio[i].size, uint32_t(wantAudio[i].blocks * synthAudio.values["block_align"]))
            << "audio object " << i << ": bare blocks";
    }
    if (!HasFailure())
        std::filesystem::remove_all(work);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RangeReader,
    ::testing::Values(RangeRow{"midGroup", "--seconds 6", 2350, 4600, 0x0F, true, 1},
                      RangeRow{"atKeyFrame", "--seconds 6", 3000, 3500, 0x0F, true, 1},
                      RangeRow{"whole", "--seconds 3", 0, -1, 0x0F, true, 1},
                      RangeRow{"beforeTheFirstFrame", "--seconds 3 --start-ms 2000", 0, 2550, 0x0F, true, 1},
                      RangeRow{"channelOneNoAudio", "--seconds 4", 1500, 3000, 0x01, false, 1},
                      RangeRow{"lateStartTwoAndFour", "--channels 2,4 --late-start 2:13 --seconds 4", 1500, 3800, 0x0F,
                               true, 1},
                      RangeRow{"bigKeyFramesAcrossThreePackets", "--channels 1,3 --big-keyframes --seconds 4", 2500,
                               4000, 0x05, true, 1},
                      RangeRow{"prerollAndLateTimes", "--channels 1 --preroll 500 --start-ms 3000 --seconds 3", 3500,
                               5000, 0x01, true, 1},
                      RangeRow{"keyFrameFarBack", "--channels 1 --size 640x480 --fps 25 --gop 100 --seconds 20", 11900,
                               13000, 0x01, false, 1},
                      RangeRow{"cutShort", "--seconds 8", 2000, -1, 0x0F, true, 0.6},
                      // Packets sent ahead of their frames by the preroll, or not at all: the
                      // payloads' times decide, whatever the send times say.
                      RangeRow{"twoSecondsPreroll3000", "--seconds 8 --preroll 3000", 4000, 6000, 0x0F, true, 1},
                      RangeRow{"twoSecondsPreroll0", "--seconds 8 --preroll 0", 4000, 6000, 0x0F, true, 1},
                      RangeRow{"shorterThanThePreroll", "--channels 1,2 --size 640x480 --fps 25 --seconds 20", 11000,
                               13000, 0x03, true, 1},
                      RangeRow{"oneFrameVga", "--channels 1 --size 640x480 --fps 25 --gop 25 --seconds 10", 9200, 9201,
                               0x01, false, 1}),
    [](const auto& info) { return std::string(info.param.name); });
