#include "krv/krv_workfolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "krv/krv_paths.h"
#include "krv/krv_time.h"

namespace fs = std::filesystem;

namespace {

// Enough for every recording a user can convert within one second.
constexpr int kMaxFolderSuffix = 1000;
constexpr const char* kMarker = ".owner.lock";
// The marker is made under this name, locked, then renamed: whoever sees
// kMarker sees it locked while its owner lives.
constexpr const char* kMarkerUnderConstruction = ".owner.new";

// Folders this process made -> the descriptor holding the lock on their
// marker. The player converts on a worker thread and closes on the GUI thread.
std::mutex g_ownedMutex;
std::map<std::string, int> g_owned;

std::string key(const fs::path& folder)
{
    return folder.lexically_normal().string();
}

bool isDotOrDotDot(const char* name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Empties the directory open as dirFd (the descriptor is consumed). Works on
// descriptors and names relative to them, so nothing can be swapped for a
// link between the check and the use.
void emptyDirectory(int dirFd)
{
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (isDotOrDotDot(name))
            continue;
        struct stat st {};
        if (fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            const int child = openat(dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0)
                emptyDirectory(child);
            unlinkat(dirfd(dir), name, AT_REMOVEDIR);
        } else {
            unlinkat(dirfd(dir), name, 0);
        }
    }
    closedir(dir);
}

// Puts a held marker into the fresh, empty folder; the lock descriptor, or -1.
int markOwned(const fs::path& folder)
{
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0)
        return -1;
    int fd = -1;
    // mkdir and mkdtemp honour the umask, which may take the owner's own rights.
    if (fchmod(dir, 0700) == 0)
        fd = openat(dir, kMarkerUnderConstruction, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 && (flock(fd, LOCK_EX | LOCK_NB) != 0 || renameat(dir, kMarkerUnderConstruction, dir, kMarker) != 0)) {
        const int saved = errno;
        close(fd);
        unlinkat(dir, kMarkerUnderConstruction, 0);
        errno = saved;
        fd = -1;
    }
    const int saved = errno;
    close(dir);
    errno = saved;
    return fd;
}

void hold(const fs::path& folder, int fd)
{
    std::lock_guard<std::mutex> lock(g_ownedMutex);
    g_owned[key(folder)] = fd;
}

// True when `folder` still holds the marker behind `lockFd`.
bool carriesMarker(int dirFd, int lockFd)
{
    struct stat held {
    }, found{};
    return fstat(lockFd, &held) == 0 && fstatat(dirFd, kMarker, &found, AT_SYMLINK_NOFOLLOW) == 0 &&
           held.st_dev == found.st_dev && held.st_ino == found.st_ino;
}

// The folders in parentFd whose names begin with `prefix` and that belong to this user.
std::vector<std::string> ownFolders(int parentFd, std::string_view prefix)
{
    std::vector<std::string> names;
    if (DIR* dir = fdopendir(dup(parentFd))) {
        while (const dirent* entry = readdir(dir)) {
            struct stat st {};
            if (std::string_view(entry->d_name).starts_with(prefix) && !isDotOrDotDot(entry->d_name) &&
                fstatat(parentFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) &&
                st.st_uid == geteuid())
                names.emplace_back(entry->d_name);
        }
        closedir(dir);
    }
    return names;
}

// The folders of krv_remove_stale_folders, or with `unmarked` those of
// krv_remove_unmarked_folders.
int removeLeftFolders(const fs::path& parent, std::string_view prefix, bool unmarked,
                      const KrvStaleFolderHook& beforeRemoval)
{
    const int parentFd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (parentFd < 0)
        return 0;
    int removed = 0;
    for (const std::string& name : ownFolders(parentFd, prefix)) {
        const int dir = openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dir < 0)
            continue;
        const int marker =
            openat(dir, unmarked ? kMarkerUnderConstruction : kMarker, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        // No marker: not made by a process of ours (or, unmarked, made by one
        // killed at once). A held one: its owner lives (this process's own
        // folders too: a second open description conflicts).
        const bool left = marker >= 0 ? flock(marker, LOCK_EX | LOCK_NB) == 0 : unmarked;
        if (left && unmarked) {
            unlinkat(dir, kMarkerUnderConstruction, 0);
            close(dir); // only an empty folder goes: one with anything else in it is no such leftover
        } else if (left) {
            if (beforeRemoval)
                beforeRemoval(parentFd, dir);
            emptyDirectory(dir);
        } else {
            close(dir);
        }
        if (left && unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) == 0)
            ++removed;
        if (marker >= 0)
            close(marker);
    }
    close(parentFd);
    return removed;
}

