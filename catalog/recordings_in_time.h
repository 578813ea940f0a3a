// Catalogued recordings laid on one axis of time (ms since 1970): the span of
// each, which covers an instant (else the nearest before and after), and the
// activity spans of several recordings in time order.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "catalog/catalog_entry.h"

namespace vedra {

struct TimedRecording {
    const CatalogEntry* entry = nullptr;
    int64_t first = 0, last = 0; // ms since 1970 of the counter's 0 and of the last frame
};

// The span of a recording with a creation date and media; null otherwise.
std::optional<TimedRecording> TimedRecordingOf(const CatalogEntry& entry);

// Where an instant falls. With several candidate instants (a time of day on
// each day the recordings start on) the first one covered wins, else the
// one nearest a recording.
struct Covering {
    const TimedRecording* covering = nullptr;
    int64_t at = 0;                         // the instant answered for
    const TimedRecording* before = nullptr; // the latest to end before `at`
    const TimedRecording* after = nullptr;  // the earliest to start after it
};
Covering FindCovering(const std::vector<int64_t>& instants, const std::vector<TimedRecording>& recordings);

struct TimedSpan {
    const CatalogEntry* entry = nullptr;
    KrvActivitySpan span;
    size_t group = 0;    // 0: recordings with a date; 1 + the entry's place for one without
    int64_t sortKey = 0; // ms since 1970 of the span's start, or its offset in a recording without a date
};

// The activity spans of the cameras in `channels` (bit c - 1 for camera c),
// in time order across the entries; those of recordings without a date
// follow, each recording's in its own order.
std::vector<TimedSpan> ActivityInTimeOrder(const std::vector<const CatalogEntry*>& entries, unsigned channels);

} // namespace vedra
