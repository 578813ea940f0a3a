// Activity (frame sizes, then the decode pass) against krvsynth's truth: still scenes with sensor noise at a low
// level and at one where predicted frames are ten times larger, objects of
// 8 % and 15 % of the picture's smaller side crossing during chosen seconds,
// a camera that starts late. Goal: at least 95 % of the seconds with motion
// inside a span, at most 5 % of the still seconds inside one.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "motion/recording_activity.h"
#include "tool_runner.h"

namespace {

struct TruthPass {
    int channel = 0;
    long firstMs = 0, lastMs = 0;
};

std::vector<TruthPass> readTruth(const std::filesystem::path& path)
{
    std::vector<TruthPass> passes;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        TruthPass p;
        fields >> p.channel >> p.firstMs >> p.lastMs;
        passes.push_back(p);
    }
    return passes;
}

struct Accuracy {
    int motion = 0, motionFound = 0, still = 0, stillFlagged = 0;
};

// Seconds from the counter's 0: a second with a frame of a pass is a second of motion.
Accuracy measure(const KrvRecordingIndex& index, const KrvActivity& activity, int channel,
                 const std::vector<TruthPass>& truth)
{
    Accuracy a;
    const KrvChannelActivity& c = activity.channels[channel - 1];
    const uint32_t origin = index.timeline.originMs;
    uint32_t first = UINT32_MAX, last = 0;
    for (const KrvFrameEntry& f : index.frames[channel - 1]) {
        first = std::min(first, f.timeMs);
        last = std::max(last, f.timeMs);
    }
    for (uint32_t s = (std::max(first, origin) - origin) / 1000; s <= (last - origin) / 1000; ++s) {
        const long from = long(origin + s * 1000), to = from + 999;
        bool moving = false;
        for (const TruthPass& p : truth)
            moving = moving || (p.channel == channel && p.firstMs <= to && p.lastMs >= from);
        bool inSpan = false;
        for (const KrvActivitySpan& span : c.spans)
            inSpan = inSpan || (span.startMs <= s * 1000 && span.endMs > s * 1000);
        if (moving) {
            ++a.motion;
            a.motionFound += inSpan;
        } else {
            ++a.still;
            a.stillFlagged += inSpan;
        }
    }
    return a;
}

std::vector<std::string> splitWords(const std::string& text)
{
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

struct ActivityRow {
    const char* name;
    int noise;
};

void PrintTo(const ActivityRow& row, std::ostream* os)
{
    *os << row.name;
}

class Activity : public ::testing::TestWithParam<ActivityRow> {};

} // namespace

TEST_P(Activity, FindsTheSecondsWithMotion)
{
    const ActivityRow& row = GetParam();
    // Channel 1: 8 % objects; channel 2 (starting late): 15 % objects; channel 3: nothing moves.
    const std::string args = "--channels 1,2,3 --size 352x288 --seconds 100 --still-scene --sensor-noise " +
                             std::to_string(row.noise) +
                             " --object 1:8:10-17 --object 1:8:40-44 --object 1:8:70-71 --object 2:15:25-30"
                             " --object 2:15:60-63 --object 2:15:85-85 --late-start 2:15";
    ScratchDir dir;
    const std::filesystem::path rec = dir / "rec.krv";
    synthesize(rec, splitWords(args));
    const std::vector<TruthPass> truth = readTruth(rec.string() + ".motion");
    ASSERT_EQ(truth.size(), 6u);

    KrvRecordingIndex index;
    ASSERT_EQ(krv_index_recording(rec.string(), index), 1);
    const KrvActivity activity = vedra::MeasureActivity(rec.string(), index);
    for (int channel = 1; channel <= 3; ++channel) {
        SCOPED_TRACE("channel " + std::to_string(channel));
        const Accuracy a = measure(index, activity, channel, truth);
        const KrvChannelActivity& c = activity.channels[channel - 1];
        std::printf("noise %d channel %d: still level %.0f bytes, spread %.1f %%, motion %d/%d, still flagged %d/%d\n",
                    row.noise, channel, c.stillLevel, 100 * c.spread, a.motionFound, a.motion, a.stillFlagged, a.still);
        EXPECT_GE(a.motionFound * 100, a.motion * 95);
        EXPECT_LE(a.stillFlagged * 100, a.still * 5);
        if (channel == 3) {
            EXPECT_TRUE(c.spans.empty());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Activity, ::testing::Values(ActivityRow{"lowNoise", 4}, ActivityRow{"heavyNoise", 6}),
                         [](const auto& info) { return std::string(info.param.name); });
