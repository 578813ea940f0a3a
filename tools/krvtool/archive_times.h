// Times of catalogued recordings as index, activity and find show them:
// times of day in local time, offsets from the counter's 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "catalog/catalog_entry.h"
#include "krv/krv_time.h"
#include "krv/krv_timeline.h"

namespace krvtool {

// What krv_resolve_time needs of a catalogued recording.
KrvTimeline timelineOf(const vedra::CatalogEntry& entry);

// ms since 1970 of the entry's offset `offsetMs`; only for entries with a creation date.
int64_t unixMsAt(const vedra::CatalogEntry& entry, uint32_t offsetMs);

// "2026-01-01T01:00:00.000+01:00": ISO 8601 with the local offset; empty for 0.
std::string isoLocalTime(uint64_t filetime);

// The FILETIME of an offset of the entry (0 without a creation date).
uint64_t filetimeAt(const vedra::CatalogEntry& entry, uint32_t offsetMs);

// "2026-01-01 00:00:01.000 to 00:59:59.900" (the date again when the day
// changes), or offsets for a recording without a creation date.
std::string spanText(const vedra::CatalogEntry& entry);

// A time a user gave as an offset into the entry (ms from its counter's 0):
// offsets as they are, a date and time where it falls, a time of day on the
// day the recording starts. Null for a time of day of a recording without a
// creation date.
std::optional<int64_t> offsetInEntry(const KrvTimeText& time, const vedra::CatalogEntry& entry);

// Seconds with ms precision: "12.340".
std::string secondsText(int64_t ms);

} // namespace krvtool
