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

// A time given by a user, as an offset from the recording's start in ms:
//   "75", "75.5"                   seconds
//   "01:15", "00:01:15.500"        [hh:]mm:ss(.mmm)
//   "2026-01-01T14:03:20(.mmm)"    date and time of day (space for T allowed),
//                                  local time, or UTC with a trailing "Z"
//   "@14:03:20(.mmm)"              time of day (local, "Z" for UTC) on the day the
//                                  recording starts, or the next day when that
//                                  is before its start
// A time of day needs the creation date. The offset may be negative (a time
// of day before the start). Empty with `error` set when the text is none of these.
std::optional<int64_t> krv_parse_time(std::string_view text, uint64_t creationDate, std::string& error);
