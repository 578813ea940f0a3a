// The one function every part of the player calls to show a message box.
//
// The GUI installs a hook that shows a modal box; tests and krvtool install a
// recorder or a printer so nothing blocks. Without a hook the text goes to stderr.
#pragma once

#include <functional>
#include <string>

namespace vedra {

inline constexpr const char* kProgramName = "VedraPlayer";

// owner: the platform window the box belongs to, or nullptr.
using MessageBoxHook = std::function<void(const std::string& text, const std::string& caption, void* owner)>;

// Returns the previous hook. Safe from any thread; the hook itself is called on the caller's thread.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// An empty caption means the program name.
void ShowMessageBox(const std::string& text, const std::string& caption = {}, void* owner = nullptr);

} // namespace vedra
