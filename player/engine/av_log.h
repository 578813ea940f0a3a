// libav's own log. Its encoders and muxers chatter at info level (statistics
// when an encoder closes); only errors matter, and they belong in our message,
// not on stderr on their own.
#pragma once

#include <string>

namespace vedra {

// From now on libav logs nothing below errors, and its errors are kept for
// the thread that caused them instead of printed. Safe to call often.
void QuietAvLog();

// The last error libav logged on this thread ("matroska: ..."), taken: empty
// when none came since the last call.
std::string TakeAvLogError();

} // namespace vedra
