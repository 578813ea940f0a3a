// The catalog of recordings: for every recording indexed, its entry (see
// catalog_entry.h), found again by the file's key. A row whose key no longer
// matches the file is never answered from; the caller indexes the file again
// and stores the new entry in its place. Used by one thread at a time; any
// number of processes may use the same catalog at once.
#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "catalog/catalog_database.h"
#include "catalog/catalog_entry.h"

namespace vedra {

class Catalog {
public:
    // Opens the catalog at `path` (see OpenCatalogDatabase); warnings go to `warn`.
    Catalog(const std::filesystem::path& path, CatalogWarning warn);

    // False when it lives in memory for this process only.
    bool persistent() const { return database_.persistent; }
    const std::filesystem::path& path() const { return database_.path; }

    // The entry stored for `key.path` when its key is `key` in full.
    // `withFrames`: also every frame of the index (large).
    std::optional<CatalogEntry> Find(const CatalogKey& key, bool withFrames = false);

    // Stores the entry in place of what the path had. False when it could not be written.
    bool Store(const CatalogEntry& entry);

    // Drops the rows of recordings directly in `folder` whose paths are not in `present`.
    // The number dropped.
    int DropVanished(const std::string& folder, const std::set<std::string>& present);

private:
    // Runs `body`; when the file turns out damaged, sets it aside, starts a
    // fresh one and runs it again.
    template <typename Body>
    auto WithRecovery(Body body) -> decltype(body());

    CatalogWarning warn_;
    CatalogDatabase database_;
};

} // namespace vedra
