#include "split_progress.h"

#include <unistd.h>

#include <cstdio>

namespace krvtool {

SplitProgress::SplitProgress(KrvFile* file, uint64_t totalBytes)
    : inner_(file->io), total_(totalBytes),
      active_(totalBytes >= kMinBytes && file->io.read && isatty(STDERR_FILENO)) // a meter is for people watching
{
    if (!active_)
        return;
    file->io.context = this;
    file->io.read = &SplitProgress::read;
    file->io.write = inner_.write ? &SplitProgress::write : nullptr;
    file->io.seek = inner_.seek ? &SplitProgress::seek : nullptr;
}

SplitProgress::~SplitProgress()
{
    if (active_ && shownPercent_ >= 0)
        std::fputc('\n', stderr);
}

int64_t SplitProgress::read(void* context, uint8_t* buffer, size_t size)
{
    auto* self = static_cast<SplitProgress*>(context);
    int64_t r = self->inner_.read(self->inner_.context, buffer, size);
    if (r > 0)
        self->advance(r);
    return r;
}

int64_t SplitProgress::write(void* context, const uint8_t* buffer, size_t size)
{
    auto* self = static_cast<SplitProgress*>(context);
    return self->inner_.write(self->inner_.context, buffer, size);
}

int64_t SplitProgress::seek(void* context, uint64_t offset)
{
    auto* self = static_cast<SplitProgress*>(context);
    return self->inner_.seek(self->inner_.context, offset);
}

void SplitProgress::advance(int64_t bytes)
{
    done_ += uint64_t(bytes);
    const int percent = int(done_ * 100 / total_);
    if (percent / 5 == shownPercent_ / 5 && shownPercent_ >= 0)
        return;
    shownPercent_ = percent > 100 ? 100 : percent;
    std::fprintf(stderr, "\rsplitting: %3d%% of %llu MB", shownPercent_, (unsigned long long)(total_ >> 20));
    std::fflush(stderr);
}

} // namespace krvtool
