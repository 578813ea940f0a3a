// How krvtool reports: results on stdout; the container code's diagnostics,
// the messages meant for the user (the library's default sink) and errors on
// stderr.
#pragma once

#include <string>

#include "krv/krv_messages.h"

namespace krvtool {

// Prints the system's message for a container error code, then the code, its
// name and the system's reason when one is known, on stderr.
void reportContainerError(int code, KrvPhase phase, const std::string& reason = {});
// The same with the message already chosen.
void reportContainerError(int code, const std::string& message);

// Name of an error code ("KRV_ERROR_EOF"), or the number when it has none.
std::string errorName(int code);

// "krvtool: " + text on stderr.
void reportError(const std::string& text);

} // namespace krvtool
