#include "catalog/bookmark_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "catalog/catalog_database.h"
#include "krv/krv_guid.h"
#include "krv/krv_paths.h"

namespace vedra {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS bookmarks (
    id         INTEGER PRIMARY KEY,
    file_id    TEXT NOT NULL,    -- the recording's file ID
    path_hint  BLOB NOT NULL,    -- where the recording was when marked
    offset_ms  INTEGER NOT NULL, -- from the counter's 0
    channels   INTEGER NOT NULL, -- bit N-1: camera N
    note       BLOB NOT NULL,    -- the user's bytes, as given
    created_ms INTEGER NOT NULL, -- ms since 1970
    edited_ms  INTEGER NOT NULL  -- 0: never edited
);
CREATE INDEX IF NOT EXISTS bookmarks_recording ON bookmarks(file_id, offset_ms);
)sql";

// What takes a store of version N to N + 1, for N = 1, 2, ...; the file is copied before any runs.
constexpr std::array<const char*, kBookmarkSchemaVersion - 1> kUpgrades{};

constexpr const char* kColumns = "id, file_id, path_hint, offset_ms, channels, note, created_ms, edited_ms";

int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string ZeroFileId()
{
    return krv_guid_text(KrvGuid{});
}

std::string Column(sqlite3_stmt* s, int i)
{
    const void* data = sqlite3_column_blob(s, i);
    return data ? std::string(static_cast<const char*>(data), size_t(sqlite3_column_bytes(s, i))) : std::string();
}

Bookmark Row(sqlite3_stmt* s)
{
    Bookmark b;
    b.id = sqlite3_column_int64(s, 0);
    b.fileId = Column(s, 1);
    b.pathHint = Column(s, 2);
    b.offsetMs = uint32_t(std::clamp<int64_t>(sqlite3_column_int64(s, 3), 0, UINT32_MAX));
    const int64_t mask = sqlite3_column_int64(s, 4);
    for (int c = 1; c <= 4; ++c)
        if (mask & (1 << (c - 1)))
            b.channels.push_back(c);
    b.note = Column(s, 5);
    b.createdMs = sqlite3_column_int64(s, 6);
    b.editedMs = sqlite3_column_int64(s, 7);
    return b;
}

enum class Verdict { Fresh, Current, Older, Bad };

// Looks at the file through a read-only connection, so that a bad one is never
// opened for writing. `why` completes "the bookmark store X ...".
Verdict Check(const fs::path& path, int64_t& version, std::string& why)
{
    // Immutable: no lock, no journal, no file made beside it; only the file's own pages are read.
    std::string uri = "file:";
    for (const unsigned char c : path.string()) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", c);
        uri += std::isalnum(c) || c == '/' || c == '.' || c == '-' || c == '_' ? std::string(1, char(c)) : hex;
    }
    uri += "?immutable=1";
    sqlite3* raw = nullptr;
    int code =
        sqlite3_open_v2(uri.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_URI, nullptr);
    SqlitePtr db(raw);
    int64_t objects = 0;
    if (code != SQLITE_OK || !SqliteInt(db.get(), "PRAGMA user_version", version, code) ||
        !SqliteInt(db.get(), "SELECT count(*) FROM sqlite_master", objects, code)) {
        why = std::string(IsDamageCode(code) ? "is damaged (" : "cannot be read (") +
              (db ? sqlite3_errmsg(db.get()) : "cannot open") + ")";
        return Verdict::Bad;
    }
    if (version > kBookmarkSchemaVersion) {
        why = "was written by a newer version of the program (schema " + std::to_string(version) + "; this one keeps " +
              std::to_string(kBookmarkSchemaVersion) + ")";
        return Verdict::Bad;
    }
    if (version == 0) {
        why = "is not a bookmark store (it holds other tables)";
        return objects == 0 ? Verdict::Fresh : Verdict::Bad;
    }
    sqlite3_stmt* rawCheck = nullptr;
    code = sqlite3_prepare_v2(db.get(), "PRAGMA quick_check", -1, &rawCheck, nullptr);
    StatementPtr check(rawCheck);
    code = code == SQLITE_OK ? sqlite3_step(check.get()) : code;
    const unsigned char* verdict = code == SQLITE_ROW ? sqlite3_column_text(check.get(), 0) : nullptr;
    if (!verdict || std::strcmp(reinterpret_cast<const char*>(verdict), "ok") != 0) {
        why = "is damaged (" +
              std::string(verdict ? reinterpret_cast<const char*>(verdict) : sqlite3_errmsg(db.get())) + ")";
        return Verdict::Bad;
    }
    sqlite3_stmt* rawTable = nullptr;
    const std::string probe = std::string("SELECT ") + kColumns + " FROM bookmarks LIMIT 0";
    code = sqlite3_prepare_v2(db.get(), probe.c_str(), -1, &rawTable, nullptr);
    StatementPtr table(rawTable);
    if (code != SQLITE_OK && version == kBookmarkSchemaVersion) {
        why = "is not a bookmark store (" + std::string(sqlite3_errmsg(db.get())) + ")";
        return Verdict::Bad;
    }
    return version == kBookmarkSchemaVersion ? Verdict::Current : Verdict::Older;
}

