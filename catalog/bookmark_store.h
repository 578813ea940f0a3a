// The reviewer's bookmarks: an instant of a recording, the cameras it was
// marked for and a note. They are the user's own work, not a cache, so they
// live in a SQLite file of their own, never in the rebuildable catalog; a
// store found damaged, of a newer version or no bookmark store at all is kept
// as it is and nothing is written to it (problem() says so), and a copy is
// made before its schema is ever upgraded. Bookmarks are keyed by the
// recording's file ID (the path only a hint), so a moved recording keeps them.
//
// Each call is short (a few rows of a small file) and waits at most
// kBookmarkBusyTimeoutMs for another process's write, so the window may call
// it on its GUI thread. One thread at a time per object; any number of
// processes may use the same file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "catalog/sqlite_handles.h"

namespace vedra {

// Raised when the tables change their meaning.
inline constexpr int kBookmarkSchemaVersion = 1;
inline constexpr int kBookmarkBusyTimeoutMs = 2000;
// A note longer than this (bytes) is refused rather than stored.
inline constexpr size_t kMaxBookmarkNote = 100000;

// <XDG data home>/Vedra Media Player/bookmarks.sqlite; empty without a home.
std::filesystem::path DefaultBookmarkStorePath();

// Which recording bookmarks belong to.
struct BookmarkKey {
    std::string fileId; // the header's file ID as krv_guid_text gives it
    std::string path;   // absolute; what finds a recording whose file ID is all zeros
};

struct Bookmark {
    int64_t id = 0;
    std::string fileId;
    std::string pathHint;      // where the recording was when it was marked
    uint32_t offsetMs = 0;     // from the counter's 0
    std::vector<int> channels; // 1-4, ascending
    std::string note;          // any bytes
    int64_t createdMs = 0;     // ms since 1970
    int64_t editedMs = 0;      // 0: never edited
};

class BookmarkStore {
public:
    // Opens the store at `path` when it exists and checks it; a missing one is
    // made at the first change (its folder 0700, the file 0600).
    explicit BookmarkStore(std::filesystem::path path = DefaultBookmarkStorePath());

    const std::filesystem::path& path() const { return path_; }
    // Empty while the store can be used; else why not, naming the file. Once
    // set it stays: nothing more is read from or written to the file.
    const std::string& problem() const { return problem_; }

    // The recording's bookmarks by offset (then by when they were made).
    std::vector<Bookmark> ForRecording(const BookmarkKey& key);
    std::optional<Bookmark> Find(int64_t id);

    // Adds `mark` (its id and times are the store's); its id, or none with `error`.
    std::optional<int64_t> Add(const Bookmark& mark, std::string& error);
    bool SetNote(int64_t id, const std::string& note, std::string& error);
    bool Remove(int64_t id, std::string& error);

private:
    void Open(bool create);
    bool Usable(std::string& error);
    bool Failed(const std::string& what, int code, std::string& error);
    StatementPtr Prepare(const char* sql);
    // Runs a change of bookmark `id`; false when it failed or there is no such bookmark.
    bool Change(sqlite3_stmt* statement, int64_t id, std::string& error);

    std::filesystem::path path_;
    SqlitePtr db_; // null until the file exists and checks out
    std::string problem_;
};

// "1,3" for channels 1 and 3.
std::string BookmarkChannelsText(const std::vector<int>& channels);

} // namespace vedra
