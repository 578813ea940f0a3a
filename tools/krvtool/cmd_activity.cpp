// krvtool activity PATH...: the activity spans of the recordings named, in
// time order, from the catalog (indexing what is missing or stale first).
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "archive_options.h"
#include "archive_times.h"
#include "batch.h"
#include "catalog/recordings_in_time.h"
#include "commands.h"
#include "facts_json.h"
#include "json_list.h"
#include "krv/krv_time.h"
#include "tool_report.h"

namespace krvtool {

namespace {

constexpr const char* kActivityUsage =
    "usage: krvtool activity [--channels 1,3] [--from T] [--to T] [--json[=array]] [--catalog FILE] [-j N]\n"
    "                        FILE|FOLDER...\n"
    "  the activity spans of every camera in time order: file, camera, start and end as time of day\n"
    "  and as offsets, score. T: seconds, [hh:]mm:ss(.mmm), @hh:mm:ss(.mmm) or YYYY-MM-DDThh:mm:ss(.mmm)\n";

bool parseChannels(const std::string& text, unsigned& mask)
{
    mask = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        const size_t comma = text.find(',', pos);
        const std::string item = text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        if (item.size() != 1 || item[0] < '1' || item[0] > '4')
            return false;
        mask |= 1u << (item[0] - '1');
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }
    return mask != 0;
}

std::string rowJson(const vedra::TimedSpan& r)
{
    const vedra::CatalogEntry& e = *r.entry;
    const std::string start = isoLocalTime(vedra::FiletimeAt(e, r.span.startMs));
    const std::string end = isoLocalTime(vedra::FiletimeAt(e, r.span.endMs));
    char score[32];
    std::snprintf(score, sizeof score, "%.1f", r.span.score);
    return "{\"file\":" + jsonString(e.key.path) + ",\"channel\":" + std::to_string(r.span.channel) +
           ",\"start\":" + secondsText(r.span.startMs) + ",\"end\":" + secondsText(r.span.endMs) +
           ",\"start_time\":" + (start.empty() ? "null" : jsonString(start)) +
           ",\"end_time\":" + (end.empty() ? "null" : jsonString(end)) + ",\"score\":" + score + "}";
}

std::string rowText(const vedra::TimedSpan& r)
{
    const vedra::CatalogEntry& e = *r.entry;
    std::string when;
    if (e.creationDate)
        when = krv_clock_text(vedra::FiletimeAt(e, r.span.startMs), true, false) + " to " +
               krv_clock_text(vedra::FiletimeAt(e, r.span.endMs), false, false) + "  ";
    char line[64];
    std::snprintf(line, sizeof line, "  score %.1f", r.span.score);
    return e.key.path + "  camera " + std::to_string(r.span.channel) + "  " + when + "+" +
           krv_offset_text(r.span.startMs) + " to +" + krv_offset_text(r.span.endMs) + line;
}

} // namespace

int runActivity(std::span<char* const> argv)
{
    ArchiveOptions options;
    std::vector<std::string> names;
    unsigned channels = 0xF;
    std::optional<KrvTimeText> from, to;
    const auto own = [&](const std::vector<std::string>& args, size_t& i, std::string& error) {
        const std::string& a = args[i];
        if (a != "--channels" && a != "--from" && a != "--to")
            return 0;
        if (i + 1 >= args.size()) {
            error = a + " needs a value";
            return -1;
        }
        const std::string& v = args[++i];
        if (a == "--channels") {
            if (parseChannels(v, channels))
                return 1;
            error = "--channels takes channels 1-4, e.g. 1,3: " + v;
            return -1;
        }
        std::optional<KrvTimeText> t = krv_read_time_text(v, error);
        if (!t) {
            error = a + ": " + error;
            return -1;
        }
        (a == "--from" ? from : to) = t;
        return 1;
    };
    if (const std::optional<int> code = parseArchiveArgs(argv, kActivityUsage, own, options, names))
        return *code;
    int exit = kExitOk;
    const std::vector<RefreshedRecording> done = refreshNamed(options, names, exit);
    // Each recording's --from and --to as offsets into it.
    std::vector<const vedra::CatalogEntry*> entries;
    std::vector<std::pair<int64_t, int64_t>> bounds;
    for (const RefreshedRecording& r : done) {
        if (r.state == RefreshedRecording::State::Failed) {
            reportError(r.path + ": " + r.message);
            exit = worseExit(exit, kExitFailed);
            continue;
        }
        const std::optional<int64_t> lo =
            from ? vedra::OffsetInEntry(*from, r.entry) : std::optional<int64_t>(INT64_MIN);
        const std::optional<int64_t> hi = to ? vedra::OffsetInEntry(*to, r.entry) : std::optional<int64_t>(INT64_MAX);
        if (!lo || !hi) {
            reportError(r.path + ": has no creation date; --from and --to take offsets for it");
            continue;
        }
        entries.push_back(&r.entry);
        bounds.emplace_back(*lo, *hi);
    }
    std::vector<vedra::TimedSpan> rows = vedra::ActivityInTimeOrder(entries, channels);
    std::erase_if(rows, [&](const vedra::TimedSpan& row) {
        const auto& [lo, hi] = bounds[size_t(std::find(entries.begin(), entries.end(), row.entry) - entries.begin())];
        return int64_t(row.span.endMs) <= lo || int64_t(row.span.startMs) >= hi;
    });
    JsonList json(options.jsonArray);
    for (const vedra::TimedSpan& r : rows) {
        if (options.json)
            json.add(rowJson(r));
        else
            std::printf("%s\n", rowText(r).c_str());
    }
    return exit;
}

} // namespace krvtool