bool Exec(sqlite3* db, const std::string& sql, int& code)
{
    code = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    return code == SQLITE_OK;
}

// A copy of the store as it is, beside it, before its schema changes.
bool CopyBeforeUpgrade(sqlite3* db, const fs::path& path, int64_t version, std::string& why)
{
    const std::string copy = path.string() + ".schema-" + std::to_string(version) + ".copy";
    const int fd = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        why = "cannot be copied to " + copy + " before its upgrade (" + std::strerror(errno) + ")";
        return false;
    }
    ::close(fd);
    sqlite3_stmt* raw = nullptr;
    int code = sqlite3_prepare_v2(db, "VACUUM INTO ?", -1, &raw, nullptr);
    StatementPtr s(raw);
    if (code == SQLITE_OK)
        sqlite3_bind_text(s.get(), 1, copy.c_str(), -1, SQLITE_TRANSIENT);
    if (code != SQLITE_OK || sqlite3_step(s.get()) != SQLITE_DONE) {
        why = "cannot be copied to " + copy + " before its upgrade (" + sqlite3_errmsg(db) + ")";
        ::unlink(copy.c_str());
        return false;
    }
    return true;
}

} // namespace

fs::path DefaultBookmarkStorePath()
{
    const fs::path data = krv_data_home();
    return data.empty() ? fs::path() : data / kKrvAppFolder / "bookmarks.sqlite";
}

std::string BookmarkChannelsText(const std::vector<int>& channels)
{
    std::string s;
    for (int c : channels)
        s += (s.empty() ? "" : ",") + std::to_string(c);
    return s;
}

BookmarkStore::BookmarkStore(fs::path path) : path_(std::move(path))
{
    Open(false);
}

