#include "instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "app_paths.h"

namespace vedra {

std::string InstanceLock::LockPath() {
  return RuntimeFolder() + "/" + kAppName + ".lock";
}

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) close(fd_);
}

InstanceLock::Result InstanceLock::Acquire() {
  const std::string folder = RuntimeFolder();
  // The /tmp fallback is shared by every user: make it ours and private, and refuse one that
  // someone else made (or a symlink planted in its place).
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return Result::kUnavailable;
  struct stat st {};
  if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid())
    return Result::kUnavailable;

  const int fd = open(LockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return Result::kUnavailable;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool busy = errno == EWOULDBLOCK;
    close(fd);
    return busy ? Result::kAlreadyRunning : Result::kUnavailable;
  }
  fd_ = fd;
  return Result::kAcquired;
}

}  // namespace vedra
