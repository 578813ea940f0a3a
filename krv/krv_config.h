// Reading "Config.INI", the program's own settings file.
#pragma once

#include <filesystem>
#include <string_view>

// Integer value of `key` in `[section]` of the INI file at `path`, or
// `fallback` when the file, the section or the key is missing. Section and
// key names compare without regard to case; the value is read like atoi
// (leading blanks, optional sign, digits; anything else gives 0).
int krv_ini_get_int(const std::filesystem::path& path, std::string_view section, std::string_view key, int fallback);

// The folder holding the running program (empty when it cannot be found).
std::filesystem::path krv_program_folder();

// "Config.INI" beside the running program.
std::filesystem::path krv_config_path();

// True when "Config.INI" beside the program sets iSupportAVSyncFunc=1 in
// [SYS_SETTING]: channel files then carry the audio (A/V-sync mode).
bool krv_av_sync_enabled();
