// The recordings that index, activity and find work on: files as given and
// the ".krv"/".asf" files of folders, walked with their subfolders, in name
// order. A folder that cannot be listed gives a line and the walk goes on.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace krvtool {

struct ArchiveScan {
    std::vector<std::string> files; // absolute, in the order found
    // Every folder walked, with the recordings found directly in it: the
    // catalog drops the rows of the others.
    std::map<std::string, std::set<std::string>> folders;
    std::vector<std::string> problems; // one line each: a name that cannot be walked
};

ArchiveScan scanArchive(const std::vector<std::string>& names);

} // namespace krvtool
