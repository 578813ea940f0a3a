#include "krv/krv_time.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

// Digits only, at most `maxDigits`, within [0, limit].
bool parseField(std::string_view s, int maxDigits, long limit, long& out)
{
    if (s.empty() || int(s.size()) > maxDigits)
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false; // from_chars takes a minus sign
    long v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || v < 0 || v > limit)
        return false;
    out = v;
    return true;
}

// ".5", ".25", ".125" -> ms; empty -> 0.
bool parseFraction(std::string_view s, long& ms)
{
    ms = 0;
    if (s.empty())
        return true;
    if (s[0] != '.' || s.size() < 2 || s.size() > 4)
        return false;
    long v = 0;
    if (!parseField(s.substr(1), 3, 999, v))
        return false;
    for (size_t n = s.size() - 1; n < 3; ++n)
        v *= 10;
    ms = v;
    return true;
}

// "hh:mm:ss(.mmm)" or "mm:ss(.mmm)" -> ms; `maxHours` bounds the hours.
std::optional<int64_t> parseClock(std::string_view s, long maxHours, bool needHours)
{
    const size_t dot = s.find('.');
    long ms = 0;
    if (!parseFraction(dot == std::string_view::npos ? std::string_view() : s.substr(dot), ms))
        return std::nullopt;
    s = s.substr(0, dot);
    long parts[3] = {0, 0, 0};
    int count = 0;
    while (count < 3) {
        const size_t colon = s.find(':');
        const std::string_view field = s.substr(0, colon);
        if (!parseField(field, count == 0 ? 6 : 2, count == 0 ? 999999 : 59, parts[count]))
            return std::nullopt;
        ++count;
        if (colon == std::string_view::npos)
            break;
        s = s.substr(colon + 1);
        if (count == 3)
            return std::nullopt;
    }
    if (count < 2 || (needHours && count < 3))
        return std::nullopt;
    long h = 0, m, sec;
    if (count == 3) {
        h = parts[0];
        m = parts[1];
        sec = parts[2];
        if (h > maxHours)
            return std::nullopt;
    } else {
        m = parts[0];
        sec = parts[1];
        if (m > 59 && maxHours < 999999)
            return std::nullopt;
    }
    return ((int64_t(h) * 60 + m) * 60 + sec) * 1000 + ms;
}

// ms since 1970 of a date and a clock time, read as local time or UTC.
std::optional<int64_t> wallToUnixMs(int year, unsigned month, unsigned day, int64_t clockMs, bool utc)
{
    using namespace std::chrono;
    const year_month_day date{std::chrono::year(year), std::chrono::month(month), std::chrono::day(day)};
    if (!date.ok())
        return std::nullopt;
    if (utc)
        return int64_t(sys_days(date).time_since_epoch() / milliseconds(1)) + clockMs;
    // mktime settles daylight saving for that very hour.
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = int(month) - 1;
    tm.tm_mday = int(day);
    tm.tm_hour = int(clockMs / 3600000);
    tm.tm_min = int(clockMs / 60000 % 60);
    tm.tm_sec = int(clockMs / 1000 % 60);
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == std::time_t(-1))
        return std::nullopt;
    return int64_t(t) * 1000 + clockMs % 1000;
}

// The calendar day (in local time or UTC) holding a moment.
bool dayOf(int64_t unixMs, bool utc, int& year, unsigned& month, unsigned& day)
{
    using namespace std::chrono;
    if (utc) {
        const year_month_day date{floor<days>(sys_time<milliseconds>(milliseconds(unixMs)))};
        year = int(date.year());
        month = unsigned(date.month());
        day = unsigned(date.day());
        return true;
    }
    const std::time_t seconds = std::time_t(unixMs / 1000);
    std::tm tm{};
    if (!localtime_r(&seconds, &tm))
        return false;
    year = tm.tm_year + 1900;
    month = unsigned(tm.tm_mon + 1);
    day = unsigned(tm.tm_mday);
    return true;
}

