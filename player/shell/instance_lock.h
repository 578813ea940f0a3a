// The per-user single-instance rule: a lock file held with flock for the life of the process.
#pragma once

#include <string>

namespace vedra {

class InstanceLock {
public:
    enum class Result {
        kAcquired,       // this process is the first copy
        kAlreadyRunning, // another process of this user holds the lock
        kUnavailable,    // no lock file could be made; the caller runs anyway
    };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock in RuntimeFolder(). The descriptor stays open (and locked) until this object
    // dies; the application keeps it for the whole run, so the lock ends with the process.
    Result Acquire();

    static std::string LockPath();

private:
    int fd_ = -1;
};

} // namespace vedra
