// Frames of a CDXGraph to its pane: the appsink's caps follow what the pane
// asks for, and every frame due on screen (and the one a paused graph shows)
// is handed to the pane without a copy.
#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include "cdxgraph.h"
#include "krv_source.h"

namespace vedra {
namespace {

// Frame times are whole milliseconds, seek times need not be.
constexpr GstClockTime kDueTolerance = GST_MSECOND;

// The caps the appsink asks for: the pane's pixel layout and, when the frames
// have a size of their own, that size with square pixels.
CapsHandle FrameCaps(FramePixels pixels, FrameSize size)
{
    const char* format = pixels == FramePixels::Bgrx ? "BGRx" : "RGB";
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, format, nullptr);
    if (size.width > 0 && size.height > 0)
        gst_caps_set_simple(caps, "width", G_TYPE_INT, size.width, "height", G_TYPE_INT, size.height,
                            "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
    return CapsHandle::Adopt(caps);
}

} // namespace

bool CDXGraph::AttachToPane(IFrameSink* pane)
{
    if (!pipeline_)
        return false;
    // Without a pane the frames keep their layout: nothing to renegotiate for.
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
    if (!lastFrame_ || !GST_CLOCK_TIME_IS_VALID(lastFrame_->pts()))
        return false;
    start = static_cast<double>(lastFrame_->pts()) / GST_SECOND;
    const GstClockTime d = lastFrame_->duration();
    duration = GST_CLOCK_TIME_IS_VALID(d) ? static_cast<double>(d) / GST_SECOND : 0.0;
    return true;
}

void CDXGraph::ForgetLastFrame()
{
    std::lock_guard lock(paneMutex_);
    lastFrame_.reset();
}

bool CDXGraph::ApplyFrameRequest(const FrameRequest& request)
{
    if (!videoSink_)
        return false;
    frameRequest_ = request;
    SourcePicture source;
    {
        std::lock_guard lock(paneMutex_);
        source = source_;
    }
    CapsHandle wanted = FrameCaps(request.pixels, FrameSizeFor(request, source));
    if (frameCaps_ && gst_caps_is_equal(wanted.get(), frameCaps_.get()))
        return false;
    // A frame negotiated just before the change may still arrive in the old
    // layout; the appsink takes it too, the new layout coming first.
    CapsHandle accepted = CapsHandle::Adopt(gst_caps_copy(wanted.get()));
    if (frameCaps_)
        accepted = CapsHandle::Adopt(gst_caps_merge(accepted.release(), gst_caps_copy(frameCaps_.get())));
    gst_app_sink_set_caps(GST_APP_SINK(videoSink_.get()), accepted.get());
    frameCaps_ = std::move(wanted);
    // A running graph renegotiates with the next frame.
    PadHandle pad = PadHandle::Adopt(gst_element_get_static_pad(videoSink_.get(), "sink"));
    if (pad)
        gst_pad_push_event(pad.get(), gst_event_new_reconfigure());
    return true;
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
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(sample.get());
    if (!buffer || !caps || !gst_video_info_from_caps(&info, caps))
        return;
    FramePixels pixels;
    switch (GST_VIDEO_INFO_FORMAT(&info)) {
    case GST_VIDEO_FORMAT_RGB: pixels = FramePixels::Rgb24; break;
    case GST_VIDEO_FORMAT_BGRx: pixels = FramePixels::Bgrx; break;
    default: return;
    }
    // A graph cued before its first frame (a channel that starts later than the others)
    // prerolls on that frame: it is not due yet, so its pane shows nothing.
    const GstSegment* segment = gst_sample_get_segment(sample.get());
    const bool early = onTimeline_ && preroll && segment && segment->format == GST_FORMAT_TIME &&
                       GST_BUFFER_PTS_IS_VALID(buffer) && GST_BUFFER_PTS(buffer) > segment->start + kDueTolerance;
    // The appsink reuses its sample object for the next frame and must find it
    // unshared; a pane may keep a frame for a while, so it gets a sample of its own.
    sample = SampleHandle::Adopt(gst_sample_new(buffer, caps, nullptr, nullptr));
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
        if (pane_)
            pane_->PresentNothing();
        return;
    }
    // The frame's own time, also when the decoder clipped it to where a seek began.
    GstClockTime time = GST_CLOCK_TIME_NONE, length = GST_CLOCK_TIME_NONE;
    if (GstReferenceTimestampMeta* own = gst_buffer_get_reference_timestamp_meta(buffer, FrameTimeMetaCaps())) {
        time = own->timestamp;
        length = own->duration;
    }
    auto frame = std::make_shared<const VideoFrame>(std::move(sample), pixels, GST_VIDEO_INFO_WIDTH(&info),
                                                    GST_VIDEO_INFO_HEIGHT(&info), GST_VIDEO_INFO_PLANE_STRIDE(&info, 0),
                                                    time, length, DisplayWidth(source_), source_.height);
    if (!frame->valid())
        return;
    lastFrame_ = frame;
    if (pane_)
        pane_->PresentFrame(std::move(frame));
}

} // namespace vedra
