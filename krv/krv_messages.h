// Texts the conversion reports to the user for container error codes.
#pragma once

#include <string>

// Which step of a conversion produced the code: opening and parsing the
// recording, or splitting it into channel files.
enum class KrvPhase { Open, Split };

// The message shown for `code` in `phase`; empty when the code needs none
// (0, or any non-negative value).
std::string krv_error_message(int code, KrvPhase phase);

// Shown when a working folder or its root cannot be created.
inline constexpr const char* kKrvCreateDirError = "Create Dir error!";
