// Progress of a long split on stderr: the recording's read callback is
// wrapped so every byte the splitter reads is counted.
#pragma once

#include <cstdint>

#include "krv/krv_types.h"

namespace krvtool {

class SplitProgress {
public:
    // Reports only for recordings of at least kMinBytes, and only to a terminal.
    static constexpr uint64_t kMinBytes = 64ull << 20;

    // Installs itself in `file`'s callbacks; `file` must outlive the split and
    // this object must outlive `file`'s reads.
    SplitProgress(KrvFile* file, uint64_t totalBytes);
    // Ends the progress line.
    ~SplitProgress();

    SplitProgress(const SplitProgress&) = delete;
    SplitProgress& operator=(const SplitProgress&) = delete;

private:
    static int64_t read(void* context, uint8_t* buffer, size_t size);
    static int64_t write(void* context, const uint8_t* buffer, size_t size);
    static int64_t seek(void* context, uint64_t offset);
    void advance(int64_t bytes);

    KrvIo inner_;
    uint64_t total_;
    uint64_t done_ = 0;
    int shownPercent_ = -1;
    bool active_;
};

} // namespace krvtool
