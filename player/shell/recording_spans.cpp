#include "shell/recording_spans.h"

#include <QFileInfo>

#include "krv/krv_data_packets.h"
#include "krv/krv_reader.h"
#include "krv/krv_time.h"
#include "shell/native_path.h"

namespace vedra {
namespace {

RecordingSpan ReadSpan(const QString& path)
{
    RecordingSpan span;
    KrvFilePtr file(krv_open(NativePath(path), true));
    if (!file || krv_init(file.get()) < 0 || krv_read_timeline(file.get(), krv_file_size(*file), span.timeline) < 0)
        return span;
    const uint64_t date = krv_trusted_creation_date(span.timeline.creationDate);
    if (date == 0 || !span.timeline.hasMedia)
        return span;
    const int64_t dateMs = (static_cast<int64_t>(date) - static_cast<int64_t>(kFiletimeUnixEpoch)) /
                           static_cast<int64_t>(kFiletimeTicksPerMs);
    span.known = true;
    span.firstUnixMs = dateMs + span.timeline.originMs;
    span.lastUnixMs = dateMs + std::max(span.timeline.lastMs, span.timeline.originMs);
    return span;
}

} // namespace

const RecordingSpan& RecordingSpans::Of(const QString& path)
{
    const QFileInfo info(path);
    Cached& cached = cache_[path];
    if (cached.size != info.size() || cached.modified != info.lastModified()) {
        cached.size = info.size();
        cached.modified = info.lastModified();
        cached.span = ReadSpan(path);
    }
    return cached.span;
}

} // namespace vedra
