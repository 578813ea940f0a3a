// Where the container code's diagnostics go. A library must not write on a
// tool's stdout, so lines go through a replaceable hook (default: stderr),
// and messages meant for the user (text + caption) through another one
// (default: the log hook).
#pragma once

#include <functional>
#include <string>
#include <string_view>

using KrvLogHook = std::function<void(std::string_view line)>;
using KrvMessageHook = std::function<void(std::string_view text, std::string_view caption)>;

// Each setter returns the hook it replaces; an empty hook restores the default.
KrvLogHook krv_set_log_hook(KrvLogHook hook);
KrvMessageHook krv_set_message_hook(KrvMessageHook hook);

// printf-style diagnostic line, passed to the log hook as formatted.
void krv_log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A message the caller shows to the user.
void krv_message(std::string_view text, std::string_view caption);
