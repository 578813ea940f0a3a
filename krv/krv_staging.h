// Outputs that appear whole or not at all. A job writes its files into a
// private staging folder inside the destination (".vedra-staging-XXXXXX",
// 0700, owned with a marker held for the job's life), so nobody else can plant
// a link under a name it writes to. Commit writes a journal of the moves into
// the staging folder, then moves every file to its name in the destination.
// A job killed on the way leaves the staging folder with its journal; the next
// job into that destination (krv_recover_staging) finishes or undoes the moves
// as the journal says and removes the folder.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

inline constexpr const char* kKrvStagingPrefix = ".vedra-staging-";

// A file of the staging folder and the name it takes in the destination
// (single names, no folders).
struct KrvStagedMove {
    std::string staged;
    std::string final;
};

enum class KrvCommitMode {
    Exclusive, // a taken name fails the commit; a killed commit is undone
    Replace,   // existing files of those names are replaced; a killed commit is finished
};

class KrvStaging {
public:
    KrvStaging() = default;
    ~KrvStaging(); // without a commit: files moved are taken back, and the folder goes
    KrvStaging(const KrvStaging&) = delete;
    KrvStaging& operator=(const KrvStaging&) = delete;

    // Makes the staging folder inside `destination`; false with errno set.
    bool create(const std::filesystem::path& destination);
    bool created() const { return dirFd_ >= 0; }
    // Where a staged file of that name is written.
    std::string path(const std::string& name) const;
    // Moves every file into place, the journal first. 0 when all moved, else
    // the errno of the move that failed (EEXIST: a name was taken in the
    // Exclusive mode), after the moves done so far were taken back.
    int commit(const std::vector<KrvStagedMove>& moves, KrvCommitMode mode);
    // Removes the staging folder (with what is left in it).
    void remove();

private:
    void takeBack(const std::vector<KrvStagedMove>& moves, size_t count);

    std::filesystem::path folder_;
    std::vector<std::pair<dev_t, ino_t>> moved_; // the staged files of the last commit
    int parentFd_ = -1;
    int dirFd_ = -1;
};

// Finishes or undoes, as their journals say, the commits of jobs into
// `destination` that were killed, and removes their staging folders. Folders
// of jobs that still run are left alone. Returns how many went.
int krv_recover_staging(const std::filesystem::path& destination);
