// The snapshot tap of a CDXGraph: decoded frames between decoder and renderer. While a
// snapshot waits, the next frame is taken by reference and handed to the snapshot thread,
// which packs it into the layout BufferCB takes (YV12 or YUY2) and writes the file.
#include <gst/video/video.h>

#include <cstring>
#include <new>
#include <vector>

#include "cdxgraph.h"
#include "snapshot_worker.h"
#include "snapshot_writer.h"

namespace vedra {
namespace {

// The tap hands YV12 frames on as YV12 (I420 with its chroma planes swapped).
uint32_t SubtypeOf(GstVideoFormat format)
{
    switch (format) {
    case GST_VIDEO_FORMAT_I420:
    case GST_VIDEO_FORMAT_YV12: return kSubtypeYv12;
    case GST_VIDEO_FORMAT_YUY2: return kSubtypeYuy2;
    default: {
        const char* name = gst_video_format_to_string(format);
        char f[4] = {' ', ' ', ' ', ' '};
        for (int i = 0; i < 4 && name && name[i]; ++i)
            f[i] = name[i];
        return MakeFourcc(f[0], f[1], f[2], f[3]);
    }
    }
}

// Copies a mapped frame into the contiguous layout BufferCB expects.
std::vector<uint8_t> PackFrame(const GstVideoFrame& vf)
{
    const int w = GST_VIDEO_FRAME_WIDTH(&vf);
    const int h = GST_VIDEO_FRAME_HEIGHT(&vf);
    std::vector<uint8_t> out;
    auto copyPlane = [&](int plane, size_t dstOffset, int rowBytes, int rows, size_t dstStride) {
        const uint8_t* src = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&vf, plane));
        const int srcStride = GST_VIDEO_FRAME_PLANE_STRIDE(&vf, plane);
        const int compW = GST_VIDEO_FRAME_COMP_WIDTH(&vf, plane);
        const int compH = GST_VIDEO_FRAME_COMP_HEIGHT(&vf, plane);
        const int pixelBytes = GST_VIDEO_FRAME_COMP_PSTRIDE(&vf, plane);
        const int n = std::min(rowBytes, compW * pixelBytes);
        for (int r = 0; r < rows && r < compH; ++r)
            std::memcpy(out.data() + dstOffset + static_cast<size_t>(r) * dstStride,
                        src + static_cast<size_t>(r) * srcStride, static_cast<size_t>(n));
    };
    switch (GST_VIDEO_FRAME_FORMAT(&vf)) {
    case GST_VIDEO_FORMAT_I420:
    case GST_VIDEO_FORMAT_YV12: {
        const bool i420 = GST_VIDEO_FRAME_FORMAT(&vf) == GST_VIDEO_FORMAT_I420;
        const size_t cw = static_cast<size_t>(w / 2);
        const int chromaRows = (h + 1) / 2;
        const size_t yBytes = static_cast<size_t>(w) * h;
        const size_t vOffset = yBytes;
        const size_t uOffset = yBytes * 5 / 4;
        out.assign(uOffset + static_cast<size_t>(chromaRows) * cw + cw + 1, 0);
        copyPlane(0, 0, w, h, static_cast<size_t>(w));
        // In I420 plane 1 is U and plane 2 is V; YV12 stores V first.
        const int uPlane = i420 ? 1 : 2;
        const int vPlane = i420 ? 2 : 1;
        copyPlane(vPlane, vOffset, static_cast<int>(cw), chromaRows, cw);
        copyPlane(uPlane, uOffset, static_cast<int>(cw), chromaRows, cw);
        break;
    }
    case GST_VIDEO_FORMAT_YUY2:
        out.assign(4 * ((static_cast<size_t>(w) * h + 1) / 2), 0);
        copyPlane(0, 0, w * 2, h, static_cast<size_t>(w) * 2);
        break;
    default: break;
    }
    return out;
}

} // namespace

void CDXGraph::RequestJpegSnapshot(const std::string& path)
{
    std::lock_guard lock(snapshotMutex_);
    snapshotPath_ = path;
    snapshotAsJpeg_ = true;
    snapshotPending_ = true;
}

void CDXGraph::RequestBmpSnapshot(const std::string& path)
{
    std::lock_guard lock(snapshotMutex_);
    snapshotPath_ = path;
    snapshotAsJpeg_ = false;
    snapshotPending_ = true;
}

