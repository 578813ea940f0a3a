// Activity (frame sizes, then the decode pass) against krvsynth's truth:
// still scenes with sensor noise at a low level and at one where predicted
// frames are ten times larger, objects of
// 8 % and 15 % of the picture's smaller side crossing during chosen seconds,
// a camera that starts late. Goal: at least 95 % of the seconds with motion
// inside a span, at most 5 % of the still seconds inside one.
#include <gtest/gtest.h>

#include <sstream>

#include "motion/recording_activity.h"
#include "motion_truth.h"
#include "tool_runner.h"

namespace {

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
    const std::vector<TruthPass> truth = readMotionTruth(rec.string() + ".motion");
    ASSERT_EQ(truth.size(), 6u);

    KrvRecordingIndex index;
    ASSERT_EQ(krv_index_recording(rec.string(), index), 1);
    const KrvActivity activity = vedra::MeasureActivity(rec.string(), index);
    for (int channel = 1; channel <= 3; ++channel) {
        SCOPED_TRACE("channel " + std::to_string(channel));
        const Accuracy a = measureAccuracy(index, activity, channel, truth);
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
