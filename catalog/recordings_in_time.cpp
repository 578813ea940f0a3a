#include "catalog/recordings_in_time.h"

#include <algorithm>
#include <tuple>

#include "catalog/entry_times.h"

namespace vedra {

std::optional<TimedRecording> TimedRecordingOf(const CatalogEntry& e)
{
    if (!e.creationDate || !e.hasMedia)
        return std::nullopt;
    return TimedRecording{&e, UnixMsAt(e, 0), UnixMsAt(e, LengthOf(e))};
}

Covering FindCovering(const std::vector<int64_t>& instants, const std::vector<TimedRecording>& recordings)
{
    Covering best;
    int64_t bestDistance = INT64_MAX;
    for (int64_t at : instants) {
        Covering a;
        a.at = at;
        const TimedRecording* slack = nullptr;
        for (const TimedRecording& s : recordings) {
            if (at >= s.first && at <= s.last) {
                a.covering = a.covering ? a.covering : &s;
                continue;
            }
            // A second past the last frame still belongs to it, as krv_resolve_time allows,
            // unless the next recording has begun.
            if (at > s.last && at <= s.last + 1000) {
                slack = slack ? slack : &s;
                continue;
            }
            if (s.last < at && (!a.before || s.last > a.before->last))
                a.before = &s;
            if (s.first > at && (!a.after || s.first < a.after->first))
                a.after = &s;
        }
        a.covering = a.covering ? a.covering : slack;
        if (a.covering)
            return a;
        const int64_t distance =
            std::min(a.before ? at - a.before->last : INT64_MAX, a.after ? a.after->first - at : INT64_MAX);
        if (distance < bestDistance || bestDistance == INT64_MAX) {
            best = a;
            bestDistance = distance;
        }
    }
    return best;
}

std::vector<TimedSpan> ActivityInTimeOrder(const std::vector<const CatalogEntry*>& entries, unsigned channels)
{
    std::vector<TimedSpan> rows;
    for (size_t f = 0; f < entries.size(); ++f) {
        const CatalogEntry& e = *entries[f];
        const bool dated = e.creationDate != 0;
        for (const KrvActivitySpan& s : e.spans)
            if (s.channel >= 1 && s.channel <= 4 && (channels & (1u << (s.channel - 1))))
                rows.push_back({&e, s, dated ? 0 : f + 1, dated ? UnixMsAt(e, s.startMs) : int64_t(s.startMs)});
    }
    std::stable_sort(rows.begin(), rows.end(), [](const TimedSpan& a, const TimedSpan& b) {
        return std::tie(a.group, a.sortKey, a.span.channel) < std::tie(b.group, b.sortKey, b.span.channel);
    });
    return rows;
}

} // namespace vedra
