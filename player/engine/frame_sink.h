// The pane a channel's video goes to. The view implements it later; krvtool,
// tests and the benchmark implement counting or capturing sinks.
#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <memory>

#include "gst_handles.h"

namespace vedra {

// One decoded RGB frame (3 bytes per pixel, R G B, top row first). Holds the
// pipeline's buffer mapped for reading; cheap to pass around, valid as long as held.
class VideoFrame {
public:
    VideoFrame(SampleHandle sample, int width, int height, int stride);
    VideoFrame(const VideoFrame&) = delete;
    VideoFrame& operator=(const VideoFrame&) = delete;
    ~VideoFrame();

    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const { return stride_; }          // bytes per row
    const uint8_t* data() const { return map_.data; }
    size_t size() const { return map_.size; }
    GstClockTime pts() const;                        // stream time of the frame
    bool valid() const { return mapped_; }

private:
    SampleHandle sample_;
    GstMapInfo map_{};
    bool mapped_ = false;
    int width_;
    int height_;
    int stride_;
};

using VideoFramePtr = std::shared_ptr<const VideoFrame>;

class IFrameSink {
public:
    virtual ~IFrameSink() = default;
    // Called on a streaming thread for every frame due on screen. Must not block:
    // hand the frame to the GUI thread (a queued call) and return.
    virtual void PresentFrame(VideoFramePtr frame) = 0;
    // The picture is to be hidden (detached from the pane). Called on the GUI thread.
    virtual void HideFrame() = 0;
};

}  // namespace vedra
