// The activity rules on given per-second flags.
#include <gtest/gtest.h>

#include "krv/krv_activity.h"

TEST(Activity, SpansMergeGapsOfTwoSeconds)
{
    const std::vector<uint8_t> active = {0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1};
    const std::vector<float> scores = {0, 5, 9, 0, 0, 6, 0, 0, 0, 4, 7};
    const auto spans = krv_activity_spans(2, active, scores);
    ASSERT_EQ(spans.size(), 2u) << "two still seconds join, three do not";
    EXPECT_EQ(spans[0].startMs, 1000u);
    EXPECT_EQ(spans[0].endMs, 6000u);
    EXPECT_DOUBLE_EQ(spans[0].score, 9);
    EXPECT_EQ(spans[1].startMs, 9000u);
    EXPECT_EQ(spans[1].endMs, 11000u);
    EXPECT_EQ(spans[1].channel, 2);
}
