#include "catalog/recording_scan.h"

#include <algorithm>
#include <filesystem>

#include "krv/krv_recording_name.h"

namespace vedra {

namespace {

namespace fs = std::filesystem;

void walk(const fs::path& folder, RecordingScan& scan, int depth, bool subfolders)
{
    std::error_code ec;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    if (ec) {
        scan.problems.push_back(folder.string() + ": cannot be listed: " + ec.message());
        return;
    }
    std::vector<fs::path> files, folders;
    for (const fs::directory_entry& entry : it) {
        std::error_code e;
        // Links to folders are not followed, so a loop cannot trap the walk.
        if (entry.is_directory(e) && !entry.is_symlink(e))
            folders.push_back(entry.path());
        else if (krv_is_recording_name(entry.path().string()))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    std::set<std::string>& here = scan.folders[folder.string()];
    for (const fs::path& f : files) {
        here.insert(f.string());
        scan.files.push_back(f.string());
    }
    if (subfolders && depth < 32)
        for (const fs::path& sub : folders)
            walk(sub, scan, depth + 1, true);
}

} // namespace

RecordingScan ScanRecordings(const std::vector<std::string>& names, bool subfolders)
{
    RecordingScan scan;
    for (const std::string& name : names) {
        std::error_code ec;
        fs::path path = fs::absolute(fs::path(name), ec).lexically_normal();
        if (ec) {
            scan.problems.push_back(name + ": " + ec.message());
            continue;
        }
        std::string text = path.string();
        if (text.size() > 1 && text.back() == '/')
            path = fs::path(text.substr(0, text.size() - 1));
        if (fs::is_directory(path, ec))
            walk(path, scan, 0, subfolders);
        else
            scan.files.push_back(path.string()); // a missing or unreadable file gets its own line
    }
    return scan;
}

} // namespace vedra
