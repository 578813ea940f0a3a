#include "archive_times.h"

#include <cstdio>
#include <ctime>

#include "krv/krv_time.h"

namespace krvtool {

std::string isoLocalTime(uint64_t filetime)
{
    if (filetime == 0)
        return {};
    const int64_t unixMs = (int64_t(filetime) - int64_t(kFiletimeUnixEpoch)) / int64_t(kFiletimeTicksPerMs);
    const std::time_t seconds = std::time_t(unixMs >= 0 ? unixMs / 1000 : (unixMs - 999) / 1000);
    const int ms = int(unixMs - int64_t(seconds) * 1000);
    std::tm tm{};
    if (!localtime_r(&seconds, &tm))
        return {};
    const long offset = tm.tm_gmtoff;
    const long a = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms, offset < 0 ? '-' : '+', a / 3600,
                  (a / 60) % 60);
    return text;
}

std::string spanText(const vedra::CatalogEntry& e)
{
    const uint32_t length = e.lastMs > e.originMs ? e.lastMs - e.originMs : 0;
    if (!e.creationDate)
        return krv_offset_text(0) + " to " + krv_offset_text(length) + " (no creation date)";
    const std::string first = krv_clock_text(vedra::FiletimeAt(e, 0), true, false);
    const std::string last = krv_clock_text(vedra::FiletimeAt(e, length), true, false);
    return first + " to " + (first.substr(0, 10) == last.substr(0, 10) ? last.substr(11) : last);
}

std::string secondsText(int64_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%s%lld.%03lld", ms < 0 ? "-" : "", (long long)((ms < 0 ? -ms : ms) / 1000),
                  (long long)((ms < 0 ? -ms : ms) % 1000));
    return text;
}

} // namespace krvtool
