// Times of catalogued recordings as index, activity and find print them:
// times of day in local time, offsets from the counter's 0.
#pragma once

#include <cstdint>
#include <string>

#include "catalog/entry_times.h"

namespace krvtool {

// "2026-01-01T01:00:00.000+01:00": ISO 8601 with the local offset; empty for 0.
std::string isoLocalTime(uint64_t filetime);

// "2026-01-01 00:00:01.000 to 00:59:59.900" (the date again when the day
// changes), or offsets for a recording without a creation date.
std::string spanText(const vedra::CatalogEntry& entry);

// Seconds with ms precision: "12.340".
std::string secondsText(int64_t ms);

} // namespace krvtool
