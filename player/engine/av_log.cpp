#include "av_log.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdarg>
#include <mutex>

namespace vedra {
namespace {

thread_local std::string t_lastError;

void KeepErrors(void* object, int level, const char* format, va_list args)
{
    if (level > AV_LOG_ERROR)
        return;
    char line[1024];
    int printPrefix = 0; // the "[name @ 0x...]" prefix carries an address; the name alone is enough
    av_log_format_line2(object, level, format, args, line, sizeof line, &printPrefix);
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    if (text.empty())
        return;
    const AVClass* cls = object ? *static_cast<AVClass* const*>(object) : nullptr;
    if (cls && cls->item_name)
        text = std::string(cls->item_name(object)) + ": " + text;
    t_lastError = std::move(text);
}

} // namespace

void QuietAvLog()
{
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_ERROR);
        av_log_set_callback(KeepErrors);
    });
}

std::string TakeAvLogError()
{
    std::string text;
    text.swap(t_lastError);
    return text;
}

} // namespace vedra
