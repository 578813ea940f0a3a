// Times of a recording: what users type for --from/--to, the time of day from
// the creation date, and the texts the manifest and the JSON facts show.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "krv/krv_time.h"

namespace {

constexpr uint64_t kJan2 = 134117856000000000ull; // 2026-01-02T00:00:00Z

constexpr uint32_t kTwoDaysMs = 2 * 86400000u;

struct TimeRow {
    const char* name;
    const char* tz; // TZ for local times
    const char* text;
    uint64_t creationDate;
    bool ok;
    int64_t ms;                   // offset from the counter's 0 when ok
    uint32_t originMs = 0;        // recording time of the counter's 0
    uint32_t lastMs = kTwoDaysMs; // of the last frame
};

void PrintTo(const TimeRow& row, std::ostream* os)
{
    *os << row.name;
}

class ParseTime : public ::testing::TestWithParam<TimeRow> {
protected:
    void SetUp() override
    {
        const char* old = std::getenv("TZ");
        oldTz_ = old ? old : "";
        hadTz_ = old != nullptr;
        setenv("TZ", GetParam().tz, 1);
        tzset();
    }
    void TearDown() override
    {
        if (hadTz_)
            setenv("TZ", oldTz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    std::string oldTz_;
    bool hadTz_ = false;
};

TEST_P(ParseTime, OffsetFromTheCountersZero)
{
    const TimeRow& row = GetParam();
    std::string error;
    const KrvTimeline timeline{row.creationDate, true, row.originMs, row.lastMs};
    const std::optional<KrvTimeText> read = krv_read_time_text(row.text, error);
    const std::optional<int64_t> ms = read ? krv_resolve_time(*read, timeline, error) : std::nullopt;
    ASSERT_EQ(ms.has_value(), row.ok) << error;
    if (row.ok)
        EXPECT_EQ(*ms, row.ms);
    else
        EXPECT_FALSE(error.empty());
}

constexpr const char* kCet = "CET-1CEST,M3.5.0,M10.5.0/3"; // no time zone files needed
constexpr const char* kCest = "CEST-2";                    // summer time all year

INSTANTIATE_TEST_SUITE_P(
    Rows, ParseTime,
    ::testing::Values(
        TimeRow{"seconds", "UTC", "75", kJan2, true, 75000},
        TimeRow{"secondsWithFraction", "UTC", "75.5", kJan2, true, 75500},
        TimeRow{"quarterSecond", "UTC", "0.25", kJan2, true, 250},
        TimeRow{"minutesSeconds", "UTC", "01:15", kJan2, true, 75000},
        TimeRow{"clock", "UTC", "00:01:15.5", kJan2, true, 75500},
        TimeRow{"clockMs", "UTC", "1:02:03.004", kJan2, true, 3723004},
        TimeRow{"offsetWithoutCreationDate", "UTC", "00:00:10", 0, true, 10000},
        TimeRow{"timeOfDayUtc", "UTC", "@00:00:10Z", kJan2, true, 10000},
        TimeRow{"timeOfDayLocal", kCet, "@01:00:10", kJan2, true, 10000},
        TimeRow{"timeOfDayLaterThatDay", "UTC", "@23:59:00", kJan2 + 36000000000ull, true, 86340000 - 3600000},
        TimeRow{"timeOfDayPastMidnight", "UTC", "@00:30:00", kJan2 + 828000000000ull, true, 5400000},
        TimeRow{"dateTimeUtc", kCet, "2026-01-02 00:01:00.250Z", kJan2, true, 60250},
        TimeRow{"dateTimeLocal", kCet, "2026-01-02T01:01:00", kJan2, true, 60000},
        TimeRow{"dateTimeSummerTime", kCest, "2026-01-02T02:00:00", kJan2, true, 0},
        TimeRow{"offsetsCountFromTheFirstFrame", "UTC", "8", kJan2, true, 8000, 5000},
        TimeRow{"timeOfDayOfALateFirstFrame", "UTC", "@00:00:13Z", kJan2, true, 8000, 5000},
        TimeRow{"offsetPastTheEndStays", "UTC", "90", kJan2, true, 90000, 0, 60000},
        TimeRow{"beforeTheStart", "UTC", "2026-01-01T23:59:00Z", kJan2, false, 0},
        TimeRow{"beforeALateFirstFrame", "UTC", "@00:00:04Z", kJan2, false, 0, 5000, 60000},
        TimeRow{"afterTheEnd", "UTC", "@00:01:02Z", kJan2, false, 0, 0, 60000},
        TimeRow{"aSecondPastTheLastFrame", "UTC", "@00:01:01Z", kJan2, true, 61000, 0, 60000},
        TimeRow{"notTheNextDayUnlessRecorded", "UTC", "@00:30:00", kJan2 + 828000000000ull, false, 0, 0, 3600000},
        TimeRow{"empty", "UTC", "", kJan2, false, 0}, TimeRow{"words", "UTC", "ten", kJan2, false, 0},
        TimeRow{"negative", "UTC", "-5", kJan2, false, 0}, TimeRow{"negativeFraction", "UTC", "-0.9", kJan2, false, 0},
        TimeRow{"negativeClock", "UTC", "-00:00:05", kJan2, false, 0},
        TimeRow{"plusSign", "UTC", "+5", kJan2, false, 0},
        TimeRow{"negativeMinutes", "UTC", "00:-1:00", kJan2, false, 0}, TimeRow{"space", "UTC", " ", kJan2, false, 0},
        TimeRow{"fourFields", "UTC", "1:2:3:4", kJan2, false, 0},
        TimeRow{"sixtyOneMinutes", "UTC", "00:61:00", kJan2, false, 0},
        TimeRow{"fourDigitFraction", "UTC", "1.2345", kJan2, false, 0},
        TimeRow{"hour25", "UTC", "@25:00:00", kJan2, false, 0},
        TimeRow{"month13", "UTC", "2026-13-01T00:00:00", kJan2, false, 0},
        TimeRow{"february30", "UTC", "2026-02-30T00:00:00", kJan2, false, 0},
        TimeRow{"timeOfDayWithoutCreationDate", "UTC", "@00:00:10", 0, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// The refusal names the recording's span, so the user sees what would have been in it.
TEST(TimeText, TimeOfDayOutsideNamesTheSpan)
{
    setenv("TZ", "UTC", 1);
    tzset();
    const uint64_t noon = kJan2 + 12ull * 3600 * 10000000;
    const KrvTimeline timeline{noon, true, 0, 59960};
    std::string error;
    const std::optional<KrvTimeText> read = krv_read_time_text("@12:59:00", error);
    ASSERT_TRUE(read);
    EXPECT_FALSE(krv_resolve_time(*read, timeline, error));
    EXPECT_EQ(error, "@12:59:00 is not in this recording: 12:00:00.000 to 12:00:59.960");
    const std::optional<KrvTimeText> dated = krv_read_time_text("2026-01-03 12:00:00", error);
    ASSERT_TRUE(dated);
    EXPECT_FALSE(krv_resolve_time(*dated, timeline, error));
    EXPECT_EQ(error,
              "2026-01-03 12:00:00 is not in this recording: 2026-01-02 12:00:00.000 to 2026-01-02 12:00:59.960");
    const KrvTimeline undated{0, true, 0, 59960};
    EXPECT_FALSE(krv_resolve_time(*read, undated, error));
    EXPECT_NE(error.find("no creation date"), std::string::npos) << error;
    unsetenv("TZ");
    tzset();
}

TEST(TimeText, CreationDatesOutsideTheCalendarReadAsNone)
{
    EXPECT_EQ(krv_trusted_creation_date(kJan2), kJan2);
    EXPECT_EQ(krv_trusted_creation_date(UINT64_MAX), 0u);
    EXPECT_EQ(krv_iso8601_utc(UINT64_MAX), "");
    EXPECT_EQ(krv_time_of_day(UINT64_MAX, 1000), 0u);
    EXPECT_EQ(krv_iso8601_utc(1), "1601-01-01T00:00:00.000Z") << "the calendar's first day is a date";
}

TEST(TimeText, IsoUtcAndOffsets)
{
    EXPECT_EQ(krv_iso8601_utc(kJan2), "2026-01-02T00:00:00.000Z");
    EXPECT_EQ(krv_iso8601_utc(krv_time_of_day(kJan2, 3723004)), "2026-01-02T01:02:03.004Z");
    EXPECT_EQ(krv_iso8601_utc(0), "");
    EXPECT_EQ(krv_time_of_day(0, 5000), 0u) << "no creation date, no time of day";
    EXPECT_EQ(krv_offset_text(0), "00:00:00.000");
    EXPECT_EQ(krv_offset_text(3723004), "01:02:03.004");
    EXPECT_EQ(krv_offset_text(100ull * 3600000), "100:00:00.000");
}

TEST(TimeText, HeaderDurations)
{
    EXPECT_EQ(krv_play_length_ms(35000000, 500), 3000u) << "the preroll comes off";
    EXPECT_EQ(krv_play_length_ms(5000000, 500), 0u);
    EXPECT_EQ(krv_play_length_ms(4000000, 500), 0u) << "never below 0";
    EXPECT_DOUBLE_EQ(krv_duration_seconds(25000000), 2.5);
}

} // namespace
