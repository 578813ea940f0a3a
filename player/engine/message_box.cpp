#include "message_box.h"

#include <cstdio>
#include <mutex>

namespace vedra {
namespace {

std::mutex& HookMutex()
{
    static std::mutex m;
    return m;
}

MessageBoxHook& Hook()
{
    static MessageBoxHook hook;
    return hook;
}

} // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    std::lock_guard lock(HookMutex());
    std::swap(Hook(), hook);
    return hook;
}

void ShowMessageBox(const std::string& text, const std::string& caption, void* owner)
{
    MessageBoxHook hook;
    {
        std::lock_guard lock(HookMutex());
        hook = Hook();
    }
    const std::string cap = caption.empty() ? std::string(kProgramName) : caption;
    if (hook) {
        hook(text, cap, owner);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", cap.c_str(), text.c_str());
}

} // namespace vedra
