#include "instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "app_paths.h"

namespace vedra {

std::string InstanceLock::LockPath()
{
    const std::string folder = RuntimeFolder();
    return folder.empty() ? std::string() : folder + "/" + kAppName + ".lock";
}

InstanceLock::~InstanceLock()
{
    if (fd_ >= 0)
        close(fd_);
}

InstanceLock::Result InstanceLock::Acquire()
{
    // RuntimeFolder() is a checked folder of this user's own, never a link or another's folder.
    const std::string path = LockPath();
    if (path.empty())
        return Result::kUnavailable;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return Result::kUnavailable;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        close(fd);
        return busy ? Result::kAlreadyRunning : Result::kUnavailable;
    }
    fd_ = fd;
    return Result::kAcquired;
}

} // namespace vedra
