// The recordings a refresh of the catalog works on: files as given and the
// recordings (krv_is_recording_name) of folders, walked with their
// subfolders or not, in name order. A folder that cannot be listed gives a
// line and the walk goes on.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace vedra {

struct RecordingScan {
    std::vector<std::string> files; // absolute, in the order found
    // Every folder walked, with the recordings found directly in it: the
    // catalog drops the rows of the others.
    std::map<std::string, std::set<std::string>> folders;
    std::vector<std::string> problems; // one line each: a name that cannot be walked
};

// `subfolders`: walk a named folder's subfolders too (links to folders are never followed).
RecordingScan ScanRecordings(const std::vector<std::string>& names, bool subfolders = true);

} // namespace vedra
