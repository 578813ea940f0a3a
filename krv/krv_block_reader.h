// A recording file read in blocks from its start to its end, for walks over
// every packet: one system call per block instead of one per packet, and a
// thread of the reader's own reading ahead of the walk, so the disk works
// while packets are parsed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "krv/krv_types.h"

inline constexpr size_t kBlockReadSize = 256u << 10;
// How far the read-ahead thread keeps ahead of the walk.
inline constexpr uint64_t kReadAheadSize = 32u << 20;

class KrvBlockReader {
public:
    KrvBlockReader() = default;
    KrvBlockReader(const KrvBlockReader&) = delete;
    KrvBlockReader& operator=(const KrvBlockReader&) = delete;
    ~KrvBlockReader();

    // Opens `path` for reading (no directory, no device). False with errno set.
    bool open(const std::string& path);
    // Callbacks over this reader for krv_open_io; valid while the reader is.
    KrvIo io();
    // What fstat said at open, and whether the file differs now (size,
    // modification time, or another file at its path): it changed while being read.
    const struct stat& openedAs() const { return opened_; }
    bool changedSinceOpen() const;
    // When `stop` turns true (any thread), reads fail, so a walk over the file ends soon.
    void StopOn(const std::atomic<bool>* stop) { stopFlag_ = stop; }

private:
    static int64_t readCallback(void* context, uint8_t* buffer, size_t size);
    static int64_t seekCallback(void* context, uint64_t offset);
    void readAhead();
    void walkedTo(uint64_t position);

    std::string path_;
    int fd_ = -1;
    struct stat opened_ {};
    std::vector<uint8_t> block_;
    uint64_t blockStart_ = 0; // file offset of block_[0]
    size_t blockLength_ = 0;  // valid bytes in block_
    uint64_t position_ = 0;   // next byte to deliver
    const std::atomic<bool>* stopFlag_ = nullptr;

    // Read-ahead: pulls the file into the page cache ahead of the walk.
    std::thread ahead_;
    std::mutex mutex_; // guards the three below
    std::condition_variable wake_;
    uint64_t walked_ = 0; // where the walk is
    bool stop_ = false;
};
