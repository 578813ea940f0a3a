// krvtool bookmark FILE --at T --note TEXT [--channels 1,3]: marks an instant
// of a recording in the user's bookmark store; --edit ID and --delete ID
// change one. krvtool bookmarks PATH... [--json]: the bookmarks of recordings,
// found by their file ID wherever the recordings now lie.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "archive_times.h"
#include "catalog/bookmark_note.h"
#include "catalog/bookmark_target.h"
#include "catalog/recording_scan.h"
#include "channel_list.h"
#include "commands.h"
#include "facts_json.h"
#include "json_list.h"
#include "krv/krv_text.h"
#include "krv/krv_time.h"
#include "tool_report.h"

namespace krvtool {
namespace {

constexpr const char* kBookmarkUsage =
    "usage: krvtool bookmark FILE --at T --note TEXT [--channels 1,3]\n"
    "       krvtool bookmark --edit ID --note TEXT\n"
    "       krvtool bookmark --delete ID\n"
    "  T: an offset from the counter's 0 (75.5, 01:15), @hh:mm:ss(.mmm) or YYYY-MM-DD hh:mm:ss(.mmm)\n"
    "  --channels  the cameras it is for (default: every camera of the recording)\n"
    "  the bookmarks live in ~/.local/share/Vedra Media Player/bookmarks.sqlite\n";

constexpr const char* kBookmarksUsage = "usage: krvtool bookmarks FILE|FOLDER... [--json[=array]]\n"
                                        "  the bookmarks of the recordings, by offset\n";

uint64_t filetimeOfMs(int64_t unixMs)
{
    return kFiletimeUnixEpoch + uint64_t(unixMs) * kFiletimeTicksPerMs;
}

bool parseId(const std::string& text, int64_t& id)
{
    if (text.empty() || text.size() > 18 || !std::all_of(text.begin(), text.end(), ::isdigit))
        return false;
    id = std::stoll(text);
    return id > 0;
}

std::optional<int> storeProblem(const vedra::BookmarkStore& store)
{
    if (store.problem().empty())
        return std::nullopt;
    reportError(shown(store.problem()));
    return kExitFailed;
}

int addBookmark(const std::string& file, const std::string& atText, const std::string& note,
                const std::optional<std::vector<int>>& given)
{
    vedra::BookmarkTarget target;
    if (const int r = vedra::ReadBookmarkTarget(file, target); r < 0) {
        reportContainerError(r, r == KRV_ERROR_FAIL_OPEN_FILE ? shown(openFailure(file))
                                                              : shown(file) + " is no recording it can read");
        return kExitFailed;
    }
    std::string error;
    const std::optional<KrvTimeText> at = krv_read_time_text(atText, error);
    const std::optional<int64_t> offset = at ? krv_resolve_time(*at, target.timeline, error) : std::nullopt;
    const int64_t length = int64_t(target.timeline.lastMs) - int64_t(target.timeline.originMs);
    if (offset && *offset > length) {
        error = krv_offset_text(uint64_t(*offset)) + " is past the recording's end (" +
                krv_offset_text(uint64_t(std::max<int64_t>(length, 0))) + ")";
    }
    if (!offset || *offset > length) {
        reportError("--at: " + error);
        return kExitUsage;
    }
    std::vector<int> present;
    if (const int r = vedra::ReadCamerasIn(file, target.timeline,
                                           uint32_t(std::max<int64_t>(*offset - vedra::kBookmarkPictureAgeMs, 0)),
                                           uint32_t(*offset) + 1, present);
        r < 0) {
        reportContainerError(r, shown(file) + " is no recording it can read");
        return kExitFailed;
    }
    std::vector<int> channels = given.value_or(present);
    std::sort(channels.begin(), channels.end());
    channels.erase(std::unique(channels.begin(), channels.end()), channels.end());
    for (int c : channels)
        if (std::find(present.begin(), present.end(), c) == present.end()) {
            reportError("camera " + std::to_string(c) + " has no picture at " + krv_offset_text(uint64_t(*offset)) +
                        " in " + shown(file));
            return kExitUsage;
        }
    if (channels.empty()) {
        reportError("no camera has a picture at " + krv_offset_text(uint64_t(*offset)) + " in " + shown(file));
        return kExitUsage;
    }
    vedra::BookmarkStore store;
    if (const std::optional<int> code = storeProblem(store))
        return *code;
    vedra::Bookmark mark;
    mark.fileId = target.key.fileId;
    mark.pathHint = target.key.path;
    mark.offsetMs = uint32_t(*offset);
    mark.channels = channels;
    mark.note = note;
    const std::optional<int64_t> id = store.Add(mark, error);
    if (!id) {
        reportError(shown(error));
        return kExitFailed;
    }
    std::printf("bookmark %lld: %s +%s, cameras %s\n", (long long)*id, shown(target.key.path).c_str(),
                krv_offset_text(mark.offsetMs).c_str(), vedra::BookmarkChannelsText(channels).c_str());
    return kExitOk;
}

std::string bookmarkJson(const std::string& file, const vedra::BookmarkTarget& target, const vedra::Bookmark& b)
{
    std::string channels;
    for (int c : b.channels)
        channels += (channels.empty() ? "" : ",") + std::to_string(c);
    const std::string time = isoLocalTime(vedra::BookmarkTimeOfDay(target, b.offsetMs));
    return "{\"id\":" + std::to_string(b.id) + ",\"file\":" + jsonString(file) +
           ",\"offset\":" + secondsText(b.offsetMs) + ",\"time\":" + (time.empty() ? "null" : jsonString(time)) +
           ",\"channels\":[" + channels + "],\"note\":" + vedra::EscapeDirectionMarks(jsonString(b.note)) +
           ",\"created\":" + jsonString(isoLocalTime(filetimeOfMs(b.createdMs))) +
           ",\"edited\":" + (b.editedMs ? jsonString(isoLocalTime(filetimeOfMs(b.editedMs))) : "null") + "}";
}

} // namespace

int runBookmark(std::span<char* const> args)
{
    std::string file, at, note, editText, deleteText;
    bool hasNote = false;
    std::optional<std::vector<int>> channels;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string a = args[i];
        const bool valued = a == "--at" || a == "--note" || a == "--channels" || a == "--edit" || a == "--delete";
        if (a == "--help" || a == "-h") {
            std::fputs(kBookmarkUsage, stdout);
            return kExitOk;
        }
        if (valued && i + 1 < args.size()) {
            const std::string v = args[++i];
            if (a == "--at")
                at = v;
            else if (a == "--note")
                note = v, hasNote = true;
            else if (a == "--edit")
                editText = v;
            else if (a == "--delete")
                deleteText = v;
            else if (!ParseChannelList(v, channels.emplace())) {
                reportError("--channels takes cameras 1-4, e.g. 1,3: " + shown(v));
                return kExitUsage;
            }
            continue;
        }
        if (valued || a.starts_with("--") || !file.empty()) {
            reportError(valued ? a + " needs a value" : "unexpected " + shown(a));
            std::fputs(kBookmarkUsage, stderr);
            return kExitUsage;
        }
        file = a;
    }
    int64_t id = 0;
    const bool edit = !editText.empty(), remove = !deleteText.empty();
    const char* wrong =
        edit && remove                                                   ? "--edit and --delete exclude each other"
        : (edit || remove) && (!file.empty() || !at.empty() || channels) ? "--edit and --delete take an ID alone"
        : (edit || remove) && !parseId(edit ? editText : deleteText, id) ? "an ID is a bookmark's number"
        : edit && !hasNote                                             ? "--edit needs --note"
        : remove && hasNote                                            ? "--delete takes no --note"
        : !edit && !remove && (file.empty() || at.empty() || !hasNote) ? "a bookmark needs FILE, --at and --note"
                                                                       : nullptr;
    if (wrong) {
        reportError(wrong);
        std::fputs(kBookmarkUsage, stderr);
        return kExitUsage;
    }
    if (!edit && !remove)
        return addBookmark(file, at, note, channels);
    vedra::BookmarkStore store;
    if (const std::optional<int> code = storeProblem(store))
        return *code;
    std::string error;
    if (edit ? !store.SetNote(id, note, error) : !store.Remove(id, error)) {
        reportError(shown(error));
        return kExitFailed;
    }
    std::printf("bookmark %lld %s\n", (long long)id, edit ? "edited" : "deleted");
    return kExitOk;
}

