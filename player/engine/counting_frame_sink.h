// A pane that shows nothing: it counts the frames it is handed and keeps the
// last one. Used where frames are only checked, not seen (krvtool play, the
// playback benchmark, tests).
#pragma once

#include <mutex>

#include "frame_sink.h"

namespace vedra {

class CountingFrameSink : public IFrameSink {
public:
    // keepLast holds the newest frame for last(); a sink that only counts lets every
    // frame go back to the pipeline at once.
    explicit CountingFrameSink(FrameRequest request = {}, bool keepLast = true) : request_(request), keepLast_(keepLast)
    {}

    void PresentFrame(VideoFramePtr frame) override;
    void HideFrame() override;
    void PresentNothing() override;
    FrameRequest Requested() const override { return request_; }

    int frames();
    int hides();
    VideoFramePtr last();
    // Presentation time of the newest frame handed over (GST_CLOCK_TIME_NONE before the first).
    GstClockTime lastPts();

private:
    const FrameRequest request_;
    const bool keepLast_;
    std::mutex mutex_; // streaming threads count, the caller reads
    int frames_ = 0;
    int hides_ = 0;
    VideoFramePtr last_;
    GstClockTime lastPts_ = GST_CLOCK_TIME_NONE;
};

} // namespace vedra