GrabbedMediaType CDXGraph::grabbedMediaType() const
{
    std::lock_guard lock(snapshotMutex_);
    return grabbedMediaType_;
}

int32_t CDXGraph::BufferCB(double, const uint8_t* frame, size_t length)
{
    GrabbedMediaType type;
    std::string path;
    bool asJpeg = false;
    {
        std::lock_guard lock(snapshotMutex_);
        type = grabbedMediaType_;
        if (!type.isVideo || !type.hasVideoInfo)
            return kVFW_E_INVALIDMEDIATYPE;
        if (!snapshotPath_)
            return kS_OK;
        // Take the request and clear it in one step.
        path = std::move(*snapshotPath_);
        snapshotPath_.reset();
        asJpeg = snapshotAsJpeg_;
        snapshotAsJpeg_ = false;
        snapshotPending_ = false;
    }
    try {
        WriteSnapshot(type, frame, length, path, asJpeg);
    } catch (const std::bad_alloc&) {
        // Out of memory: keep the request for a later frame unless a newer one came.
        std::lock_guard lock(snapshotMutex_);
        if (!snapshotPath_) {
            snapshotPath_ = path;
            snapshotAsJpeg_ = asJpeg;
            snapshotPending_ = true;
        }
    }
    return kS_OK;
}

// Streaming thread: the frame tap between decoder and renderer.
GstPadProbeReturn CDXGraph::OnDecodedFrame(GstPad* pad, GstPadProbeInfo* info, gpointer data)
{
    auto* self = static_cast<CDXGraph*>(data);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
            GstCaps* caps = nullptr;
            gst_event_parse_caps(event, &caps);
            GstVideoInfo vinfo;
            GrabbedMediaType type;
            if (caps && gst_video_info_from_caps(&vinfo, caps)) {
                type.isVideo = true;
                type.hasVideoInfo = true;
                type.subtype = SubtypeOf(GST_VIDEO_INFO_FORMAT(&vinfo));
                type.width = GST_VIDEO_INFO_WIDTH(&vinfo);
                type.height = GST_VIDEO_INFO_HEIGHT(&vinfo);
            }
            std::lock_guard lock(self->snapshotMutex_);
            self->grabbedMediaType_ = type;
        }
        return GST_PAD_PROBE_OK;
    }
    if (!self->snapshotPending_.load())
        return GST_PAD_PROBE_OK;
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    CapsHandle caps = CapsHandle::Adopt(gst_pad_get_current_caps(pad));
    GstVideoInfo vinfo;
    if (!buffer || !caps || !gst_video_info_from_caps(&vinfo, caps.get()))
        return GST_PAD_PROBE_OK;
    GrabbedMediaType type;
    std::string path;
    bool asJpeg = false;
    {
        std::lock_guard lock(self->snapshotMutex_);
        type = self->grabbedMediaType_;
        // Without a video media type the request waits, as BufferCB leaves it.
        if (!self->snapshotPath_ || !type.isVideo || !type.hasVideoInfo)
            return GST_PAD_PROBE_OK;
        path = std::move(*self->snapshotPath_);
        self->snapshotPath_.reset();
        asJpeg = self->snapshotAsJpeg_;
        self->snapshotAsJpeg_ = false;
        // Still pending for whoever waits: until the file is written.
        ++*self->snapshotsWriting_;
        self->snapshotPending_ = false;
    }
    // The frame goes to the snapshot thread by reference; packing, converting, encoding and
    // writing happen there, and the count of snapshots in writing drops when the file is done.
    PostSnapshotJob([frame = BufferHandle::Ref(buffer), vinfo, type, path = std::move(path), asJpeg,
                     writing = self->snapshotsWriting_]() mutable {
        GstVideoFrame vf;
        if (gst_video_frame_map(&vf, &vinfo, frame.get(), GST_MAP_READ)) {
            try {
                const std::vector<uint8_t> bytes = PackFrame(vf);
                gst_video_frame_unmap(&vf);
                WriteSnapshot(type, bytes.empty() ? nullptr : bytes.data(), bytes.size(), path, asJpeg);
            } catch (const std::bad_alloc&) {
                // Out of memory: no file, and the window says none was written.
            }
        }
        frame.reset();
        --*writing;
    });
    return GST_PAD_PROBE_OK;
}

} // namespace vedra
