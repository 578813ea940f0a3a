#include "folder_archive.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QMetaObject>

#include <algorithm>

#include "catalog/catalog_refresh.h"
#include "catalog/entry_times.h"
#include "catalog/recordings_in_time.h"
#include "motion/recording_activity.h"

namespace vedra {

namespace {

// Indexing gives way to playback.
constexpr int kWorkerNice = 10;

std::optional<ArchivedRecording> archivedOf(const CatalogEntry& e)
{
    const std::optional<TimedRecording> timed = TimedRecordingOf(e);
    if (!timed)
        return std::nullopt;
    ArchivedRecording a;
    a.path = e.key.path;
    a.firstMs = timed->first;
    a.lastMs = timed->last;
    for (const CatalogChannel& c : e.channels) {
        if (c.channel < 1 || c.channel > 4)
            continue;
        a.cameras |= 1u << (c.channel - 1);
        a.secondScores[c.channel - 1] = c.secondScores;
    }
    a.spans = e.spans;
    return a;
}

} // namespace

FolderArchive::FolderArchive(std::filesystem::path catalogPath) : catalogPath_(std::move(catalogPath)) {}

FolderArchive::~FolderArchive()
{
    Close();
}

void FolderArchive::Close()
{
    stop_ = true;
    if (worker_.joinable())
        worker_.join();
    stop_ = false;
    ++generation_;
    folder_.clear();
    progress_ = nullptr;
    recordings_.clear();
    finished_ = false;
}

void FolderArchive::Open(const std::string& folder, ProgressCallback progress)
{
    Close();
    folder_ = folder;
    progress_ = std::move(progress);
    worker_ = std::thread(&FolderArchive::Run, this, folder, generation_);
}

void FolderArchive::Run(std::string folder, uint64_t generation)
{
    setpriority(PRIO_PROCESS, pid_t(gettid()), kWorkerNice);
    // Queues `apply` onto the GUI thread, for this folder only.
    const auto post = [this, generation](std::function<void()> apply) {
        QMetaObject::invokeMethod(
            &context_,
            [this, generation, apply = std::move(apply)] {
                if (generation == generation_)
                    apply();
            },
            Qt::QueuedConnection);
    };
    Catalog catalog(catalogPath_, [](const std::string&) {});
    const RecordingScan scan = ScanRecordings({folder}, false);
    const size_t total = scan.files.size();
    size_t done = 0;
    RefreshOptions options;
    // The stop reaches into the recording being indexed, so closing does not wait for it.
    options.confirm = [this](const std::string& path, uint32_t originMs, KrvActivity& activity) {
        return ConfirmWithPictures(path, originMs, activity, &stop_);
    };
    options.stop = &stop_;
    RefreshReport report;
    report.done = [&](const RefreshedRecording& r) {
        ArchiveProgress p{++done, total, false, r.path, {}};
        std::optional<ArchivedRecording> a;
        if (r.state == RefreshedRecording::State::Failed)
            p.failure = r.message;
        else
            a = archivedOf(r.entry);
        p.placed = a.has_value();
        post([this, p, a = std::move(a)]() mutable {
            if (a)
                Place(std::move(*a));
            if (progress_)
                progress_(p);
        });
    };
    RefreshCatalog(catalog, scan, options, report);
    post([this, done, total] {
        finished_ = true;
        if (progress_)
            progress_(ArchiveProgress{done, total, true, {}, {}});
    });
}

void FolderArchive::Place(ArchivedRecording recording)
{
    const auto at = std::upper_bound(recordings_.begin(), recordings_.end(), recording,
                                     [](const ArchivedRecording& a, const ArchivedRecording& b) {
                                         return a.firstMs != b.firstMs ? a.firstMs < b.firstMs : a.path < b.path;
                                     });
    recordings_.insert(at, std::move(recording));
}

int FolderArchive::IndexOf(const std::string& path) const
{
    for (size_t i = 0; i < recordings_.size(); ++i)
        if (recordings_[i].path == path)
            return int(i);
    return -1;
}

FolderPlace FolderArchive::Covering(int64_t unixMs) const
{
    std::vector<TimedRecording> timed;
    timed.reserve(recordings_.size());
    for (const ArchivedRecording& r : recordings_)
        timed.push_back({nullptr, r.firstMs, r.lastMs});
    const vedra::Covering c = FindCovering({unixMs}, timed);
    const auto indexOf = [&](const TimedRecording* t) { return t ? int(t - timed.data()) : -1; };
    FolderPlace place;
    place.recording = indexOf(c.covering);
    if (place.recording >= 0)
        place.offsetMs = uint32_t(std::max<int64_t>(0, unixMs - c.covering->first));
    if (place.recording < 0) {
        place.before = indexOf(c.before);
        place.after = indexOf(c.after);
    }
    return place;
}

std::optional<ActivityStep> FolderArchive::NextActivity(unsigned channels, int recording, uint32_t offsetMs,
                                                        bool forward) const
{
    if (recording < 0 || size_t(recording) >= recordings_.size())
        return std::nullopt;
    const int64_t now = recordings_[size_t(recording)].firstMs + offsetMs;
    std::optional<ActivityStep> best;
    for (size_t i = 0; i < recordings_.size(); ++i) {
        const ArchivedRecording& r = recordings_[i];
        for (const KrvActivitySpan& s : r.spans) {
            if (s.channel < 1 || s.channel > 4 || !(channels & (1u << (s.channel - 1))))
                continue;
            const int64_t at = r.firstMs + s.startMs;
            const bool wanted = forward ? at > now : at < now - kActivityStepSlackMs;
            if (!wanted || (best && (forward ? at >= best->unixMs : at <= best->unixMs)))
                continue;
            best = ActivityStep{int(i), s.channel, s.startMs, at};
        }
    }
    return best;
}

} // namespace vedra
