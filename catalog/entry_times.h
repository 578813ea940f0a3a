// Times of a catalogued recording: its offsets (ms from the counter's 0) as
// FILETIMEs and ms since 1970, and a time a user gave as an offset into it.
#pragma once

#include <cstdint>
#include <optional>

#include "catalog/catalog_entry.h"
#include "krv/krv_time.h"
#include "krv/krv_timeline.h"

namespace vedra {

// What krv_resolve_time needs of a catalogued recording.
KrvTimeline TimelineOf(const CatalogEntry& entry);

// The FILETIME of an offset of the entry (0 without a creation date).
uint64_t FiletimeAt(const CatalogEntry& entry, uint32_t offsetMs);

// ms since 1970 of the entry's offset `offsetMs`; only for entries with a creation date.
int64_t UnixMsAt(const CatalogEntry& entry, uint32_t offsetMs);

// The FILETIME of ms since 1970.
uint64_t FiletimeOfUnixMs(int64_t ms);

// The entry's length: its last frame's offset (0 when it has none past its 0).
uint32_t LengthOf(const CatalogEntry& entry);

// A time a user gave as an offset into the entry (ms from its counter's 0):
// offsets as they are, a date and time where it falls, a time of day on the
// day the recording starts. Null for a time of day of a recording without a
// creation date.
std::optional<int64_t> OffsetInEntry(const KrvTimeText& time, const CatalogEntry& entry);

} // namespace vedra
