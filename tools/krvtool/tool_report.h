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

// Every message on stderr goes through this: the names of files in it are
// bytes, whose control characters and invalid UTF-8 are shown as \xHH (a
// message's own line breaks stay).
std::string shown(const std::string& text);

// Why `path` opens as no recording: "not a regular file", or the system's reason.
std::string openFailure(const std::string& path);

// Ends the command's output: stdout written out and closed. A write that
// failed (a full disk) is told on stderr and makes `code` a failure.
int finishOutput(int code);

} // namespace krvtool
