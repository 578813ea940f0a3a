// krvtool find PATH... --at TIME: the recording that covers a time of day and
// the offset in it; when none does, the nearest recordings before and after.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "archive_options.h"
#include "archive_times.h"
#include "catalog/recordings_in_time.h"
#include "commands.h"
#include "facts_json.h"
#include "krv/krv_time.h"
#include "tool_report.h"

namespace krvtool {

namespace {

constexpr const char* kFindUsage =
    "usage: krvtool find --at TIME [--json] [--catalog FILE] [-j N] FILE|FOLDER...\n"
    "  TIME: YYYY-MM-DD hh:mm:ss(.mmm), or @hh:mm:ss(.mmm) on the recordings' own dates\n"
    "  the recording that covers it and the offset in it; exit 1 with the nearest ones when none does\n";

std::vector<int64_t> instantsOf(const KrvTimeText& t, const std::vector<vedra::TimedRecording>& spans)
{
    if (t.kind == KrvTimeText::Kind::DateTime)
        return {t.ms};
    std::vector<int64_t> out;
    for (const vedra::TimedRecording& s : spans) {
        if (const std::optional<int64_t> o = vedra::OffsetInEntry(t, *s.entry)) {
            const int64_t at = s.first + *o;
            if (std::find(out.begin(), out.end(), at) == out.end())
                out.push_back(at);
        }
    }
    return out;
}

std::string neighbourJson(const vedra::TimedRecording* s, bool before, int64_t at)
{
    if (!s)
        return "null";
    const int64_t edge = before ? s->last : s->first;
    return "{\"file\":" + jsonString(s->entry->key.path) + ",\"" + (before ? "end_time" : "start_time") +
           "\":" + jsonString(isoLocalTime(vedra::FiletimeOfUnixMs(edge))) +
           ",\"gap\":" + secondsText(before ? at - edge : edge - at) + "}";
}

} // namespace

int runFind(std::span<char* const> argv)
{
    ArchiveOptions options;
    std::vector<std::string> names;
    std::optional<KrvTimeText> at;
    const auto own = [&](const std::vector<std::string>& args, size_t& i, std::string& error) {
        if (args[i] != "--at")
            return 0;
        if (i + 1 >= args.size()) {
            error = "--at needs a time";
            return -1;
        }
        at = krv_read_time_text(args[++i], error);
        if (at && at->kind == KrvTimeText::Kind::Offset)
            error = "an offset names no recording: give YYYY-MM-DD hh:mm:ss or @hh:mm:ss";
        if (!at || at->kind == KrvTimeText::Kind::Offset) {
            error = "--at: " + error;
            return -1;
        }
        return 1;
    };
    if (const std::optional<int> code = parseArchiveArgs(argv, kFindUsage, own, options, names))
        return *code;
    if (!at) {
        std::fputs(kFindUsage, stderr);
        return kExitUsage;
    }
    int exit = kExitOk;
    const std::vector<RefreshedRecording> done = refreshNamed(options, names, exit);
    std::vector<vedra::TimedRecording> spans;
    for (const RefreshedRecording& r : done) {
        if (r.state == RefreshedRecording::State::Failed) {
            reportError(r.path + ": " + r.message);
            continue;
        }
        if (const std::optional<vedra::TimedRecording> s = vedra::TimedRecordingOf(r.entry))
            spans.push_back(*s);
    }
    const vedra::Covering a = vedra::FindCovering(instantsOf(*at, spans), spans);
    if (a.covering) {
        const int64_t offset = a.at - a.covering->first;
        const std::string when = isoLocalTime(vedra::FiletimeOfUnixMs(a.at));
        if (options.json)
            std::printf("{\"file\":%s,\"offset\":%s,\"time\":%s}\n", jsonString(a.covering->entry->key.path).c_str(),
                        secondsText(offset).c_str(), jsonString(when).c_str());
        else
            std::printf("%s  +%s  %s\n", a.covering->entry->key.path.c_str(), krv_offset_text(uint64_t(offset)).c_str(),
                        krv_clock_text(vedra::FiletimeOfUnixMs(a.at), true, false).c_str());
        return kExitOk;
    }
    if (options.json) {
        std::printf("{\"at\":%s,\"file\":null,\"before\":%s,\"after\":%s}\n",
                    a.at || !spans.empty() ? jsonString(isoLocalTime(vedra::FiletimeOfUnixMs(a.at))).c_str() : "null",
                    neighbourJson(a.before, true, a.at).c_str(), neighbourJson(a.after, false, a.at).c_str());
    } else {
        std::printf("no recording covers %s\n", at->text.c_str());
        if (a.before)
            std::printf("before: %s ends %s, %s s earlier\n", a.before->entry->key.path.c_str(),
                        krv_clock_text(vedra::FiletimeOfUnixMs(a.before->last), true, false).c_str(),
                        secondsText(a.at - a.before->last).c_str());
        if (a.after)
            std::printf("after: %s starts %s, %s s later\n", a.after->entry->key.path.c_str(),
                        krv_clock_text(vedra::FiletimeOfUnixMs(a.after->first), true, false).c_str(),
                        secondsText(a.after->first - a.at).c_str());
    }
    return kExitFailed;
}

} // namespace krvtool
