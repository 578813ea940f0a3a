// Brings the catalog up to date for the recordings named: a file whose row
// matches its key is taken from the catalog, any other is indexed (N at once)
// and stored; rows of recordings gone from a folder walked are dropped.
// Progress shows on stderr when it is a terminal.
#pragma once

#include <string>
#include <vector>

#include "archive_scan.h"
#include "catalog/catalog.h"

namespace krvtool {

struct RefreshedRecording {
    std::string path;
    enum class State { Indexed, UpToDate, Failed } state = State::Failed;
    vedra::CatalogEntry entry; // Indexed and UpToDate
    int code = 0;              // Failed: a KrvError
    std::string message;       // Failed: the line to show
};

// `jobs`: recordings indexed at once.
std::vector<RefreshedRecording> refreshCatalog(vedra::Catalog& catalog, const ArchiveScan& scan, int jobs);

// The options index, activity and find share: --catalog FILE, --json and -j N.
struct ArchiveOptions {
    std::string catalogPath; // empty: the default place
    bool json = false;
    bool jsonArray = false; // --json=array: one array instead of one object per line
    int jobs = 1;
};
// Takes args[i] (and its value) when it is one of them: 1 taken, 0 not one, -1 a bad value (`error` set).
int takeArchiveOption(const std::vector<std::string>& args, size_t& i, ArchiveOptions& options, std::string& error);

// Where the catalog is: --catalog, else the default place.
std::string catalogPathOf(const ArchiveOptions& options);

} // namespace krvtool
