// Installs the Turnbox module into the user's GStreamer plugin folder, where
// every GStreamer application of that user finds it, and removes it again.
#pragma once

#include <string>

namespace turnbox {

inline constexpr const char* kModuleFileName = "libgstturnbox.so";

struct InstallResult {
    bool ok;
    std::string message; // what was done, or why it failed
};

// $XDG_DATA_HOME/gstreamer-1.0/plugins (XDG_DATA_HOME defaults to ~/.local/share).
std::string UserPluginFolder();

// The module beside this program's build or install tree: <exe dir>/../lib.
std::string DefaultModulePath();

// Copies `modulePath` into `folder` under kModuleFileName, replacing an older
// copy in one step; the file must be a Turnbox plugin module.
InstallResult InstallModule(const std::string& modulePath, const std::string& folder);

// Removes the installed copy; succeeds when there is none.
InstallResult UninstallModule(const std::string& folder);

} // namespace turnbox
