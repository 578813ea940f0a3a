// What bookmarks need of a recording: its key in the bookmark store, its
// timeline (offsets count from its counter's 0; times of day from its
// creation date) and which cameras have a picture at an instant.
#pragma once

#include <string>
#include <vector>

#include "catalog/bookmark_store.h"
#include "krv/krv_timeline.h"

namespace vedra {

struct BookmarkTarget {
    BookmarkKey key;
    KrvTimeline timeline;
};

// Reads the header and the timeline of the recording at `path`. 1, or a
// negative KrvError (KRV_ERROR_FAIL_OPEN_FILE when it cannot be opened).
int ReadBookmarkTarget(const std::string& path, BookmarkTarget& target);

// The cameras (1-4) with frames from `fromMs` to before `toMs` (offsets from
// the counter's 0). Only the packets near the range are read. 1 or a negative KrvError.
int ReadCamerasIn(const std::string& path, const KrvTimeline& timeline, uint32_t fromMs, uint32_t toMs,
                  std::vector<int>& cameras);

// How far before an instant a camera's last frame may lie for its picture to be on screen then.
inline constexpr uint32_t kBookmarkPictureAgeMs = 5000;

// The bookmark's time of day (FILETIME), 0 when the recording has no creation date.
uint64_t BookmarkTimeOfDay(const BookmarkTarget& target, uint32_t offsetMs);

} // namespace vedra
