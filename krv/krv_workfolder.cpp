#include "krv_workfolder.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace {

// Enough for every recording a user can convert within one second.
constexpr int kMaxFolderSuffix = 1000;

} // namespace

std::filesystem::path krv_work_root()
{
    std::filesystem::path base;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg && std::filesystem::path(xdg).is_absolute()) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home && *home ? home : "/tmp") / ".local" / "share";
    }
    return base / "Vedra Media Player";
}

std::string krv_work_folder_name(std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    char name[64];
    std::snprintf(name, sizeof name, "tempFile%04d%02d%02d%02d%02d%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return name;
}

bool krv_create_work_folder(const std::filesystem::path& root, std::time_t when,
                            std::filesystem::path& folder)
{
    std::error_code ec;
    std::filesystem::create_directories(root, ec);
    const std::string base = krv_work_folder_name(when);
    folder = root / base;
    for (int suffix = 1; suffix <= kMaxFolderSuffix; ++suffix) {
        folder = root / (suffix == 1 ? base : base + "_" + std::to_string(suffix));
        // create_directory reports false for an existing folder: the name is
        // taken by another conversion, so try the next one.
        if (std::filesystem::create_directory(folder, ec))
            return true;
        if (ec)
            return false;
    }
    return false;
}
