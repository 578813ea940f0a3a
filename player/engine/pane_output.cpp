// Frames of a CDXGraph to its pane: the appsink takes the decoder's I420 picture as it is,
// and every frame due on screen (and the one a paused graph shows) is scaled and converted
// to the pane's size and layout in one pass on the streaming thread, into a pooled buffer,
// and handed to the pane. A hidden pane gets the frames' times, no pixels.
#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include "cdxgraph.h"
#include "krv_source.h"
#include "pane_picture.h"

namespace vedra {
namespace {

// Frame times are whole milliseconds, seek times need not be.
constexpr GstClockTime kDueTolerance = GST_MSECOND;

YuvMatrix MatrixOf(const GstVideoInfo& info)
{
    const GstVideoColorimetry& c = GST_VIDEO_INFO_COLORIMETRY(&info);
    if (c.range == GST_VIDEO_COLOR_RANGE_0_255)
        return YuvMatrix::Bt601Full;
    return c.matrix == GST_VIDEO_COLOR_MATRIX_BT709 ? YuvMatrix::Bt709 : YuvMatrix::Bt601;
}

} // namespace

bool CDXGraph::AttachToPane(IFrameSink* pane)
{
    if (!pipeline_)
        return false;
    // Without a pane the frames keep their layout: nothing to convert again for.
    const bool resized = pane != nullptr && ApplyFrameRequest(pane->Requested());
    {
        std::lock_guard lock(paneMutex_);
        const bool moved = pane_ != pane;
        if (pane_ && moved)
            pane_->HideFrame();
        pane_ = pane;
        // The new pane shows the graph's picture at once, not black until the next frame.
        if (pane && moved && lastFrame_)
            pane->PresentFrame(lastFrame_);
    }
    // A paused graph decodes nothing by itself: seeking to where it stands brings
    // its picture again in the new size. The pane keeps the old picture meanwhile.
    if (resized && IsPaused())
        SeekTo(GetPositionSeconds());
    return true;
}

bool CDXGraph::CurrentFrame(double& start, double& duration)
{
    std::lock_guard lock(paneMutex_);
    if (!GST_CLOCK_TIME_IS_VALID(shownTime_))
        return false;
    start = static_cast<double>(shownTime_) / GST_SECOND;
    duration = GST_CLOCK_TIME_IS_VALID(shownLength_) ? static_cast<double>(shownLength_) / GST_SECOND : 0.0;
    return true;
}

void CDXGraph::ForgetLastFrame()
{
    std::lock_guard lock(paneMutex_);
    lastFrame_.reset();
    shownTime_ = shownLength_ = GST_CLOCK_TIME_NONE;
}

bool CDXGraph::ApplyFrameRequest(const FrameRequest& request)
{
    if (!videoSink_)
        return false;
    frameRequest_ = request;
    std::lock_guard lock(paneMutex_);
    const FrameSize before = FrameSizeFor(paneRequest_, source_);
    const bool changed = request.pixels != paneRequest_.pixels || request.hidden != paneRequest_.hidden ||
                         !(FrameSizeFor(request, source_) == before);
    paneRequest_ = request;
    return changed;
}

// Streaming thread: the newest decoded frame goes to the pane.
GstFlowReturn CDXGraph::OnNewSample(GstAppSink* appsink, gpointer data)
{
    static_cast<CDXGraph*>(data)->Present(SampleHandle::Adopt(gst_app_sink_pull_sample(appsink)), false);
    return GST_FLOW_OK;
}

// Streaming thread: the frame a paused graph shows (after a seek, on pausing).
GstFlowReturn CDXGraph::OnNewPreroll(GstAppSink* appsink, gpointer data)
{
    static_cast<CDXGraph*>(data)->Present(SampleHandle::Adopt(gst_app_sink_pull_preroll(appsink)), true);
    return GST_FLOW_OK;
}

void CDXGraph::Present(SampleHandle sample, bool preroll)
{
    if (!sample)
        return;
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    GstCaps* caps = gst_sample_get_caps(sample.get());
    if (!buffer || !caps)
        return;
    // Samples share their caps until the stream changes: they are read once, not every frame.
    if (caps != presentedCaps_.get()) {
        GstVideoInfo parsed;
        if (!gst_video_info_from_caps(&parsed, caps))
            return;
        presentedCaps_ = CapsHandle::Ref(caps);
        presentedInfo_ = parsed;
    }
    const GstVideoInfo& info = presentedInfo_;
    if (GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_I420)
        return;
    // A graph cued before its first frame (a channel that starts later than the others)
    // prerolls on that frame: it is not due yet, so its pane shows nothing.
    const GstSegment* segment = gst_sample_get_segment(sample.get());
    const bool early = onTimeline_ && preroll && segment && segment->format == GST_FORMAT_TIME &&
                       GST_BUFFER_PTS_IS_VALID(buffer) && GST_BUFFER_PTS(buffer) > segment->start + kDueTolerance;
    // The frame's own time, also when the decoder clipped it to where a seek began.
    GstClockTime time = GST_BUFFER_PTS(buffer), length = GST_BUFFER_DURATION(buffer);
    if (GstReferenceTimestampMeta* own = gst_buffer_get_reference_timestamp_meta(buffer, FrameTimeMetaCaps())) {
        time = own->timestamp;
        length = own->duration;
    }
    FrameRequest request;
    SourcePicture source;
    {
        std::lock_guard lock(paneMutex_);
        // The prerolled frame comes again as the first sample when playing starts.
        const bool repeat = !preroll && buffer == lastPreroll_ && GST_BUFFER_PTS(buffer) == lastPrerollPts_;
        const bool shownInPreroll = preroll && !early;
        lastPreroll_ = shownInPreroll ? buffer : nullptr;
        lastPrerollPts_ = shownInPreroll ? GST_BUFFER_PTS(buffer) : GST_CLOCK_TIME_NONE;
        if (repeat)
            return;
        if (early) {
            lastFrame_.reset();
            shownTime_ = shownLength_ = GST_CLOCK_TIME_NONE;
            if (pane_)
                pane_->PresentNothing();
            return;
        }
        shownTime_ = time;
        shownLength_ = length;
        if (paneRequest_.hidden) {
            lastFrame_.reset();
            return;
        }
        request = paneRequest_;
        source = source_;
    }
    VideoFramePtr frame = ConvertForPane(buffer, info, request, source, time, length);
    if (!frame)
        return;
    std::lock_guard lock(paneMutex_);
    lastFrame_ = frame;
    if (pane_)
        pane_->PresentFrame(std::move(frame));
}

VideoFramePtr CDXGraph::ConvertForPane(GstBuffer* buffer, const GstVideoInfo& info, const FrameRequest& request,
                                       const SourcePicture& source, GstClockTime time, GstClockTime length)
{
    FrameSize size = FrameSizeFor(request, source);
    if (size.width <= 0 || size.height <= 0)
        size = {GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info)};
    const int stride = PanePictureStride(request.pixels, size.width);
    GstVideoFrame decoded;
    GstVideoInfo mapped = info;
    if (!gst_video_frame_map(&decoded, &mapped, buffer, GST_MAP_READ))
        return nullptr;
    const PlanarPicture planes{.y = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&decoded, 0)),
                               .u = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&decoded, 1)),
                               .v = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&decoded, 2)),
                               .strideY = GST_VIDEO_FRAME_PLANE_STRIDE(&decoded, 0),
                               .strideU = GST_VIDEO_FRAME_PLANE_STRIDE(&decoded, 1),
                               .strideV = GST_VIDEO_FRAME_PLANE_STRIDE(&decoded, 2),
                               .width = GST_VIDEO_FRAME_WIDTH(&decoded),
                               .height = GST_VIDEO_FRAME_HEIGHT(&decoded)};
    std::shared_ptr<PicturePool::Buffer> pixels =
        picturePool_.Take(static_cast<size_t>(stride) * static_cast<size_t>(size.height));
    bool converted = false;
    {
        std::lock_guard lock(convertMutex_);
        converted = ConvertToPanePicture(planes, MatrixOf(info), request.pixels, size.width, size.height,
                                         pixels->data(), stride, convertScratch_);
    }
    gst_video_frame_unmap(&decoded);
    if (!converted)
        return nullptr;
    auto frame = std::make_shared<const VideoFrame>(std::move(pixels), request.pixels, size.width, size.height, stride,
                                                    time, length, DisplayWidth(source), source.height);
    return frame->valid() ? frame : nullptr;
}

} // namespace vedra