void BookmarkStore::Open(bool create)
{
    const std::string name = "the bookmark store " + path_.string() + " ";
    const std::string kept = "; it is kept as it is and nothing is written to it";
    if (path_.empty()) {
        problem_ = "no home folder for the bookmark store";
        return;
    }
    struct stat st {};
    if (::lstat(path_.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            problem_ = name + "cannot be read (" + std::strerror(errno) + ")";
            return;
        }
        if (!create)
            return; // made at the first change
        if (!krv_make_private_folder(path_.parent_path())) {
            problem_ = "the bookmark store's folder " + path_.parent_path().string() + " cannot be made (" +
                       std::strerror(errno) + ")";
            return;
        }
        // Made by us first, so SQLite and its journals get 0600; another process may have been quicker.
        const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            problem_ = name + "cannot be made (" + std::strerror(errno) + ")";
            return;
        }
        if (fd >= 0)
            ::close(fd);
    } else if (!S_ISREG(st.st_mode)) {
        problem_ = name + "is not a file" + kept;
        return;
    }
    int64_t version = 0;
    std::string why;
    const Verdict verdict = Check(path_, version, why);
    if (verdict == Verdict::Bad) {
        problem_ = name + why + kept;
        return;
    }
    sqlite3* raw = nullptr;
    int code = sqlite3_open_v2(path_.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
    SqlitePtr db(raw);
    if (code != SQLITE_OK) {
        problem_ = name + "cannot be opened (" + (db ? sqlite3_errmsg(db.get()) : "no memory") + ")";
        return;
    }
    sqlite3_busy_timeout(db.get(), kBookmarkBusyTimeoutMs);
    int64_t now = 0;
    // What the file's journal holds counts too: a newer program's last change may still sit there.
    if (SqliteInt(db.get(), "PRAGMA user_version", now, code) && now > kBookmarkSchemaVersion) {
        problem_ = name + "was written by a newer version of the program (schema " + std::to_string(now) +
                   "; this one keeps " + std::to_string(kBookmarkSchemaVersion) + ")" + kept;
        return;
    }
    Exec(db.get(), "PRAGMA journal_mode=WAL", code);
    Exec(db.get(), "PRAGMA synchronous=FULL", code); // the user's work: every change reaches the disk
    if (verdict == Verdict::Older && !CopyBeforeUpgrade(db.get(), path_, version, why)) {
        problem_ = name + why + kept;
        return;
    }
    std::string change = "BEGIN IMMEDIATE;";
    if (verdict == Verdict::Fresh)
        change += kSchema;
    for (int64_t v = verdict == Verdict::Older ? version : kBookmarkSchemaVersion; v < kBookmarkSchemaVersion; ++v)
        change += kUpgrades[size_t(v - 1)];
    change += "PRAGMA user_version=" + std::to_string(kBookmarkSchemaVersion) + ";COMMIT;";
    // Made or upgraded only when asked to and while it is still what was checked: another
    // process may have done it meanwhile.
    if (verdict != Verdict::Current && (create || verdict == Verdict::Older) && now == version &&
        !Exec(db.get(), change, code)) {
        problem_ = name + "cannot be written (" + sqlite3_errmsg(db.get()) + ")";
        Exec(db.get(), "ROLLBACK", code);
        return;
    }
    db_ = std::move(db);
}

bool BookmarkStore::Usable(std::string& error)
{
    if (!db_ && problem_.empty())
        Open(true);
    error = problem_;
    return db_ && problem_.empty();
}

bool BookmarkStore::Failed(const std::string& what, int code, std::string& error)
{
    error = "the bookmark store " + path_.string() + ": cannot " + what + " (" +
            (db_ ? sqlite3_errmsg(db_.get()) : "closed") + ")";
    // A file found damaged while in use is left alone from then on.
    if (IsDamageCode(code)) {
        problem_ = "the bookmark store " + path_.string() + " is damaged (" + sqlite3_errmsg(db_.get()) +
                   "); it is kept as it is and nothing is written to it";
        db_.reset();
        error = problem_;
    }
    return false;
}

StatementPtr BookmarkStore::Prepare(const char* sql)
{
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(db_.get(), sql, -1, &raw, nullptr);
    return StatementPtr(raw);
}

std::vector<Bookmark> BookmarkStore::ForRecording(const BookmarkKey& key)
{
    std::vector<Bookmark> out;
    if (!db_ && problem_.empty())
        Open(false); // another process may have made it meanwhile
    if (!db_ || !problem_.empty())
        return out;
    const bool byId = key.fileId != ZeroFileId();
    const std::string sql = std::string("SELECT ") + kColumns + " FROM bookmarks WHERE file_id = ?1" +
                            (byId ? "" : " AND path_hint = ?2") + " ORDER BY offset_ms, created_ms, id";
    StatementPtr s = Prepare(sql.c_str());
    if (!s) {
        std::string ignored;
        Failed("read", sqlite3_errcode(db_.get()), ignored);
        return out;
    }
    sqlite3_bind_text(s.get(), 1, key.fileId.data(), int(key.fileId.size()), SQLITE_TRANSIENT);
    if (!byId)
        sqlite3_bind_blob(s.get(), 2, key.path.data(), int(key.path.size()), SQLITE_TRANSIENT);
    int code;
    while ((code = sqlite3_step(s.get())) == SQLITE_ROW)
        out.push_back(Row(s.get()));
    if (code != SQLITE_DONE) {
        std::string ignored;
        Failed("read", code, ignored);
        out.clear();
    }
    return out;
}

