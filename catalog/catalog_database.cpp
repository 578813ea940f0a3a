#include "catalog/catalog_database.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "krv/krv_paths.h"

namespace vedra {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS recordings (
    id                INTEGER PRIMARY KEY,
    path              BLOB NOT NULL UNIQUE, -- absolute, the file system's bytes
    folder            BLOB NOT NULL,
    size              INTEGER NOT NULL,
    modified_ns       INTEGER NOT NULL,
    file_id           TEXT NOT NULL,
    creation_date     INTEGER NOT NULL,     -- FILETIME, 0: none
    has_media         INTEGER NOT NULL,
    origin_ms         INTEGER NOT NULL,     -- the counter's 0
    last_ms           INTEGER NOT NULL,
    cut_short         INTEGER NOT NULL,
    packets_announced INTEGER NOT NULL,
    packets_read      INTEGER NOT NULL,
    damaged_packets   INTEGER NOT NULL,
    missing_packets   INTEGER NOT NULL,
    audio             INTEGER NOT NULL,
    audio_first_ms    INTEGER NOT NULL,
    audio_end_ms      INTEGER NOT NULL,
    indexed_at        INTEGER NOT NULL      -- seconds since 1970
);
CREATE INDEX IF NOT EXISTS recordings_folder ON recordings(folder);
CREATE TABLE IF NOT EXISTS channels (
    recording_id   INTEGER NOT NULL REFERENCES recordings(id) ON DELETE CASCADE,
    channel        INTEGER NOT NULL,
    frames         INTEGER NOT NULL,
    key_frames     INTEGER NOT NULL,
    first_ms       INTEGER NOT NULL,
    last_ms        INTEGER NOT NULL,
    active_seconds INTEGER NOT NULL,
    still_level    REAL NOT NULL,
    spread         REAL NOT NULL,
    frame_index    BLOB NOT NULL,  -- per frame: u32 time ms, u32 size with bit 31 the key flag (little-endian)
    second_scores  BLOB NOT NULL,  -- per second from the counter's 0: float32
    PRIMARY KEY (recording_id, channel)
);
CREATE TABLE IF NOT EXISTS activity (
    recording_id INTEGER NOT NULL REFERENCES recordings(id) ON DELETE CASCADE,
    channel      INTEGER NOT NULL,
    start_ms     INTEGER NOT NULL, -- offsets from the counter's 0
    end_ms       INTEGER NOT NULL,
    score        REAL NOT NULL
);
CREATE INDEX IF NOT EXISTS activity_recording ON activity(recording_id);
)sql";

// Held while the catalog file is checked, made or set aside.
class LockFile {
public:
    explicit LockFile(const fs::path& path)
    {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ >= 0)
            while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~LockFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

private:
    int fd_ = -1;
};

std::string stamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d%H%M%S", &tm);
    return buf;
}

bool exec(sqlite3* db, const char* sql, int& code)
{
    code = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    return code == SQLITE_OK;
}

enum class Verdict { Ready, SetAside, Unusable };

// Sets up an open connection: WAL, version check, schema. `why` says what is wrong.
Verdict prepare(sqlite3* db, bool persistent, std::string& why)
{
    int code = SQLITE_OK;
    sqlite3_busy_timeout(db, kCatalogBusyTimeoutMs);
    int64_t version = 0, objects = 0;
    if (!SqliteInt(db, "PRAGMA user_version", version, code) ||
        !SqliteInt(db, "SELECT count(*) FROM sqlite_master", objects, code)) {
        why = sqlite3_errmsg(db);
        return IsDamageCode(code) ? Verdict::SetAside : Verdict::Unusable;
    }
    if (version != kCatalogSchemaVersion && (version != 0 || objects != 0)) {
        why = "schema version " + std::to_string(version) + ", this program keeps version " +
              std::to_string(kCatalogSchemaVersion);
        return Verdict::SetAside;
    }
    if (persistent) {
        sqlite3_stmt* raw = nullptr;
        code = sqlite3_prepare_v2(db, "PRAGMA journal_mode=WAL", -1, &raw, nullptr);
        StatementPtr s(raw);
        if (code == SQLITE_OK)
            code = sqlite3_step(s.get());
        if (code != SQLITE_ROW ||
            std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0)), "wal") != 0) {
            why = sqlite3_errmsg(db);
            return IsDamageCode(code) ? Verdict::SetAside : Verdict::Unusable;
        }
    }
    exec(db, "PRAGMA foreign_keys=ON", code);
    exec(db, "PRAGMA synchronous=NORMAL", code);
    if (version == 0) {
        const std::string create = std::string("BEGIN IMMEDIATE;") + kSchema +
                                   "PRAGMA user_version=" + std::to_string(kCatalogSchemaVersion) + ";COMMIT;";
        if (!exec(db, create.c_str(), code)) {
            why = sqlite3_errmsg(db);
            exec(db, "ROLLBACK", code);
            return IsDamageCode(code) ? Verdict::SetAside : Verdict::Unusable;
        }
    }
    return Verdict::Ready;
}

