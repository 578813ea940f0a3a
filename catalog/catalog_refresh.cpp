#include "catalog/catalog_refresh.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

#include "krv/krv_guid.h"
#include "krv/krv_messages.h"
#include "krv/krv_reader.h"
#include "krv/krv_recording_index.h"

namespace vedra {

namespace {

std::string failureText(int code)
{
    const std::string message = krv_error_message(code, KrvPhase::Open);
    return (message.empty() ? std::string("cannot be read") : message) + " (" + krv_error_name(code) + ")";
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

void indexOne(RefreshedRecording& r, const ConfirmActivity& confirm, const std::atomic<bool>* stop)
{
    r.indexPass = true;
    KrvRecordingIndex index;
    const int code = krv_index_recording(r.path, index, stop);
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
    if (confirm && !confirm(r.path, index.timeline.originMs, activity))
        r.message = "the decode pass did not run: activity from the frame sizes alone";
    r.entry = catalogEntryOf(key, index, activity);
    r.state = RefreshedRecording::State::Indexed;
}

} // namespace

std::vector<RefreshedRecording> RefreshCatalog(Catalog& catalog, const RecordingScan& scan,
                                               const RefreshOptions& options, const RefreshReport& report)
{
    std::mutex reportMutex;
    const auto tell = [&](const RefreshedRecording& r) {
        if (!report.done)
            return;
        std::lock_guard<std::mutex> lock(reportMutex);
        report.done(r);
    };
    std::vector<RefreshedRecording> out(scan.files.size());
    std::vector<size_t> toIndex;
    for (size_t i = 0; i < scan.files.size(); ++i) {
        RefreshedRecording& r = out[i];
        r.path = scan.files[i];
        CatalogKey key;
        if (!currentKey(r.path, key, r.code, r.message)) {
            tell(r);
            continue;
        }
        if (std::optional<CatalogEntry> found = catalog.Find(key)) {
            r.entry = std::move(*found);
            r.state = RefreshedRecording::State::UpToDate;
            tell(r);
            continue;
        }
        toIndex.push_back(i);
    }
    if (report.started)
        report.started(toIndex.size());

    // Each recording is stored as soon as it is indexed, so what a stop leaves undone is all that is lost.
    std::mutex storeMutex;
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t k; (k = next.fetch_add(1)) < toIndex.size();) {
            RefreshedRecording& r = out[toIndex[k]];
            if (options.stop && options.stop->load())
                continue;
            indexOne(r, options.confirm, options.stop);
            // What a stop cut short is no index: nothing is stored or told.
            if (options.stop && options.stop->load()) {
                const std::string path = r.path;
                r = RefreshedRecording();
                r.path = path;
                continue;
            }
            if (r.state == RefreshedRecording::State::Indexed) {
                std::lock_guard<std::mutex> lock(storeMutex);
                r.notStored = !catalog.Store(r.entry);
            }
            tell(r);
        }
    };
    std::vector<std::thread> workers;
    for (int j = 1; j < std::min<int>(options.jobs, int(toIndex.size())); ++j)
        workers.emplace_back(work);
    work();
    for (std::thread& t : workers)
        t.join();

    if (!(options.stop && options.stop->load()))
        for (const auto& [folder, present] : scan.folders)
            catalog.DropVanished(folder, present);
    return out;
}

} // namespace vedra
