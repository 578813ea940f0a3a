// Brings the catalog up to date for the recordings of a scan: a file whose
// row matches its key is taken from the catalog, any other is indexed (N at
// once) and stored; rows of recordings gone from a folder walked are dropped.
// Runs on the caller's thread (and N - 1 more while indexing); the report's
// calls come one at a time, from any of them.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "catalog/recording_scan.h"
#include "krv/krv_activity.h"

namespace vedra {

struct RefreshedRecording {
    std::string path;
    enum class State { Indexed, UpToDate, Failed } state = State::Failed;
    CatalogEntry entry;     // Indexed and UpToDate
    int code = 0;           // Failed: a KrvError
    std::string message;    // Failed: the line to show; Indexed: a note on its activity, if any
    bool indexPass = false; // went through indexing (Indexed, or Failed while being indexed)
    bool notStored = false; // Indexed, but the catalog could not keep it
};

// The decode pass for the seconds the frame sizes cannot tell: false when it
// did not run (the activity of the sizes stays).
using ConfirmActivity = std::function<bool(const std::string& path, uint32_t originMs, KrvActivity& activity)>;

struct RefreshReport {
    std::function<void(size_t toIndex)> started;         // the catalog asked, before indexing
    std::function<void(const RefreshedRecording&)> done; // each recording once its state is final
};

struct RefreshOptions {
    int jobs = 1;                            // recordings indexed at once
    ConfirmActivity confirm;                 // none: the activity of the sizes alone
    const std::atomic<bool>* stop = nullptr; // set: the recording being indexed is left, no further one is
};

// The recordings of `scan`, in its order. A recording left unindexed by a stop is Failed with no message.
std::vector<RefreshedRecording> RefreshCatalog(Catalog& catalog, const RecordingScan& scan,
                                               const RefreshOptions& options, const RefreshReport& report = {});

} // namespace vedra
