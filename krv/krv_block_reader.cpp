#include "krv/krv_block_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <system_error>

KrvBlockReader::~KrvBlockReader()
{
    if (ahead_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        ahead_.join();
    }
    if (fd_ >= 0)
        ::close(fd_);
}

bool KrvBlockReader::open(const std::string& path)
{
    path_ = path;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0)
        return false;
    if (fstat(fd_, &opened_) != 0 || !S_ISREG(opened_.st_mode)) {
        const int saved = errno ? errno : EISDIR;
        ::close(fd_);
        fd_ = -1;
        errno = S_ISDIR(opened_.st_mode) ? EISDIR : saved;
        return false;
    }
    // Reads of a regular file never block anyway; the flag only kept a FIFO from hanging the open.
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    block_.resize(kBlockReadSize);
    try {
        ahead_ = std::thread(&KrvBlockReader::readAhead, this);
    } catch (const std::system_error&) {
        // Without the thread the walk reads at the disk's pace alone.
    }
    return true;
}

void KrvBlockReader::readAhead()
{
    std::vector<uint8_t> scratch(4 * kBlockReadSize);
    uint64_t read = 0; // bytes pulled in so far
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        if (read < walked_)
            read = walked_; // the walk went past, or jumped
        if (read >= walked_ + kReadAheadSize || read >= uint64_t(opened_.st_size)) {
            wake_.wait(lock);
            continue;
        }
        lock.unlock();
        const ssize_t got = pread(fd_, scratch.data(), scratch.size(), off_t(read));
        lock.lock();
        if (got <= 0)
            break;
        read += uint64_t(got);
    }
}

void KrvBlockReader::walkedTo(uint64_t position)
{
    if (!ahead_.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        walked_ = position;
    }
    wake_.notify_one();
}

KrvIo KrvBlockReader::io()
{
    KrvIo io;
    io.read = &KrvBlockReader::readCallback;
    io.seek = &KrvBlockReader::seekCallback;
    io.context = this;
    return io;
}

bool KrvBlockReader::changedSinceOpen() const
{
    // The descriptor shows writes into the file; the path shows a file put in its place.
    struct stat now {
    }, named{};
    if (fd_ < 0 || fstat(fd_, &now) != 0 || stat(path_.c_str(), &named) != 0)
        return true;
    return now.st_size != opened_.st_size || now.st_mtim.tv_sec != opened_.st_mtim.tv_sec ||
           now.st_mtim.tv_nsec != opened_.st_mtim.tv_nsec || named.st_ino != opened_.st_ino ||
           named.st_dev != opened_.st_dev;
}

int64_t KrvBlockReader::readCallback(void* context, uint8_t* buffer, size_t size)
{
    auto* self = static_cast<KrvBlockReader*>(context);
    if (self->stopFlag_ && self->stopFlag_->load()) {
        errno = ECANCELED;
        return -1;
    }
    size_t done = 0;
    while (done < size) {
        const uint64_t end = self->blockStart_ + self->blockLength_;
        if (self->position_ >= self->blockStart_ && self->position_ < end) {
            const size_t at = size_t(self->position_ - self->blockStart_);
            const size_t n = std::min(size - done, self->blockLength_ - at);
            std::memcpy(buffer + done, self->block_.data() + at, n);
            done += n;
            self->position_ += n;
            continue;
        }
        ssize_t got;
        do
            got = pread(self->fd_, self->block_.data(), self->block_.size(), off_t(self->position_));
        while (got < 0 && errno == EINTR);
        if (got < 0)
            return done ? int64_t(done) : -1;
        self->blockStart_ = self->position_;
        self->blockLength_ = size_t(got);
        self->walkedTo(self->blockStart_ + self->blockLength_);
        if (got == 0)
            break;
    }
    return int64_t(done);
}

int64_t KrvBlockReader::seekCallback(void* context, uint64_t offset)
{
    auto* self = static_cast<KrvBlockReader*>(context);
    if (offset > uint64_t(INT64_MAX))
        return -1;
    self->position_ = offset;
    return 0;
}
