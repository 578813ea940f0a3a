// The pane a channel's video goes to. The view implements it later; krvtool,
// tests and the benchmark implement counting or capturing sinks.
#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "frame_pixels.h"
#include "gst_handles.h"

namespace vedra {

// The picture a pane shows. A size of 0 x 0 is the stream's own size; a pane
// asking for its own size gets frames scaled to that size, which costs far less
// than converting the full picture and scaling it again to paint.
struct FrameRequest {
    FramePixels pixels = FramePixels::Rgb24;
    int width = 0;
    int height = 0;
    // The frame is the largest that fits inside width x height with the decoded
    // picture's shape (a letterboxing pane), not width x height filled.
    bool fit = false;
    // With fit: never more pixels than the decoded picture has, so a zoomed pane
    // gets the camera's own pixels and enlarges them itself.
    bool sourcePixelsAtMost = false;
    // The pane shows nothing (hidden, or no room): frames keep their times but are not converted.
    bool hidden = false;
    bool operator==(const FrameRequest&) const = default;
};

// A decoded picture: its size and the shape of its pixels.
struct SourcePicture {
    int width = 0;
    int height = 0;
    int parN = 1; // pixel aspect ratio parN / parD
    int parD = 1;
    bool known() const { return width > 0 && height > 0 && parN > 0 && parD > 0; }
};

struct FrameSize {
    int width = 0;
    int height = 0;
    bool operator==(const FrameSize&) const = default;
};

// A fitted frame is never wider or taller than the decoded picture's side times this.
constexpr int kMaxFrameScale = 8;

// The size of the frames a request gets from a decoded picture, square pixels.
// 0 x 0 leaves the size to the stream: the request names none, or it fits and
// the picture is not known yet (or it is hidden). Fitted sides are even and at least 2.
FrameSize FrameSizeFor(const FrameRequest& request, const SourcePicture& source);

// The picture's width in square pixels at its own height: its shape on screen.
int DisplayWidth(const SourcePicture& source);

// One decoded frame in the layout its pane asked for (see FramePixels), top row
// first, `stride` bytes per row, in a buffer of its own (from a pool the pipeline
// reuses once the frame is let go). Cheap to pass around, valid as long as held.
class VideoFrame {
public:
    using Pixels = std::shared_ptr<const std::vector<uint8_t>>;
    // time, length: the frame's presentation time and length (NONE when unknown).
    // sourceWidth x sourceHeight: the decoded picture's shape on screen (square pixels) the
    // frame was scaled from; 0 x 0 when it is the frame's own.
    VideoFrame(Pixels pixelBytes, FramePixels pixels, int width, int height, int stride,
               GstClockTime time = GST_CLOCK_TIME_NONE, GstClockTime length = GST_CLOCK_TIME_NONE, int sourceWidth = 0,
               int sourceHeight = 0);
    VideoFrame(const VideoFrame&) = delete;
    VideoFrame& operator=(const VideoFrame&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const { return stride_; } // bytes per row
    FramePixels pixels() const { return pixels_; }
    int sourceWidth() const { return sourceWidth_; }
    int sourceHeight() const { return sourceHeight_; }
    const uint8_t* data() const { return valid_ ? bytes_->data() : nullptr; }
    size_t size() const { return valid_ ? bytes_->size() : 0; }
    GstClockTime pts() const { return time_; }        // the frame's presentation time
    GstClockTime duration() const { return length_; } // until the next frame; NONE when unknown
    bool valid() const { return valid_; }

private:
    Pixels bytes_;
    bool valid_ = false;
    FramePixels pixels_;
    int width_;
    int height_;
    int stride_;
    GstClockTime time_;
    GstClockTime length_;
    int sourceWidth_;
    int sourceHeight_;
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
    // Nothing is due at the time the graph stands at (it was cued before its first
    // frame): the pane shows black until the graph's frames come. Streaming thread;
    // must not block.
    virtual void PresentNothing() {}
    // The layout and size of the frames this pane wants; read on the GUI thread
    // when the pane is attached (attach it again after it changes size).
    virtual FrameRequest Requested() const { return {}; }
};

} // namespace vedra
