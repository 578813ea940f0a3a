#include "catalog/entry_times.h"

#include <string>

namespace vedra {

KrvTimeline TimelineOf(const CatalogEntry& e)
{
    KrvTimeline t;
    t.creationDate = e.creationDate;
    t.hasMedia = e.hasMedia;
    t.originMs = e.originMs;
    t.lastMs = e.lastMs;
    return t;
}

uint64_t FiletimeAt(const CatalogEntry& e, uint32_t offsetMs)
{
    return e.creationDate ? krv_time_of_day(e.creationDate, e.originMs + offsetMs) : 0;
}

int64_t UnixMsAt(const CatalogEntry& e, uint32_t offsetMs)
{
    return (int64_t(FiletimeAt(e, offsetMs)) - int64_t(kFiletimeUnixEpoch)) / int64_t(kFiletimeTicksPerMs);
}

uint64_t FiletimeOfUnixMs(int64_t ms)
{
    return uint64_t(ms * int64_t(kFiletimeTicksPerMs) + int64_t(kFiletimeUnixEpoch));
}

uint32_t LengthOf(const CatalogEntry& e)
{
    return e.lastMs > e.originMs ? e.lastMs - e.originMs : 0;
}

std::optional<int64_t> OffsetInEntry(const KrvTimeText& time, const CatalogEntry& e)
{
    if (time.kind == KrvTimeText::Kind::Offset)
        return time.ms;
    if (!e.creationDate)
        return std::nullopt;
    int64_t at = time.ms;
    if (time.kind == KrvTimeText::Kind::ClockTime) {
        // The same clock time on the day the recording starts.
        const std::string day = krv_clock_text(FiletimeAt(e, 0), true, time.utc).substr(0, 10);
        std::string error;
        const std::string clock = time.text.substr(time.text.find('@') + 1);
        const std::optional<KrvTimeText> dated = krv_read_time_text(day + "T" + clock, error);
        if (!dated)
            return std::nullopt;
        at = dated->ms;
    }
    return at - UnixMsAt(e, 0);
}

} // namespace vedra
