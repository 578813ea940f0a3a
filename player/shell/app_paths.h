// Where the player keeps things on a Linux desktop. Paths are UTF-8 std::strings, without a
// trailing slash; every function reads the environment at the time of the call.
#pragma once

#include <string>

namespace vedra {

inline constexpr const char* kAppName = "Vedra Media Player";

// Folder of the running executable ("" when it cannot be read).
std::string ProgramFolder();

// $XDG_DATA_HOME (default ~/.local/share) + "/Vedra Media Player": holds only working folders.
std::string WorkRoot();

// $XDG_CONFIG_HOME (default ~/.config) + "/Vedra Media Player": holds registry.ini.
std::string ConfigFolder();

// Folder of the per-user instance lock: $XDG_RUNTIME_DIR, else /tmp/vedra-<uid>.
std::string RuntimeFolder();

// The user's pictures folder ($XDG_PICTURES_DIR, else ~/Pictures).
std::string PicturesFolder();

// True when path names a directory this process may create files in.
bool IsWritableFolder(const std::string& path);

}  // namespace vedra
