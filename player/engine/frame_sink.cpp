#include "frame_sink.h"

namespace vedra {

VideoFrame::VideoFrame(SampleHandle sample, FramePixels pixels, int width, int height, int stride,
                       GstClockTime time, GstClockTime length)
    : sample_(std::move(sample)), pixels_(pixels), width_(width), height_(height), stride_(stride), time_(time),
      length_(length)
{
    const int pixelBytes = pixels_ == FramePixels::Bgrx ? 4 : 3;
    if (width_ <= 0 || height_ <= 0 || stride_ < width_ * pixelBytes)
        return;
    GstBuffer* buffer = sample_ ? gst_sample_get_buffer(sample_.get()) : nullptr;
    mapped_ = buffer && gst_buffer_map(buffer, &map_, GST_MAP_READ);
    if (mapped_ && map_.size < static_cast<size_t>(stride_) * static_cast<size_t>(height_)) {
        gst_buffer_unmap(buffer, &map_);
        map_ = GstMapInfo{};
        mapped_ = false;
    }
}

VideoFrame::~VideoFrame()
{
    if (mapped_)
        gst_buffer_unmap(gst_sample_get_buffer(sample_.get()), &map_);
}

GstClockTime VideoFrame::pts() const
{
    if (GST_CLOCK_TIME_IS_VALID(time_))
        return time_;
    GstBuffer* buffer = sample_ ? gst_sample_get_buffer(sample_.get()) : nullptr;
    return buffer ? GST_BUFFER_PTS(buffer) : GST_CLOCK_TIME_NONE;
}

GstClockTime VideoFrame::duration() const
{
    if (GST_CLOCK_TIME_IS_VALID(length_))
        return length_;
    GstBuffer* buffer = sample_ ? gst_sample_get_buffer(sample_.get()) : nullptr;
    return buffer ? GST_BUFFER_DURATION(buffer) : GST_CLOCK_TIME_NONE;
}

}  // namespace vedra
