#include "archive_scan.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

namespace krvtool {

namespace {

namespace fs = std::filesystem;

bool isRecordingName(const fs::path& p)
{
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext == ".krv" || ext == ".asf";
}

void walk(const fs::path& folder, ArchiveScan& scan, int depth)
{
    std::error_code ec;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    if (ec) {
        scan.problems.push_back(folder.string() + ": cannot be listed: " + ec.message());
        return;
    }
    std::vector<fs::path> files, subfolders;
    for (const fs::directory_entry& entry : it) {
        std::error_code e;
        // Links to folders are not followed, so a loop cannot trap the walk.
        if (entry.is_directory(e) && !entry.is_symlink(e))
            subfolders.push_back(entry.path());
        else if (isRecordingName(entry.path()))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::sort(subfolders.begin(), subfolders.end());
    std::set<std::string>& here = scan.folders[folder.string()];
    for (const fs::path& f : files) {
        here.insert(f.string());
        scan.files.push_back(f.string());
    }
    if (depth < 32)
        for (const fs::path& sub : subfolders)
            walk(sub, scan, depth + 1);
}

} // namespace

ArchiveScan scanArchive(const std::vector<std::string>& names)
{
    ArchiveScan scan;
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
            walk(path, scan, 0);
        else
            scan.files.push_back(path.string()); // a missing or unreadable file gets its own line
    }
    return scan;
}

} // namespace krvtool
