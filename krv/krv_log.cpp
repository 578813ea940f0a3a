#include "krv/krv_log.h"

#include <cstdarg>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

void default_log(std::string_view line) {
    fwrite(line.data(), 1, line.size(), stderr);
}

KrvLogHook& log_hook() {
    static KrvLogHook hook = default_log;
    return hook;
}

KrvMessageHook& message_hook() {
    static KrvMessageHook hook;
    return hook;
}

} // namespace

KrvLogHook krv_set_log_hook(KrvLogHook hook) {
    KrvLogHook old = std::exchange(log_hook(), hook ? std::move(hook) : KrvLogHook(default_log));
    return old;
}

KrvMessageHook krv_set_message_hook(KrvMessageHook hook) {
    return std::exchange(message_hook(), std::move(hook));
}

void krv_log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string line;
    if (n > 0) {
        line.resize(size_t(n) + 1);
        vsnprintf(line.data(), line.size(), format, args);
        line.resize(size_t(n));
    }
    va_end(args);
    log_hook()(line);
}

void krv_message(std::string_view text, std::string_view caption) {
    if (message_hook()) {
        message_hook()(text, caption);
        return;
    }
    std::string line;
    line.append(caption).append(": ").append(text).append("\n");
    log_hook()(line);
}
