#include "krv/krv_log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "krv/krv_text.h"

namespace {

void writeLine(const KrvMessageSink* sink, std::string_view line)
{
    if (sink && sink->log) {
        sink->log(line);
        return;
    }
    // Lines name files, whose bytes must not reach a terminal as they are.
    const bool ends = !line.empty() && line.back() == '\n';
    const std::string shown = krv_printable(ends ? line.substr(0, line.size() - 1) : line) + (ends ? "\n" : "");
    fwrite(shown.data(), 1, shown.size(), stderr);
}

} // namespace

const KrvMessageSink& krv_quiet_sink()
{
    static const KrvMessageSink quiet{[](std::string_view) {}, [](std::string_view, std::string_view) {}};
    return quiet;
}

void krv_log(const KrvMessageSink* sink, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string line;
    if (n > 0) {
        line.resize(size_t(n) + 1);
        vsnprintf(line.data(), line.size(), format, args);
        line.resize(size_t(n));
    }
    va_end(args);
    writeLine(sink, line);
}

void krv_message(const KrvMessageSink* sink, std::string_view text, std::string_view caption)
{
    if (sink && sink->message) {
        sink->message(text, caption);
        return;
    }
    std::string line;
    line.append(caption).append(": ").append(text).append("\n");
    writeLine(sink, line);
}