std::optional<Bookmark> BookmarkStore::Find(int64_t id)
{
    if (!db_ && problem_.empty())
        Open(false);
    if (!db_ || !problem_.empty())
        return std::nullopt;
    const std::string sql = std::string("SELECT ") + kColumns + " FROM bookmarks WHERE id = ?";
    StatementPtr s = Prepare(sql.c_str());
    if (!s)
        return std::nullopt;
    sqlite3_bind_int64(s.get(), 1, id);
    const int code = sqlite3_step(s.get());
    if (code == SQLITE_ROW)
        return Row(s.get());
    std::string ignored;
    if (code != SQLITE_DONE)
        Failed("read", code, ignored);
    return std::nullopt;
}

std::optional<int64_t> BookmarkStore::Add(const Bookmark& mark, std::string& error)
{
    if (mark.note.size() > kMaxBookmarkNote) {
        error = "the note is longer than " + std::to_string(kMaxBookmarkNote) + " bytes";
        return std::nullopt;
    }
    if (!Usable(error))
        return std::nullopt;
    int64_t mask = 0;
    for (int c : mark.channels)
        if (c >= 1 && c <= 4)
            mask |= 1 << (c - 1);
    StatementPtr s = Prepare("INSERT INTO bookmarks (file_id, path_hint, offset_ms, channels, note, created_ms, "
                             "edited_ms) VALUES (?, ?, ?, ?, ?, ?, 0)");
    if (!s)
        return Failed("write", sqlite3_errcode(db_.get()), error), std::nullopt;
    sqlite3_bind_text(s.get(), 1, mark.fileId.data(), int(mark.fileId.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(s.get(), 2, mark.pathHint.data(), int(mark.pathHint.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(s.get(), 3, mark.offsetMs);
    sqlite3_bind_int64(s.get(), 4, mask);
    sqlite3_bind_blob(s.get(), 5, mark.note.data(), int(mark.note.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(s.get(), 6, NowMs());
    const int code = sqlite3_step(s.get());
    if (code != SQLITE_DONE)
        return Failed("write", code, error), std::nullopt;
    return sqlite3_last_insert_rowid(db_.get());
}

bool BookmarkStore::SetNote(int64_t id, const std::string& note, std::string& error)
{
    if (note.size() > kMaxBookmarkNote) {
        error = "the note is longer than " + std::to_string(kMaxBookmarkNote) + " bytes";
        return false;
    }
    if (!Usable(error))
        return false;
    StatementPtr s = Prepare("UPDATE bookmarks SET note = ?, edited_ms = ? WHERE id = ?");
    if (!s)
        return Failed("write", sqlite3_errcode(db_.get()), error);
    sqlite3_bind_blob(s.get(), 1, note.data(), int(note.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(s.get(), 2, NowMs());
    sqlite3_bind_int64(s.get(), 3, id);
    return Change(s.get(), id, error);
}

bool BookmarkStore::Remove(int64_t id, std::string& error)
{
    if (!Usable(error))
        return false;
    StatementPtr s = Prepare("DELETE FROM bookmarks WHERE id = ?");
    if (!s)
        return Failed("write", sqlite3_errcode(db_.get()), error);
    sqlite3_bind_int64(s.get(), 1, id);
    return Change(s.get(), id, error);
}

bool BookmarkStore::Change(sqlite3_stmt* statement, int64_t id, std::string& error)
{
    const int code = sqlite3_step(statement);
    if (code != SQLITE_DONE)
        return Failed("write", code, error);
    if (sqlite3_changes(db_.get()) == 0) {
        error = "no bookmark " + std::to_string(id);
        return false;
    }
    return true;
}

} // namespace vedra
