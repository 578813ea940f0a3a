// krvtool index PATH...: indexes the recordings named (folders walked) into
// the catalog, or finds them up to date there; one line per recording.
#include <cstdio>
#include <string>
#include <vector>

#include "archive_options.h"
#include "archive_times.h"
#include "batch.h"
#include "commands.h"
#include "facts_json.h"
#include "json_list.h"
#include "tool_report.h"

namespace krvtool {

namespace {

constexpr const char* kIndexUsage =
    "usage: krvtool index [--json[=array]] [--catalog FILE] [-j N] FILE|FOLDER...\n"
    "  indexes each recording (folders: their .krv and .asf files) into the catalog, or finds it up to date\n";

std::string camerasText(const vedra::CatalogEntry& e)
{
    std::string text;
    for (const vedra::CatalogChannel& c : e.channels)
        text += (text.empty() ? "" : ",") + std::to_string(c.channel);
    return text.empty() ? "none" : text;
}

std::string damageText(const vedra::CatalogEntry& e)
{
    std::string text;
    if (e.cutShort)
        text += ", cut short: kept " + std::to_string(e.packetsRead) + " of " + std::to_string(e.packetsAnnounced) +
                " packets";
    if (e.damagedPackets)
        text += ", " + std::to_string(e.damagedPackets) + " damaged packet(s) skipped";
    return text;
}

std::string indexJson(const RefreshedRecording& r)
{
    const vedra::CatalogEntry& e = r.entry;
    std::string j = "{\"file\":" + jsonString(r.path) + ",\"status\":\"" +
                    (r.state == RefreshedRecording::State::Indexed ? "indexed" : "up to date") + "\"";
    const uint32_t length = e.lastMs > e.originMs ? e.lastMs - e.originMs : 0;
    const std::string start = isoLocalTime(vedra::FiletimeAt(e, 0)), end = isoLocalTime(vedra::FiletimeAt(e, length));
    j += ",\"start_time\":" + (start.empty() ? std::string("null") : jsonString(start));
    j += ",\"end_time\":" + (end.empty() ? std::string("null") : jsonString(end));
    j += ",\"duration\":" + secondsText(length);
    j += ",\"cameras\":[";
    for (size_t i = 0; i < e.channels.size(); ++i)
        j += (i ? "," : "") + std::to_string(e.channels[i].channel);
    j += "],\"activity_seconds\":{";
    for (size_t i = 0; i < e.channels.size(); ++i)
        j += (i ? ",\"" : "\"") + std::to_string(e.channels[i].channel) +
             "\":" + std::to_string(e.channels[i].activeSeconds);
    j += "},\"cut_short\":" + std::string(e.cutShort ? "true" : "false");
    j += ",\"packets\":" + std::to_string(e.packetsRead);
    j += ",\"packets_announced\":" + std::to_string(e.packetsAnnounced);
    j += ",\"damaged_packets\":" + std::to_string(e.damagedPackets);
    j += ",\"missing_packets\":" + std::to_string(e.missingPackets) + "}";
    return j;
}

} // namespace

int runIndex(std::span<char* const> argv)
{
    ArchiveOptions options;
    std::vector<std::string> names;
    if (const std::optional<int> code = parseArchiveArgs(argv, kIndexUsage, {}, options, names))
        return *code;
    int exit = kExitOk;
    const std::vector<RefreshedRecording> done = refreshNamed(options, names, exit);
    JsonList json(options.jsonArray);
    for (const RefreshedRecording& r : done) {
        if (r.state == RefreshedRecording::State::Failed) {
            exit = worseExit(exit, kExitFailed);
            if (options.json)
                json.add(errorJson(r.path, r.code, r.message, errorName(r.code)));
            else
                std::printf("%s: %s\n", r.path.c_str(), r.message.c_str());
            continue;
        }
        if (options.json) {
            json.add(indexJson(r));
            continue;
        }
        const vedra::CatalogEntry& e = r.entry;
        std::string activity;
        for (const vedra::CatalogChannel& c : e.channels)
            activity += (activity.empty() ? "" : ", ") + std::to_string(c.channel) + ": " +
                        std::to_string(c.activeSeconds) + " s";
        std::printf("%s: %s, %s, cameras %s, activity %s%s\n", r.path.c_str(),
                    r.state == RefreshedRecording::State::Indexed ? "indexed" : "up to date", spanText(e).c_str(),
                    camerasText(e).c_str(), activity.empty() ? "none" : activity.c_str(), damageText(e).c_str());
    }
    return exit;
}

} // namespace krvtool