bool removeHeld(const std::string& folder, int lockFd)
{
    bool removed = false;
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir >= 0) {
        if (carriesMarker(dir, lockFd)) {
            emptyDirectory(dir);
            removed = rmdir(folder.c_str()) == 0;
        } else {
            close(dir);
        }
    }
    close(lockFd);
    return removed;
}

} // namespace

fs::path krv_work_root()
{
    const fs::path data = krv_data_home();
    return data.empty() ? fs::path() : data / kKrvAppFolder;
}

fs::path krv_fallback_work_root()
{
    const fs::path cache = krv_cache_home();
    return cache.empty() ? fs::path() : cache / kKrvAppFolder / "work";
}

std::string krv_work_folder_name(std::time_t when)
{
    return "tempFile" + krv_local_time_name(when);
}

bool krv_create_work_folder(const fs::path& root, std::time_t when, fs::path& folder)
{
    const std::string base = krv_work_folder_name(when);
    folder = root / base;
    if (!krv_make_private_folder(root))
        return false;
    for (int suffix = 1; suffix <= kMaxFolderSuffix; ++suffix) {
        folder = root / (suffix == 1 ? base : base + "_" + std::to_string(suffix));
        // An existing folder of that name is another conversion's: try the next name.
        if (krv_create_owned_folder(folder))
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool krv_create_owned_folder(const fs::path& folder)
{
    if (mkdir(folder.c_str(), 0700) != 0)
        return false;
    const int fd = markOwned(folder);
    if (fd < 0) {
        const int saved = errno;
        rmdir(folder.c_str());
        errno = saved;
        return false;
    }
    hold(folder, fd);
    return true;
}

fs::path krv_create_temp_folder(std::string_view prefix)
{
    return krv_create_temp_folder(krv_temp_home(), prefix);
}

fs::path krv_create_temp_folder(const fs::path& parent, std::string_view prefix)
{
    std::string name = (parent / std::string(prefix)).string() + "XXXXXX";
    if (!mkdtemp(name.data()))
        return {};
    const int fd = markOwned(name);
    if (fd < 0) {
        const int saved = errno;
        rmdir(name.c_str());
        errno = saved;
        return {};
    }
    hold(name, fd);
    return name;
}

bool krv_remove_owned_folder(const fs::path& folder)
{
    int fd = -1;
    {
        std::lock_guard<std::mutex> lock(g_ownedMutex);
        const auto it = g_owned.find(key(folder));
        if (it == g_owned.end())
            return false;
        fd = it->second;
        g_owned.erase(it);
    }
    return removeHeld(key(folder), fd);
}

void krv_remove_owned_folders()
{
    std::map<std::string, int> owned;
    {
        std::lock_guard<std::mutex> lock(g_ownedMutex);
        owned.swap(g_owned);
    }
    // Deepest first, so a folder made inside another one goes before it.
    for (auto it = owned.rbegin(); it != owned.rend(); ++it)
        removeHeld(it->first, it->second);
}

int krv_remove_stale_folders(const fs::path& parent, std::string_view prefix, const KrvStaleFolderHook& beforeRemoval)
{
    return removeLeftFolders(parent, prefix, false, beforeRemoval);
}

int krv_remove_unmarked_folders(const fs::path& parent, std::string_view prefix)
{
    return removeLeftFolders(parent, prefix, true, {});
}

bool krv_delete_tree(const fs::path& folder)
{
    if (folder.empty())
        return false;
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false; // missing, not a folder, or a link
    emptyDirectory(fd);
    return rmdir(folder.c_str()) == 0;
}

KrvFolderLock::KrvFolderLock(const fs::path& folder)
{
    fd_ = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        busy_ = errno == EWOULDBLOCK;
        close(fd_);
        fd_ = -1;
    }
}

KrvFolderLock::~KrvFolderLock()
{
    if (fd_ >= 0)
        close(fd_);
}
