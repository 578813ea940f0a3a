// The recordings of one folder on one axis of time of day, from the catalog.
// Open() starts a worker that brings the catalog up to date for the folder
// (one recording at a time, below normal priority), and every recording it
// finishes is handed to the GUI thread with a queued call, where it takes its
// place in time order and the owner's callback runs; the worker never calls
// up. Everything but the worker lives on the GUI thread: construct, query and
// destroy the archive there (GUI thread only). Recordings without a creation
// date or without media have no place on the axis and are left out.
#pragma once

#include <QObject>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "catalog/catalog_database.h"
#include "krv/krv_activity.h"

namespace vedra {

struct ArchivedRecording {
    std::string path;
    int64_t firstMs = 0, lastMs = 0;    // ms since 1970: the counter's 0 and the last frame
    unsigned cameras = 0;               // bit c - 1 for camera c
    std::vector<float> secondScores[4]; // per camera 1-4 (index 0-3), per second from the counter's 0
    std::vector<KrvActivitySpan> spans; // every camera's, offsets from the counter's 0, in time order
};

struct ArchiveProgress {
    size_t done = 0;  // recordings known so far (from the catalog, indexed or failed)
    size_t total = 0; // recordings in the folder
    bool finished = false;
    std::string path;    // the recording just done; empty with `finished`
    std::string failure; // why it could not be read, when it could not
    bool placed = false; // it took a place on the axis (read, with a creation date and media)
};

// Where an instant of the folder falls.
struct FolderPlace {
    int recording = -1;    // the recording that covers it (index into recordings()), or -1
    uint32_t offsetMs = 0; // its offset there, from the counter's 0
    int before = -1;       // otherwise: the latest recording to end before it
    int after = -1;        //   and the earliest to start after it
};

// The start of an activity span.
struct ActivityStep {
    int recording = -1;
    int channel = 0;       // 1-4
    uint32_t offsetMs = 0; // from the recording's counter's 0
    int64_t unixMs = 0;
};

class FolderArchive {
public:
    using ProgressCallback = std::function<void(const ArchiveProgress&)>;

    // `catalogPath`: the catalog to answer from and keep up to date (krvtool's, by default).
    explicit FolderArchive(std::filesystem::path catalogPath = DefaultCatalogPath());
    // Stops the worker, leaving the recording it is indexing unindexed.
    ~FolderArchive();

    // Forgets the folder shown and starts on `folder` (its recordings, not
    // its subfolders). `progress` runs on the GUI thread after each recording
    // and once more at the end; it may read the archive, but not open,
    // close or destroy it.
    void Open(const std::string& folder, ProgressCallback progress);
    void Close();

    const std::string& folder() const { return folder_; }
    bool finished() const { return finished_; }
    // In time order of their first frames.
    const std::vector<ArchivedRecording>& recordings() const { return recordings_; }
    int IndexOf(const std::string& path) const; // -1 when not placed

    FolderPlace Covering(int64_t unixMs) const;

    // The start of the next (`forward`) or previous activity span of the
    // cameras in `channels` (bit c - 1) after or before the instant at
    // `offsetMs` of recording `recording`, across the folder. A span starting
    // less than kActivityStepSlackMs before the instant counts as the one
    // being looked at: going back passes it.
    std::optional<ActivityStep> NextActivity(unsigned channels, int recording, uint32_t offsetMs, bool forward) const;
    static constexpr int64_t kActivityStepSlackMs = 1000;

private:
    void Run(std::string folder, uint64_t generation);
    void Place(ArchivedRecording recording);

    std::filesystem::path catalogPath_;
    QObject context_; // queued calls from the worker run here, on the GUI thread

    // GUI thread only.
    std::string folder_;
    ProgressCallback progress_;
    std::vector<ArchivedRecording> recordings_;
    bool finished_ = false;
    uint64_t generation_ = 0; // calls queued for a folder since left are dropped

    std::thread worker_;
    std::atomic<bool> stop_{false};
};

} // namespace vedra
