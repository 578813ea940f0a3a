// Times of a recording. Inside the recording a frame has an offset: its
// presentation time with the preroll subtracted, in ms. Its time of day is the
// recording's creation date (file properties: FILETIME, 100 ns since 1601-01-01
// UTC) plus that offset; a creation date of 0 means the recording knows
// offsets only.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "krv/krv_timeline.h"

inline constexpr uint64_t kFiletimeTicksPerMs = 10000;
inline constexpr double kFiletimeTicksPerSecond = 1e7;
// 1970-01-01 as a FILETIME.
inline constexpr uint64_t kFiletimeUnixEpoch = 116444736000000000ull;

// A duration of the file properties (100-ns units) in seconds.
double krv_duration_seconds(uint64_t duration);

// The recording's length by its file properties: the play duration (100-ns
// units) less the preroll (ms), in ms; 0 when the preroll is as long.
uint64_t krv_play_length_ms(uint64_t playDuration, uint64_t prerollMs);

// The FILETIME of the frame at `offsetMs`; 0 when the creation date is 0.
uint64_t krv_time_of_day(uint64_t creationDate, uint32_t offsetMs);

// The local time as file names carry it: "YYYYMMDDhhmmss".
std::string krv_local_time_name(std::time_t when);

// "2026-01-01T00:00:01.250Z"; empty for a FILETIME of 0 or one before 1970.
std::string krv_iso8601_utc(uint64_t filetime);

// "hh:mm:ss.mmm" (hours grow past 99 when needed).
std::string krv_offset_text(uint64_t ms);

// A time a user gave, read without the recording:
//   "75", "75.5"                   an offset in seconds
//   "01:15", "00:01:15.500"        an offset [hh:]mm:ss(.mmm)
//   "@14:03:20(.mmm)"              a time of day (local, "Z" for UTC) on the recording's own day
//   "2026-01-01T14:03:20(.mmm)"    a date and time of day (space for T allowed; "Z" for UTC)
// Offsets count from the instant the recording's counter calls 0 (see
// krv_timeline.h). Signs, empty texts and anything else are refused.
struct KrvTimeText {
    enum class Kind { Offset, ClockTime, DateTime };
    Kind kind = Kind::Offset;
    int64_t ms = 0;   // Offset: ms from the counter's 0; ClockTime: ms into the day; DateTime: ms since 1970
    bool utc = false; // ClockTime and DateTime: given in UTC
    std::string text; // as given
};
std::optional<KrvTimeText> krv_read_time_text(std::string_view text, std::string& error);

// The time as an offset from the counter's 0 (ms). An offset is taken as it
// is, past the end too. A time of day must lie within the recording, from its
// first frame to a second past its last ("12:59:00 is not in this recording:
// 12:00:00.000 to 12:00:59.960"); a recording without a creation date has
// offsets only.
std::optional<int64_t> krv_resolve_time(const KrvTimeText& time, const KrvTimeline& timeline, std::string& error);

// "12:00:59.960" (local time, or UTC with a "Z"), with its date first when `withDate`.
std::string krv_clock_text(uint64_t filetime, bool withDate, bool utc);