int64_t unixMsOf(uint64_t filetime)
{
    return (int64_t(filetime) - int64_t(kFiletimeUnixEpoch)) / int64_t(kFiletimeTicksPerMs);
}

// A time of day this close past the last frame still counts as inside: the last frame lasts a while.
constexpr int64_t kTimeOfDaySlackMs = 1000;

} // namespace

std::string krv_local_time_name(std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    char name[32];
    std::snprintf(name, sizeof name, "%04d%02d%02d%02d%02d%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                  local.tm_hour, local.tm_min, local.tm_sec);
    return name;
}

double krv_duration_seconds(uint64_t duration)
{
    return double(duration) / kFiletimeTicksPerSecond;
}

uint64_t krv_play_length_ms(uint64_t playDuration, uint64_t prerollMs)
{
    const uint64_t playMs = playDuration / kFiletimeTicksPerMs;
    return playMs > prerollMs ? playMs - prerollMs : 0;
}

uint64_t krv_time_of_day(uint64_t creationDate, uint32_t offsetMs)
{
    creationDate = krv_trusted_creation_date(creationDate);
    return creationDate == 0 ? 0 : creationDate + uint64_t(offsetMs) * kFiletimeTicksPerMs;
}

std::string krv_iso8601_utc(uint64_t filetime)
{
    using namespace std::chrono;
    if (filetime == 0 || krv_trusted_creation_date(filetime) == 0)
        return {};
    const sys_time<milliseconds> t{floor<milliseconds>(
        duration<int64_t, std::ratio<1, 10000000>>(int64_t(filetime) - int64_t(kFiletimeUnixEpoch)))};
    const sys_days day = floor<days>(t);
    const year_month_day date{day};
    const hh_mm_ss clock{t - day};
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02lldZ", int(date.year()), unsigned(date.month()),
                  unsigned(date.day()), int(clock.hours().count()), int(clock.minutes().count()),
                  (long long)clock.seconds().count());
    std::string s = text;
    std::snprintf(text, sizeof text, ".%03lld", (long long)clock.subseconds().count());
    s.insert(s.size() - 1, text);
    return s;
}

std::string krv_offset_text(uint64_t ms)
{
    char text[40];
    std::snprintf(text, sizeof text, "%02llu:%02u:%02u.%03u", (unsigned long long)(ms / 3600000),
                  unsigned(ms / 60000 % 60), unsigned(ms / 1000 % 60), unsigned(ms % 1000));
    return text;
}

std::optional<KrvTimeText> krv_read_time_text(std::string_view text, std::string& error)
{
    const std::string shown(text);
    auto fail = [&](const std::string& why) -> std::optional<KrvTimeText> {
        error = why;
        return std::nullopt;
    };
    if (text.empty())
        return fail("empty time");
    KrvTimeText t;
    t.text = shown;
    const bool dated = text.size() > 10 && text[4] == '-' && text[7] == '-';
    if (text[0] != '@' && !dated) {
        if (text.find(':') == std::string_view::npos) {
            const size_t dot = text.find('.');
            long seconds = 0, ms = 0;
            if (!parseField(text.substr(0, dot), 9, 999999999, seconds) ||
                !parseFraction(dot == std::string_view::npos ? std::string_view() : text.substr(dot), ms))
                return fail("not a time: " + shown + " (seconds, hh:mm:ss.mmm, @hh:mm:ss or YYYY-MM-DDThh:mm:ss)");
            t.ms = int64_t(seconds) * 1000 + ms;
            return t;
        }
        if (auto ms = parseClock(text, 999999, false)) {
            t.ms = *ms;
            return t;
        }
        return fail("not a time: " + shown + " (seconds, hh:mm:ss.mmm, @hh:mm:ss or YYYY-MM-DDThh:mm:ss)");
    }

    t.utc = text.back() == 'Z';
    if (t.utc)
        text.remove_suffix(1);
    if (text[0] == '@') {
        const std::optional<int64_t> clock = parseClock(text.substr(1), 23, true);
        if (!clock)
            return fail("not a time of day: " + shown + " (@hh:mm:ss.mmm)");
        t.kind = KrvTimeText::Kind::ClockTime;
        t.ms = *clock;
        return t;
    }
    // YYYY-MM-DD[T ]clock
    long year = 0, month = 0, mday = 0;
    if (text.size() < 11 || !parseField(text.substr(0, 4), 4, 9999, year) ||
        !parseField(text.substr(5, 2), 2, 12, month) || !parseField(text.substr(8, 2), 2, 31, mday) ||
        (text[10] != 'T' && text[10] != ' '))
        return fail("not a date and time: " + shown);
    const std::optional<int64_t> clock = parseClock(text.substr(11), 23, true);
    const std::optional<int64_t> at =
        clock ? wallToUnixMs(int(year), unsigned(month), unsigned(mday), *clock, t.utc) : std::nullopt;
    if (!at)
        return fail("not a date and time: " + shown);
    t.kind = KrvTimeText::Kind::DateTime;
    t.ms = *at;
    return t;
}

