// Where conversions put their channel files: dated working folders under a
// per-user root.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>

// "<XDG data home>/Vedra Media Player": $XDG_DATA_HOME when it is an absolute
// path, else ~/.local/share. It holds only working folders.
std::filesystem::path krv_work_root();

// "tempFile" followed by the local time as YYYYMMDDhhmmss.
std::string krv_work_folder_name(std::time_t when);

// Creates a fresh working folder for a conversion started at `when` inside
// `root`: "tempFileYYYYMMDDhhmmss", or with "_2", "_3", ... appended when a
// folder of that name already exists, so conversions within one second never
// share a folder. Creates `root` when it is missing. Returns false (and
// `folder` = the name it tried) when a folder cannot be created.
bool krv_create_work_folder(const std::filesystem::path& root, std::time_t when,
                            std::filesystem::path& folder);
