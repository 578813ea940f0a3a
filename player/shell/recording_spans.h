// The time of day each recording of a folder covers, read from its first and last packets
// (krv_read_timeline) and kept by path, size and modification time, so a folder is read once
// however often it is asked about.
#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <map>

#include "krv/krv_timeline.h"

namespace vedra {

struct RecordingSpan {
    bool known = false; // read, with a trusted creation date
    KrvTimeline timeline;
    int64_t firstUnixMs = 0; // its first frame, ms since 1970 UTC
    int64_t lastUnixMs = 0;  // its last frame
};

class RecordingSpans {
public:
    // The span of the recording at path; not known when it cannot be read or has no date.
    const RecordingSpan& Of(const QString& path);

private:
    struct Cached {
        qint64 size = -1;
        QDateTime modified;
        RecordingSpan span;
    };
    std::map<QString, Cached> cache_;
};

} // namespace vedra
