// The user's folders, one rule for the player and krvtool alike: an XDG
// variable when it holds an absolute path, else a folder under the home
// ($HOME when absolute, else the home of the user's passwd entry). There is
// no shared fallback: without a home these give an empty path.
#pragma once

#include <filesystem>

// The folder every per-user place of the program is named after.
inline constexpr const char* kKrvAppFolder = "Vedra Media Player";

// "" when neither $HOME nor the passwd entry names one.
std::filesystem::path krv_home_folder();

// $XDG_DATA_HOME, else <home>/.local/share.
std::filesystem::path krv_data_home();

// $XDG_CONFIG_HOME, else <home>/.config.
std::filesystem::path krv_config_home();

// $XDG_CACHE_HOME, else <home>/.cache.
std::filesystem::path krv_cache_home();

// $TMPDIR when absolute, else /tmp. Shared by every user: only for folders
// made under unguessable names or checked with krv_make_private_folder.
std::filesystem::path krv_temp_home();

// Makes `folder` a private folder of this user, created 0700 with its missing
// parents (the umask may take more). True only when lstat shows a real
// directory (not a link) owned by the user; group and other access to it is
// then taken away, whatever the umask gave it before.
bool krv_make_private_folder(const std::filesystem::path& folder);

// Where the player's instance lock lives: $XDG_RUNTIME_DIR, else
// <temp>/vedra-<uid>, else <cache>/Vedra Media Player/run, the first that
// krv_make_private_folder accepts; "" when none does.
std::filesystem::path krv_runtime_folder();
