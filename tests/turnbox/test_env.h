// Paths of the build under test and the private folder of this test process.
#pragma once

#include <string>

namespace turnbox_test {

// A temporary folder of this process, removed at exit.
const std::string& PrivateHome();

inline constexpr const char* kModulePath = TURNBOX_MODULE_PATH;
inline constexpr const char* kModuleDir = TURNBOX_MODULE_DIR;
inline constexpr const char* kRegisterCommand = TURNBOX_REGISTER_COMMAND;
inline constexpr const char* kGstLaunch = TURNBOX_GST_LAUNCH;
inline constexpr const char* kGstInspect = TURNBOX_GST_INSPECT;

} // namespace turnbox_test
