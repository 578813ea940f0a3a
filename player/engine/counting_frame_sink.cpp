#include "counting_frame_sink.h"

#include <utility>

namespace vedra {

void CountingFrameSink::PresentFrame(VideoFramePtr frame)
{
    std::lock_guard lock(mutex_);
    ++frames_;
    lastPts_ = frame ? frame->pts() : GST_CLOCK_TIME_NONE;
    if (keepLast_)
        last_ = std::move(frame);
}

void CountingFrameSink::HideFrame()
{
    std::lock_guard lock(mutex_);
    ++hides_;
}

void CountingFrameSink::PresentNothing()
{
    std::lock_guard lock(mutex_);
    lastPts_ = GST_CLOCK_TIME_NONE;
    last_.reset();
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

GstClockTime CountingFrameSink::lastPts()
{
    std::lock_guard lock(mutex_);
    return lastPts_;
}

VideoFramePtr CountingFrameSink::last()
{
    std::lock_guard lock(mutex_);
    return last_;
}

} // namespace vedra
