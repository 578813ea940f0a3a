// The catalog's SQLite file: where it lives, its schema and version, and what
// happens when it is damaged, of another version or cannot be written. A bad
// file is set aside (renamed, with a warning) and a fresh one made; when no
// file can be had the catalog lives in memory for this process, so a command
// runs without it rather than failing. Opening, checking and setting aside
// happen under a lock file, so two processes never set aside each other's
// fresh catalog.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "catalog/sqlite_handles.h"

namespace vedra {

// Raised when the tables change their meaning.
inline constexpr int kCatalogSchemaVersion = 1;
// How long a writer waits for another process's transaction.
inline constexpr int kCatalogBusyTimeoutMs = 30000;

// <XDG cache home>/Vedra Media Player/catalog.sqlite; empty without a home.
std::filesystem::path DefaultCatalogPath();

using CatalogWarning = std::function<void(const std::string&)>;

struct CatalogDatabase {
    SqlitePtr db;
    bool persistent = false; // false: in memory, for this process only
    std::filesystem::path path;
    uint64_t inode = 0; // of the file opened, so a replacement is not set aside again
};

// Opens (or makes) the catalog at `path`: folder 0700, file 0600, WAL, the
// schema of kCatalogSchemaVersion. Never fails: the fallback is in memory.
CatalogDatabase OpenCatalogDatabase(const std::filesystem::path& path, const CatalogWarning& warn);

// Sets a catalog found damaged while in use aside and opens a fresh one in its place.
CatalogDatabase ReplaceDamagedCatalog(CatalogDatabase old, const CatalogWarning& warn);

// True for the result codes of a file that is no sound database.
bool IsDamageCode(int code);

// The first column of a query's first row as an integer (0 when it gives no row);
// false with `code` on an error.
bool SqliteInt(sqlite3* db, const char* sql, int64_t& value, int& code);

} // namespace vedra
