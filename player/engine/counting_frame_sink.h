// A pane that shows nothing: it counts the frames it is handed and keeps the
// last one. Used where frames are only checked, not seen (krvtool play, the
// playback benchmark, tests).
#pragma once

#include <mutex>

#include "frame_sink.h"

namespace vedra {

class CountingFrameSink : public IFrameSink {
public:
    explicit CountingFrameSink(FrameRequest request = {}) : request_(request) {}

    void PresentFrame(VideoFramePtr frame) override;
    void HideFrame() override;
    FrameRequest Requested() const override { return request_; }

    int frames();
    int hides();
    VideoFramePtr last();

private:
    const FrameRequest request_;
    std::mutex mutex_;  // streaming threads count, the caller reads
    int frames_ = 0;
    int hides_ = 0;
    VideoFramePtr last_;
};

}  // namespace vedra
