#include "catalog_refresh.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "batch.h"
#include "commands.h"
#include "krv/krv_activity.h"
#include "krv/krv_guid.h"
#include "krv/krv_messages.h"
#include "krv/krv_reader.h"
#include "krv/krv_recording_index.h"
#include "motion_helper.h"
#include "tool_report.h"

namespace krvtool {

namespace {

using vedra::CatalogKey;

std::string failureText(int code)
{
    const std::string message = krv_error_message(code, KrvPhase::Open);
    return (message.empty() ? std::string("cannot be read") : message) + " (" + errorName(code) + ")";
}

// The key of the file as it is now; false with `message` when it cannot be read.
bool currentKey(const std::string& path, CatalogKey& key, int& code, std::string& message)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        code = KRV_ERROR_FAIL_OPEN_FILE;
        message = std::string("cannot be read: ") + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        code = KRV_ERROR_FAIL_OPEN_FILE;
        message = "is no regular file";
        return false;
    }
    // The header's file ID: the header alone is read.
    uint8_t definition = 0;
    code = krv_read_audio_definition(path, definition);
    if (code == KRV_ERROR_FAIL_OPEN_FILE) {
        message = std::string("cannot be read: ") + std::strerror(errno);
        return false;
    }
    if (code < 0) {
        message = kKrvAudioDefinitionError;
        return false;
    }
    KrvFilePtr file(krv_open(path, true, nullptr));
    if (!file) {
        code = KRV_ERROR_FAIL_OPEN_FILE;
        message = std::string("cannot be read: ") + std::strerror(errno);
        return false;
    }
    code = krv_init(file.get());
    if (code < 0) {
        message = failureText(code);
        return false;
    }
    key.path = path;
    key.size = uint64_t(st.st_size);
    key.modifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    key.fileId = krv_guid_text(file->fileId);
    return true;
}

void indexOne(RefreshedRecording& r)
{
    KrvRecordingIndex index;
    const int code = krv_index_recording(r.path, index);
    if (code < 0) {
        r.code = code;
        r.message = code == KRV_ERROR_FAIL_OPEN_FILE ? "cannot be read" : failureText(code);
        return;
    }
    if (index.changedWhileRead) {
        r.code = KRV_ERROR_IO;
        r.message = "changed while being read; not indexed";
        return;
    }
    const CatalogKey key{r.path, index.fileSize, index.modifiedNs, krv_guid_text(index.fileId)};
    KrvActivity activity = krv_measure_activity(index);
    if (!confirmWithPictures(r.path, index.timeline.originMs, activity))
        r.message = "the decode pass did not run: activity from the frame sizes alone";
    r.entry = vedra::catalogEntryOf(key, index, activity);
    r.state = RefreshedRecording::State::Indexed;
}

class Progress {
public:
    explicit Progress(size_t total) : total_(total), shown_(isatty(STDERR_FILENO) == 1 && total > 0) {}
    ~Progress()
    {
        if (shown_ && drawn_)
            std::fputs("\r\033[K", stderr);
    }
    void done(const std::string& path)
    {
        if (!shown_)
            return;
        std::lock_guard<std::mutex> lock(mutex_);
        ++count_;
        const size_t slash = path.find_last_of('/');
        std::fprintf(stderr, "\r\033[Kkrvtool: indexed %zu of %zu  %s", count_, total_,
                     path.substr(slash == std::string::npos ? 0 : slash + 1).c_str());
        std::fflush(stderr);
        drawn_ = true;
    }

private:
    std::mutex mutex_;
    size_t total_;
    size_t count_ = 0;
    bool shown_;
    bool drawn_ = false;
};

} // namespace

std::vector<RefreshedRecording> refreshCatalog(vedra::Catalog& catalog, const ArchiveScan& scan, int jobs)
{
    std::vector<RefreshedRecording> out(scan.files.size());
    std::vector<size_t> toIndex;
    for (size_t i = 0; i < scan.files.size(); ++i) {
        RefreshedRecording& r = out[i];
        r.path = scan.files[i];
        CatalogKey key;
        if (!currentKey(r.path, key, r.code, r.message))
            continue;
        if (std::optional<vedra::CatalogEntry> found = catalog.Find(key)) {
            r.entry = std::move(*found);
            r.state = RefreshedRecording::State::UpToDate;
            continue;
        }
        toIndex.push_back(i);
    }

    Progress progress(toIndex.size());
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t k; (k = next.fetch_add(1)) < toIndex.size();) {
            indexOne(out[toIndex[k]]);
            progress.done(out[toIndex[k]].path);
        }
    };
    std::vector<std::thread> workers;
    for (int j = 1; j < std::min<int>(jobs, int(toIndex.size())); ++j)
        workers.emplace_back(work);
    work();
    for (std::thread& t : workers)
        t.join();

    for (size_t i : toIndex) {
        if (out[i].state != RefreshedRecording::State::Indexed)
            continue;
        if (!out[i].message.empty())
            reportError(out[i].path + ": " + out[i].message);
        if (!catalog.Store(out[i].entry))
            reportError(out[i].path + ": indexed, but the catalog could not keep it");
    }
    for (const auto& [folder, present] : scan.folders)
        catalog.DropVanished(folder, present);
    return out;
}

namespace {

int takeArchiveOption(const std::vector<std::string>& args, size_t& i, ArchiveOptions& options, std::string& error)
{
    const std::string& a = args[i];
    if (a == "--json" || a == "--json=lines") {
        options.json = true;
        return 1;
    }
    if (a == "--json=array") {
        options.json = options.jsonArray = true;
        return 1;
    }
    if (a == "--catalog") {
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            error = "--catalog needs a file";
            return -1;
        }
        options.catalogPath = args[++i];
        return 1;
    }
    if (parseJobs(args, i, options.jobs, error))
        return error.empty() ? 1 : -1;
    return 0;
}

} // namespace

std::optional<int> parseArchiveArgs(std::span<char* const> argv, const char* usage, const OwnOption& own,
                                    ArchiveOptions& options, std::vector<std::string>& names)
{
    const std::vector<std::string> args(argv.begin(), argv.end());
    for (size_t i = 0; i < args.size(); ++i) {
        std::string error;
        int taken = takeArchiveOption(args, i, options, error);
        if (taken == 0 && own)
            taken = own(args, i, error);
        if (taken < 0) {
            reportError(error);
            return kExitUsage;
        }
        if (taken)
            continue;
        if (args[i] == "--help") {
            std::fputs(usage, stdout);
            return kExitOk;
        }
        if (args[i].starts_with("-") && args[i] != "-") {
            reportError("unknown option " + args[i]);
            std::fputs(usage, stderr);
            return kExitUsage;
        }
        names.push_back(args[i]);
    }
    if (names.empty()) {
        std::fputs(usage, stderr);
        return kExitUsage;
    }
    return std::nullopt;
}

std::vector<RefreshedRecording> refreshNamed(const ArchiveOptions& options, const std::vector<std::string>& names,
                                             int& exit)
{
    const std::string path = options.catalogPath.empty() ? vedra::DefaultCatalogPath().string() : options.catalogPath;
    vedra::Catalog catalog(path, [](const std::string& w) { reportError(w); });
    const ArchiveScan scan = scanArchive(names);
    for (const std::string& p : scan.problems) {
        reportError(p);
        exit = worseExit(exit, kExitFailed);
    }
    return refreshCatalog(catalog, scan, options.jobs);
}

} // namespace krvtool