int runBookmarks(std::span<char* const> args)
{
    std::vector<std::string> names;
    bool json = false, jsonArray = false;
    for (const char* raw : args) {
        const std::string a = raw;
        if (a == "--help" || a == "-h") {
            std::fputs(kBookmarksUsage, stdout);
            return kExitOk;
        }
        if (a == "--json" || a == "--json=array") {
            json = true;
            jsonArray = a == "--json=array";
        } else if (a.starts_with("--")) {
            reportError("unknown option " + shown(a));
            std::fputs(kBookmarksUsage, stderr);
            return kExitUsage;
        } else {
            names.push_back(a);
        }
    }
    if (names.empty()) {
        std::fputs(kBookmarksUsage, stderr);
        return kExitUsage;
    }
    vedra::BookmarkStore store;
    if (const std::optional<int> code = storeProblem(store))
        return *code;
    const vedra::RecordingScan scan = vedra::ScanRecordings(names);
    int exit = kExitOk;
    for (const std::string& p : scan.problems) {
        reportError(shown(p));
        exit = kExitFailed;
    }
    JsonList list(jsonArray);
    for (const std::string& file : scan.files) {
        vedra::BookmarkTarget target;
        if (const int r = vedra::ReadBookmarkTarget(file, target); r < 0) {
            reportError(shown(file) + ": no recording it can read (" + errorName(r) + ")");
            exit = kExitFailed;
            continue;
        }
        for (const vedra::Bookmark& b : store.ForRecording(target.key)) {
            if (json) {
                list.add(bookmarkJson(file, target, b));
                continue;
            }
            const uint64_t when = vedra::BookmarkTimeOfDay(target, b.offsetMs);
            std::printf("%lld  %s  +%s  %s  cameras %s  %s\n", (long long)b.id, shown(file).c_str(),
                        krv_offset_text(b.offsetMs).c_str(), when ? krv_clock_text(when, true, false).c_str() : "-",
                        vedra::BookmarkChannelsText(b.channels).c_str(), vedra::BookmarkNoteLine(b.note).c_str());
        }
    }
    list.finish();
    if (const std::optional<int> code = storeProblem(store))
        return *code;
    return exit;
}

} // namespace krvtool
