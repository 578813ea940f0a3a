// What index, activity and find share: their options (--catalog FILE,
// --json and -j N), reading their arguments, and bringing the catalog up to
// date for the names given, with progress on stderr when it is a terminal.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "catalog/catalog_refresh.h"

namespace krvtool {

using vedra::RefreshedRecording;

struct ArchiveOptions {
    std::string catalogPath; // empty: the default place
    bool json = false;
    bool jsonArray = false; // --json=array: one array instead of one object per line
    int jobs = 1;
};
// A command's own option at args[i] (and its value): 1 taken, 0 not its, -1 a bad value (`error` set).
using OwnOption = std::function<int(const std::vector<std::string>& args, size_t& i, std::string& error)>;

// Reads an archive command's arguments: the shared options, the command's
// own and the names. Null to go on, else the exit code (--help, or a bad
// command line after its message and `usage` on stderr).
std::optional<int> parseArchiveArgs(std::span<char* const> argv, const char* usage, const OwnOption& own,
                                    ArchiveOptions& options, std::vector<std::string>& names);

// Opens the catalog (--catalog, else the default place), walks the names,
// reports what cannot be walked (`exit` made worse) and refreshes.
std::vector<RefreshedRecording> refreshNamed(const ArchiveOptions& options, const std::vector<std::string>& names,
                                             int& exit);

} // namespace krvtool