CatalogDatabase inMemory(const fs::path& path)
{
    CatalogDatabase c;
    c.path = path;
    sqlite3* raw = nullptr;
    sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    c.db.reset(raw);
    std::string why;
    if (c.db)
        prepare(c.db.get(), false, why);
    return c;
}

// Renames the catalog and its journal files out of the way.
bool setAside(const fs::path& path, const std::string& why, const CatalogWarning& warn)
{
    const fs::path aside = path.string() + ".set-aside-" + stamp();
    if (::rename(path.c_str(), aside.c_str()) != 0 && errno != ENOENT) {
        warn("the catalog " + path.string() + " is unusable (" + why +
             ") and cannot be set aside: " + std::strerror(errno) + "; running without it");
        return false;
    }
    for (const char* suffix : {"-wal", "-shm"})
        ::unlink((path.string() + suffix).c_str());
    warn("the catalog " + path.string() + " was set aside as " + aside.filename().string() + " (" + why +
         "); a new one is built");
    return true;
}

// Opens the file and checks it; the lock is held by the caller.
CatalogDatabase openLocked(const fs::path& path, const CatalogWarning& warn, bool mayRetry)
{
    // The file is made by us first, so SQLite and its journals get 0600.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        warn("the catalog " + path.string() + " cannot be written (" + std::strerror(errno) + "); running without it");
        return inMemory(path);
    }
    ::close(fd);
    sqlite3* raw = nullptr;
    const int code = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
    CatalogDatabase c;
    c.db.reset(raw);
    c.path = path;
    c.persistent = true;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        c.inode = uint64_t(st.st_ino);
    std::string why;
    const Verdict v = code == SQLITE_OK ? prepare(c.db.get(), true, why) : Verdict::Unusable;
    if (v == Verdict::Ready)
        return c;
    if (code != SQLITE_OK)
        why = raw ? sqlite3_errmsg(raw) : "cannot open";
    c.db.reset();
    if (v == Verdict::SetAside && mayRetry && setAside(path, why, warn))
        return openLocked(path, warn, false);
    if (v == Verdict::Unusable)
        warn("the catalog " + path.string() + " cannot be used (" + why + "); running without it");
    return inMemory(path);
}

} // namespace

bool SqliteInt(sqlite3* db, const char* sql, int64_t& value, int& code)
{
    sqlite3_stmt* raw = nullptr;
    code = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    StatementPtr s(raw);
    if (code != SQLITE_OK)
        return false;
    code = sqlite3_step(s.get());
    if (code != SQLITE_ROW && code != SQLITE_DONE)
        return false;
    value = code == SQLITE_ROW ? sqlite3_column_int64(s.get(), 0) : 0;
    code = SQLITE_OK;
    return true;
}

bool IsDamageCode(int code)
{
    const int primary = code & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB || primary == SQLITE_FORMAT;
}

fs::path DefaultCatalogPath()
{
    const fs::path cache = krv_cache_home();
    return cache.empty() ? fs::path() : cache / kKrvAppFolder / "catalog.sqlite";
}

CatalogDatabase OpenCatalogDatabase(const fs::path& path, const CatalogWarning& warn)
{
    if (path.empty()) {
        warn("no home folder for the catalog; running without it");
        return inMemory(path);
    }
    const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    // The default folder is the program's own and kept private; a folder the user named is left as it is.
    std::error_code ec;
    const bool ours = path == DefaultCatalogPath();
    if ((ours || !fs::is_directory(folder, ec)) && !krv_make_private_folder(folder)) {
        warn("the catalog's folder " + folder.string() + " cannot be made (" + std::strerror(errno) +
             "); running without it");
        return inMemory(path);
    }
    LockFile lock(path.string() + ".lock");
    return openLocked(path, warn, true);
}

CatalogDatabase ReplaceDamagedCatalog(CatalogDatabase old, const CatalogWarning& warn)
{
    const fs::path path = old.path;
    const bool persistent = old.persistent;
    old.db.reset();
    if (!persistent)
        return inMemory(path);
    LockFile lock(path.string() + ".lock");
    struct stat st {};
    const bool same = ::stat(path.c_str(), &st) == 0 && uint64_t(st.st_ino) == old.inode;
    // Another process may have set it aside and made a new one meanwhile.
    if (same && !setAside(path, "damaged", warn))
        return inMemory(path);
    return openLocked(path, warn, false);
}

} // namespace vedra
