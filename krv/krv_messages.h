// Texts the conversion reports to the user for container error codes.
#pragma once

#include <string>

#include "krv/krv_splitter.h"

// Which step of a conversion produced the code: opening and parsing the
// recording, or splitting it into channel files.
enum class KrvPhase { Open, Split };

// The message shown for `code` in `phase`; empty when the code needs none
// (0, or any non-negative value).
std::string krv_error_message(int code, KrvPhase phase);

// Name of an error code ("KRV_ERROR_EOF"), or the number when it has none.
std::string krv_error_name(int code);

// The system's reason a split could not create or write a file, with the file:
// "No space left on device (/path/Video2.krv)"; empty when none is known.
std::string krv_failure_text(const KrvSplitFailure& failure);

// Shown when a working folder or its root cannot be created.
inline constexpr const char* kKrvCreateDirError = "Create Dir error!";
