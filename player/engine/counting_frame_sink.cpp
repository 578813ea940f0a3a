#include "counting_frame_sink.h"

#include <utility>

namespace vedra {

void CountingFrameSink::PresentFrame(VideoFramePtr frame)
{
    std::lock_guard lock(mutex_);
    ++frames_;
    if (keepLast_)
        last_ = std::move(frame);
}

void CountingFrameSink::HideFrame()
{
    std::lock_guard lock(mutex_);
    ++hides_;
}

int CountingFrameSink::frames()
{
    std::lock_guard lock(mutex_);
    return frames_;
}

int CountingFrameSink::hides()
{
    std::lock_guard lock(mutex_);
    return hides_;
}

VideoFramePtr CountingFrameSink::last()
{
    std::lock_guard lock(mutex_);
    return last_;
}

}  // namespace vedra
