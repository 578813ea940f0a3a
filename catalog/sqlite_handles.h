// Owning handles of SQLite's connection and statement objects.
#pragma once

#include <memory>
#include <sqlite3.h>

namespace vedra {

struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct SqliteFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using SqlitePtr = std::unique_ptr<sqlite3, SqliteCloser>;
using StatementPtr = std::unique_ptr<sqlite3_stmt, SqliteFinalizer>;

} // namespace vedra
