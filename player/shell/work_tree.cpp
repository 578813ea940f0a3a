#include "work_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "app_paths.h"

namespace vedra {
namespace {

// Empties the directory open as dirFd (the descriptor is consumed). Works on descriptors and
// names relative to them, so nothing can be swapped for a link between the check and the use.
void EmptyDirectory(int dirFd) {
  DIR* dir = fdopendir(dirFd);
  if (dir == nullptr) {
    close(dirFd);
    return;
  }
  while (const dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    struct stat st {};
    if (fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      const int child =
          openat(dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (child >= 0) EmptyDirectory(child);
      unlinkat(dirfd(dir), name, AT_REMOVEDIR);
    } else {
      unlinkat(dirfd(dir), name, 0);
    }
  }
  closedir(dir);
}

}  // namespace

bool DeleteTree(const std::string& folder) {
  if (folder.empty()) return false;
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;  // missing, not a folder, or a link
  EmptyDirectory(fd);
  return rmdir(folder.c_str()) == 0;
}

bool IsInsideWorkRoot(const std::string& path) {
  namespace fs = std::filesystem;
  const fs::path root = fs::path(WorkRoot()).lexically_normal();
  const fs::path p = fs::path(path).lexically_normal();
  if (!p.is_absolute()) return false;
  const fs::path rel = p.lexically_relative(root);
  return !rel.empty() && rel != "." && *rel.begin() != "..";
}

void RemoveWorkRoot() { DeleteTree(WorkRoot()); }

}  // namespace vedra
