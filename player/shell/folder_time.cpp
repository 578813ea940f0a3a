// The folder in time: the span of each of its recordings, their order by time, and where a
// typed time of day lies among them.
#include <QDateTime>
#include <QFileInfo>

#include <algorithm>

#include "krv/krv_time.h"
#include "shell/open_recordings.h"
#include "view/recording_clock.h"

namespace vedra {

const RecordingSpan& OpenRecordings::SpanOf(int folderIndex)
{
    static const RecordingSpan kUnknown;
    if (folderIndex < 0 || folderIndex >= folder_.size())
        return kUnknown;
    return spans_.Of(folder_[folderIndex]);
}

std::vector<int> OpenRecordings::FolderInTimeOrder()
{
    std::vector<int> order;
    for (int i = 0; i < folder_.size(); ++i)
        order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
        const RecordingSpan& x = SpanOf(a);
        const RecordingSpan& y = SpanOf(b);
        if (x.known != y.known)
            return x.known;
        return x.known && x.firstUnixMs < y.firstUnixMs;
    });
    return order;
}

OpenRecordings::FolderTime OpenRecordings::FindInFolder(const QString& text)
{
    FolderTime found;
    const RecordingSpan* first = nullptr;
    const RecordingSpan* last = nullptr;
    for (int i = 0; i < folder_.size(); ++i) {
        const RecordingSpan& span = SpanOf(i);
        if (!span.known)
            continue;
        if (first == nullptr || span.firstUnixMs < first->firstUnixMs)
            first = &span;
        if (last == nullptr || span.lastUnixMs > last->lastUnixMs)
            last = &span;
        QString error;
        if (i == folderIndex_)
            continue;
        if (const std::optional<int64_t> ms = ResolveRecorderTime(span.timeline, text, error)) {
            found.index = i;
            found.seconds = static_cast<double>(*ms) / 1000.0;
            return found;
        }
    }
    if (first == nullptr)
        return found;
    // In no recording: read the time on a timeline over the whole folder and half a day either
    // side, so a time of day falls on the day nearest the folder, to name the recordings around it.
    constexpr int64_t kHalfDayMs = 43200000;
    KrvTimeline whole = first->timeline;
    whole.creationDate -= static_cast<uint64_t>(kHalfDayMs) * kFiletimeTicksPerMs;
    const int64_t wholeMs = last->lastUnixMs - first->firstUnixMs + 2 * kHalfDayMs;
    whole.lastMs = whole.originMs + static_cast<uint32_t>(std::min<int64_t>(wholeMs, UINT32_MAX - whole.originMs));
    QString error;
    const std::optional<int64_t> ms = ResolveRecorderTime(whole, text, error);
    if (!ms)
        return found;
    const int64_t at = first->firstUnixMs - kHalfDayMs + *ms;
    int before = -1;
    int after = -1;
    for (int i = 0; i < folder_.size(); ++i) {
        const RecordingSpan& span = SpanOf(i);
        if (span.known && span.lastUnixMs < at && (before < 0 || span.lastUnixMs > SpanOf(before).lastUnixMs))
            before = i;
        if (span.known && span.firstUnixMs > at && (after < 0 || span.firstUnixMs < SpanOf(after).firstUnixMs))
            after = i;
    }
    auto clock = [](int64_t unixMs) {
        return QDateTime::fromMSecsSinceEpoch(unixMs, Qt::UTC).toLocalTime().toString(QStringLiteral("HH:mm:ss"));
    };
    auto name = [this](int i) { return QFileInfo(folder_[i]).fileName(); };
    const QString beforeText =
        before < 0 ? QStringLiteral("none before")
                   : QStringLiteral("before: %1 (to %2)").arg(name(before), clock(SpanOf(before).lastUnixMs));
    const QString afterText =
        after < 0 ? QStringLiteral("none after")
                  : QStringLiteral("after: %1 (from %2)").arg(name(after), clock(SpanOf(after).firstUnixMs));
    found.notice =
        QStringLiteral("%1 is in no recording of the folder; %2, %3").arg(text.trimmed(), beforeText, afterText);
    return found;
}

int OpenRecordings::NextInTime(int i)
{
    const std::vector<int> order = FolderInTimeOrder();
    const auto at = std::find(order.begin(), order.end(), i);
    return at == order.end() || at + 1 == order.end() ? -1 : *(at + 1);
}

} // namespace vedra
