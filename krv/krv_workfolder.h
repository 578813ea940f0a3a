// Folders a process makes for its own work: the player's dated working
// folders and krvtool's temporary ones. Each carries a marker, the file
// ".owner.lock", held with flock for as long as its folder lives; the lock ends
// with the process, so a marker nobody holds belongs to a process that is gone.
// A process removes only folders it made itself, and a folder without a marker
// is never judged stale. The folders this process holds are the one thing the
// library keeps per process (they belong to the process, not to a caller);
// the list is guarded, so every function here is safe on any thread.
#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

// "<data home>/Vedra Media Player": the player's working folders.
std::filesystem::path krv_work_root();

// "<cache home>/Vedra Media Player/work": where they go when the work root
// cannot be used.
std::filesystem::path krv_fallback_work_root();

// "tempFile" followed by the local time as YYYYMMDDhhmmss.
std::string krv_work_folder_name(std::time_t when);

// Creates a fresh working folder for a conversion started at `when` inside
// `root`: "tempFileYYYYMMDDhhmmss", or with "_2", "_3", ... appended when a
// folder of that name already exists, so conversions within one second never
// share a folder. `root` is made private (krv_make_private_folder); the folder
// is owned (krv_create_owned_folder). Returns false (and `folder` = the name it
// tried, errno = the cause) when no folder can be made.
bool krv_create_work_folder(const std::filesystem::path& root, std::time_t when, std::filesystem::path& folder);

// Makes `folder` (0700 whatever the umask) with its marker held by this
// process. False, with errno set, when it exists already or cannot be made.
bool krv_create_owned_folder(const std::filesystem::path& folder);

// A fresh owned folder "<temp home>/<prefix>XXXXXX" with a random suffix; empty
// (errno set) when none can be made.
std::filesystem::path krv_create_temp_folder(std::string_view prefix);
// The same inside `parent`.
std::filesystem::path krv_create_temp_folder(const std::filesystem::path& parent, std::string_view prefix);

// Removes `folder` with everything in it when this process made it and it
// still carries this process's marker; anything else is left alone (false).
bool krv_remove_owned_folder(const std::filesystem::path& folder);

// Removes every folder this process made and still holds.
void krv_remove_owned_folders();

// Removes the folders of `parent` whose names begin with `prefix`, that belong
// to this user and whose marker nobody holds. Returns how many went.
// `beforeRemoval`, when given, sees each such folder first (descriptors of
// `parent` and of the folder), while this process holds its marker's lock.
using KrvStaleFolderHook = std::function<void(int parentFd, int folderFd)>;
int krv_remove_stale_folders(const std::filesystem::path& parent, std::string_view prefix,
                             const KrvStaleFolderHook& beforeRemoval = {});

// Removes the folders of `parent` whose names begin with `prefix`, that belong
// to this user and that a process killed while it made them left without a
// marker: empty, or with the marker under construction that nobody holds.
// Only for prefixes no user makes folders with by hand. Returns how many went.
int krv_remove_unmarked_folders(const std::filesystem::path& parent, std::string_view prefix);

// Deletes `folder` with everything in it; true when the folder itself went.
// Links are removed as links, never followed, and a folder that is itself a
// link is left alone. Single entries that cannot go are skipped.
bool krv_delete_tree(const std::filesystem::path& folder);

// An exclusive lock on a folder for the time of one job (flock on the folder
// itself, so nothing is left behind): a second job on the same folder is
// refused at once. Where the file system keeps no locks, the job runs unlocked.
class KrvFolderLock {
public:
    explicit KrvFolderLock(const std::filesystem::path& folder);
    ~KrvFolderLock();
    KrvFolderLock(const KrvFolderLock&) = delete;
    KrvFolderLock& operator=(const KrvFolderLock&) = delete;

    // False when another process holds the folder.
    bool acquired() const { return !busy_; }

private:
    int fd_ = -1;
    bool busy_ = false;
};
