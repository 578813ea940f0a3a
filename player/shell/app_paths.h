// Where the player keeps things on a Linux desktop, by the rule krv/krv_paths.h states for the
// player and krvtool alike. Paths are std::strings of the file system's bytes, without a
// trailing slash, "" when the user has no home; every function reads the environment at the
// time of the call.
#pragma once

#include <string>

#include "krv/krv_paths.h"

namespace vedra {

inline constexpr const char* kAppName = kKrvAppFolder;

// Folder of the running executable ("" when it cannot be read).
std::string ProgramFolder();

// <data home>/Vedra Media Player: holds only working folders.
std::string WorkRoot();

// <cache home>/Vedra Media Player/work: the working folders when WorkRoot() cannot hold them.
std::string FallbackWorkRoot();

// <config home>/Vedra Media Player: holds registry.ini.
std::string ConfigFolder();

// Folder of the per-user instance lock: $XDG_RUNTIME_DIR, else a checked private folder of the
// user's ("" when none can be had).
std::string RuntimeFolder();

// The user's pictures folder ($XDG_PICTURES_DIR, else <home>/Pictures).
std::string PicturesFolder();

// True when path names a directory this process may create files in.
bool IsWritableFolder(const std::string& path);

} // namespace vedra