std::string krv_clock_text(uint64_t filetime, bool withDate, bool utc)
{
    const int64_t unixMs = unixMsOf(filetime);
    const std::time_t seconds = std::time_t(unixMs >= 0 ? unixMs / 1000 : (unixMs - 999) / 1000);
    const int ms = int(unixMs - int64_t(seconds) * 1000);
    std::tm tm{};
    if (!(utc ? gmtime_r(&seconds, &tm) : localtime_r(&seconds, &tm)))
        return {};
    char text[48];
    if (withDate)
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d%s", tm.tm_year + 1900, tm.tm_mon + 1,
                      tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms, utc ? "Z" : "");
    else
        std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d%s", tm.tm_hour, tm.tm_min, tm.tm_sec, ms, utc ? "Z" : "");
    return text;
}

std::optional<int64_t> krv_resolve_time(const KrvTimeText& t, const KrvTimeline& timeline, std::string& error)
{
    if (t.kind == KrvTimeText::Kind::Offset)
        return t.ms;
    if (timeline.creationDate == 0) {
        error = t.text + " is a time of day, but the recording has no creation date: give an offset";
        return std::nullopt;
    }
    // Recording times of the first frame and of a second past the last, as ms since 1970.
    const int64_t firstUnixMs = unixMsOf(timeline.creationDate) + int64_t(timeline.originMs);
    const int64_t lastUnixMs = unixMsOf(timeline.creationDate) + int64_t(std::max(timeline.lastMs, timeline.originMs));
    auto inside = [&](int64_t at) { return at >= firstUnixMs && at <= lastUnixMs + kTimeOfDaySlackMs; };

    std::optional<int64_t> found;
    if (t.kind == KrvTimeText::Kind::DateTime) {
        if (inside(t.ms))
            found = t.ms;
    } else {
        // The clock time on each day the recording touches, earliest first.
        constexpr int64_t kDayMs = 86400000;
        for (int64_t day = firstUnixMs; !found && day < lastUnixMs + kDayMs; day += kDayMs) {
            int year = 0;
            unsigned month = 0, mday = 0;
            if (!dayOf(day, t.utc, year, month, mday))
                continue;
            const std::optional<int64_t> at = wallToUnixMs(year, month, mday, t.ms, t.utc);
            if (at && inside(*at)) {
                found = at;
                break;
            }
        }
    }
    if (!found) {
        const uint64_t first = krv_time_of_day(timeline.creationDate, timeline.originMs);
        const uint64_t last = krv_time_of_day(timeline.creationDate, std::max(timeline.lastMs, timeline.originMs));
        const bool withDate =
            t.kind == KrvTimeText::Kind::DateTime ||
            krv_clock_text(first, true, t.utc).substr(0, 10) != krv_clock_text(last, true, t.utc).substr(0, 10);
        error = t.text + " is not in this recording: " + krv_clock_text(first, withDate, t.utc) + " to " +
                krv_clock_text(last, withDate, t.utc);
        return std::nullopt;
    }
    return *found - firstUnixMs;
}
