#include "cdxgraph.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "audio_devices.h"
#include "engine_init.h"
#include "krv_frame_reader.h"
#include "krv_source.h"
#include "message_box.h"
#include "snapshot_writer.h"

namespace vedra {
namespace {

constexpr GstClockTime kStateQueryTimeout = 10 * GST_MSECOND;
constexpr GstClockTime kPrerollTimeout = 10 * GST_SECOND;
constexpr GstClockTime kSettleTimeout = 5 * GST_SECOND;
constexpr uint64_t kHeaderDurationOffset = 102;   // send duration of the file properties

bool IsContainerPath(const std::string& path)
{
    return path.find(".krv") != std::string::npos || path.find(".asf") != std::string::npos;
}

// The 100-ns count at offset 102, in seconds; 0 when the file is too short or unreadable.
double ReadHeaderDuration(const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return 0.0;
    uint8_t b[8] = {};
    const bool ok = std::fseek(f, static_cast<long>(kHeaderDurationOffset), SEEK_SET) == 0 &&
                    std::fread(b, 1, sizeof b, f) == sizeof b;
    std::fclose(f);
    if (!ok)
        return 0.0;
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | b[i];
    return static_cast<double>(static_cast<int64_t>(v)) / 10000000.0;
}

constexpr int kWaveFormatPcm = 1;
constexpr int kWaveFormatAdpcm = 2;

// What the player needs from a WAV file's "fmt " chunk.
struct WaveInfo {
    int formatTag = -1;              // -1: no readable WAV file
    uint32_t samplesPerBlock = 0;    // MS ADPCM: samples one block really holds
    uint32_t parserSamplesPerBlock = 0;   // MS ADPCM: what the WAV parser takes it for
};

WaveInfo ReadWaveInfo(const std::string& path)
{
    WaveInfo info;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return info;
    auto u16 = [](const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; };
    auto u32 = [](const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; };
    uint8_t head[12];
    if (std::fread(head, 1, 12, f) == 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0) {
        long offset = 12;
        for (int chunks = 0; chunks < 64; ++chunks) {
            uint8_t chunk[8 + 20] = {};
            if (std::fseek(f, offset, SEEK_SET) != 0 || std::fread(chunk, 1, 8, f) != 8)
                break;
            const uint32_t size = u32(chunk + 4);
            if (std::memcmp(chunk, "fmt ", 4) == 0) {
                const size_t want = std::min<uint32_t>(size, 20);
                if (size >= 2 && std::fread(chunk + 8, 1, want, f) == want) {
                    info.formatTag = static_cast<int>(u16(chunk + 8));
                    const uint32_t channels = u16(chunk + 10);
                    const uint32_t blockAlign = u16(chunk + 20);
                    if (info.formatTag == 2 && size >= 20 && channels && blockAlign > 7 * channels) {
                        info.samplesPerBlock = u16(chunk + 26);
                        info.parserSamplesPerBlock = ((blockAlign - channels * 7) / 2) * 2;
                    }
                }
                break;
            }
            if (size > 0x7fffffffu - 9 - static_cast<uint32_t>(offset))
                break;
            offset += 8 + static_cast<long>(size) + (size & 1);
        }
    }
    std::fclose(f);
    return info;
}

// GStreamer's WAV parser counts one sample per byte of an MS ADPCM block where
// a block holds two per byte (plus two in its header), so its times run at
// about half speed: 3 s of sound would play as 1.5 s. Its times are scaled
// to the true ones on the way out (buffers, segments, duration) and seeks on
// the way in, so the audio graph plays, seeks and ends on the recording's clock.
struct TimeScale {
    guint64 num;   // true samples per block
    guint64 den;   // the parser's samples per block
    guint64 Out(guint64 t) const { return GST_CLOCK_TIME_IS_VALID(t) ? gst_util_uint64_scale(t, num, den) : t; }
    gint64 In(gint64 t) const { return t < 0 ? t : static_cast<gint64>(gst_util_uint64_scale(static_cast<guint64>(t), den, num)); }
};

GstPadProbeReturn ScaleParserTime(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    const auto* scale = static_cast<const TimeScale*>(data);
    const auto type = GST_PAD_PROBE_INFO_TYPE(info);
    if (type & GST_PAD_PROBE_TYPE_BUFFER) {
        GstBuffer* buffer = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
        GST_BUFFER_PTS(buffer) = scale->Out(GST_BUFFER_PTS(buffer));
        GST_BUFFER_DURATION(buffer) = scale->Out(GST_BUFFER_DURATION(buffer));
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
    } else if (type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
            const GstSegment* in = nullptr;
            gst_event_parse_segment(event, &in);
            if (in && in->format == GST_FORMAT_TIME) {
                GstSegment seg;
                gst_segment_copy_into(in, &seg);
                seg.start = scale->Out(seg.start);
                seg.stop = scale->Out(seg.stop);
                seg.time = scale->Out(seg.time);
                seg.position = scale->Out(seg.position);
                seg.duration = scale->Out(seg.duration);
                GstEvent* out = gst_event_new_segment(&seg);
                gst_event_set_seqnum(out, gst_event_get_seqnum(event));
                gst_event_unref(event);
                GST_PAD_PROBE_INFO_DATA(info) = out;
            }
        }
    } else if (type & GST_PAD_PROBE_TYPE_EVENT_UPSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_SEEK) {
            gdouble rate;
            GstFormat format;
            GstSeekFlags flags;
            GstSeekType startType, stopType;
            gint64 start, stop;
            gst_event_parse_seek(event, &rate, &format, &flags, &startType, &start, &stopType, &stop);
            if (format == GST_FORMAT_TIME) {
                GstEvent* out = gst_event_new_seek(rate, format, flags, startType, scale->In(start), stopType,
                                                   scale->In(stop));
                gst_event_set_seqnum(out, gst_event_get_seqnum(event));
                gst_event_unref(event);
                GST_PAD_PROBE_INFO_DATA(info) = out;
            }
        }
    } else if ((type & GST_PAD_PROBE_TYPE_QUERY_UPSTREAM) && (type & GST_PAD_PROBE_TYPE_PULL)) {
        // The answer, on its way back.
        GstQuery* query = GST_PAD_PROBE_INFO_QUERY(info);
        GstFormat format;
        gint64 value;
        if (GST_QUERY_TYPE(query) == GST_QUERY_DURATION) {
            gst_query_parse_duration(query, &format, &value);
            if (format == GST_FORMAT_TIME && value > 0)
                gst_query_set_duration(query, format, static_cast<gint64>(scale->Out(static_cast<guint64>(value))));
        } else if (GST_QUERY_TYPE(query) == GST_QUERY_POSITION) {
            gst_query_parse_position(query, &format, &value);
            if (format == GST_FORMAT_TIME && value > 0)
                gst_query_set_position(query, format, static_cast<gint64>(scale->Out(static_cast<guint64>(value))));
        }
    }
    return GST_PAD_PROBE_OK;
}

bool LinkMany(std::initializer_list<GstElement*> chain)
{
    GstElement* prev = nullptr;
    for (GstElement* e : chain) {
        if (prev && !gst_element_link(prev, e))
            return false;
        prev = e;
    }
    return true;
}

// Scaling the decoder's YUV picture first and converting the small one after
// costs far less than videoconvertscale doing both in one pass (measured).
constexpr const char* kFrameScalerFactory = "videoscale";
constexpr const char* kFrameConverterFactory = "videoconvert";
// Nearest neighbour: the pixels a pane painting the full picture unsmoothed
// shows anyway, for about a third of the cost of bilinear scaling.
constexpr int kFrameScaleMethod = 0;
constexpr int kMaxFrameSide = 32767;

// The caps the appsink asks for: the pane's pixel layout and, when it gives one,
// its size with square pixels (the picture fills the pane).
CapsHandle FrameCaps(const FrameRequest& request)
{
    const char* format = request.pixels == FramePixels::Bgrx ? "BGRx" : "RGB";
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, format, nullptr);
    if (request.width > 0 && request.height > 0)
        gst_caps_set_simple(caps, "width", G_TYPE_INT, std::min(request.width, kMaxFrameSide), "height", G_TYPE_INT,
                            std::min(request.height, kMaxFrameSide), "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1,
                            nullptr);
    return CapsHandle::Adopt(caps);
}

// The tap hands YV12 frames on as YV12 (I420 with its chroma planes swapped).
uint32_t SubtypeOf(GstVideoFormat format)
{
    switch (format) {
    case GST_VIDEO_FORMAT_I420:
    case GST_VIDEO_FORMAT_YV12:
        return kSubtypeYv12;
    case GST_VIDEO_FORMAT_YUY2:
        return kSubtypeYuy2;
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
    default:
        break;
    }
    return out;
}

}  // namespace

CDXGraph::CDXGraph() = default;

CDXGraph::~CDXGraph()
{
    // Owners call Destroy first; make sure no streaming thread outlives us anyway.
    if (pipeline_)
        Destroy();
}

bool CDXGraph::Create(void* owner)
{
    if (pipeline_)
        return false;
    ownerWindow = owner;
    if (!EngineInit())
        return false;
    GstElement* p = gst_pipeline_new(nullptr);
    if (!p)
        return false;
    pipeline_ = ElementHandle::Adopt(GST_ELEMENT(gst_object_ref_sink(p)));
    BusHandle bus = BusHandle::Adopt(gst_element_get_bus(pipeline_.get()));
    gst_bus_set_sync_handler(bus.get(), &CDXGraph::OnBusMessage, this, nullptr);
    return true;
}

bool CDXGraph::RenderMediaFile(const std::string& path, bool reinstallHint)
{
    vgaCount = 0;
    if (!pipeline_)
        return false;
    filePath = path;
    isContainerFile = false;
    if (IsContainerPath(filePath)) {
        isContainerFile = true;
        headerDuration = ReadHeaderDuration(filePath);
    }
    FILE* probe = std::fopen(filePath.c_str(), "rb");
    if (!probe)
        return false;   // no source for a missing file; no message
    std::fclose(probe);

    const bool built = isContainerFile ? BuildChannelGraph(reinstallHint) : BuildAudioGraph();
    return built && Preroll();
}

bool CDXGraph::BuildChannelGraph(bool reinstallHint)
{
    GstBin* bin = GST_BIN(pipeline_.get());
    // Our reader first; files it refuses go through the generic ASF demuxer.
    bool ownReader = false;
    {
        KrvFrameReader check;
        ownReader = check.Open(filePath) > 0;
        // A channel file without a single data packet (a camera that never started; the
        // splitter still writes its file) has no picture to show: it does not render.
        if (ownReader && check.packetCount() == 0)
            return false;
    }
    ElementHandle source;
    ElementHandle demux;
    if (ownReader) {
        source = MakeElement(kKrvSourceFactory);
    } else {
        source = MakeElement("filesrc");
        demux = MakeElement("asfdemux");
        if (!demux)
            return false;
    }
    if (!source)
        return false;
    g_object_set(source.get(), "location", filePath.c_str(), nullptr);
    gst_bin_add(bin, source.get());
    if (demux)
        gst_bin_add(bin, demux.get());

    decoder_ = MakeElement(videoDecoderFactory.c_str(), "MPEG4 Video Decoder");
    if (!decoder_) {
        ShowMessageBox(reinstallHint ? kMissingDecoderReinstall : kMissingDecoderRestart,
                       kMissingDecoderCaption, ownerWindow);
        return false;
    }
    gst_bin_add(bin, decoder_.get());
    if (demux) {
        if (!gst_element_link(source.get(), demux.get()))
            return false;
        g_signal_connect(demux.get(), "pad-added", G_CALLBACK(&CDXGraph::OnDemuxPad), this);
    } else if (!gst_element_link(source.get(), decoder_.get())) {
        return false;
    }
    return AddVideoTail(decoder_.get());
}

bool CDXGraph::AddVideoTail(GstElement* decoder)
{
    GstBin* bin = GST_BIN(pipeline_.get());
    ElementHandle scale = MakeElement(kFrameScalerFactory);
    ElementHandle convert = MakeElement(kFrameConverterFactory);
    videoSink_ = MakeElement("appsink");
    if (!scale || !convert || !videoSink_)
        return false;
    // Fill the pane as a video window sized to it would: no borders.
    g_object_set(scale.get(), "add-borders", FALSE, "method", kFrameScaleMethod, nullptr);
    g_object_set(videoSink_.get(), "max-buffers", 1u, "drop", TRUE, "sync", TRUE, "enable-last-sample", FALSE,
                 nullptr);
    FrameRequest request;
    {
        std::lock_guard lock(paneMutex_);
        if (pane_)
            request = pane_->Requested();
    }
    frameCaps_.reset();
    ApplyFrameRequest(request);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &CDXGraph::OnNewSample;
    callbacks.new_preroll = &CDXGraph::OnNewPreroll;
    gst_app_sink_set_callbacks(GST_APP_SINK(videoSink_.get()), &callbacks, this, nullptr);

    gst_bin_add_many(bin, scale.get(), convert.get(), videoSink_.get(), nullptr);
    if (!LinkMany({decoder, scale.get(), convert.get(), videoSink_.get()}))
        return false;

    // The frame tap: decoded frames (and their caps) on their way to the renderer.
    PadHandle tap = PadHandle::Adopt(gst_element_get_static_pad(decoder, "src"));
    if (tap)
        gst_pad_add_probe(tap.get(),
                          static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER |
                                                       GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                          &CDXGraph::OnDecodedFrame, this, nullptr);
    return true;
}

bool CDXGraph::BuildAudioGraph()
{
    GstBin* bin = GST_BIN(pipeline_.get());
    ElementHandle source = MakeElement("filesrc");
    ElementHandle parse = MakeElement("wavparse");
    audioHead_ = MakeElement("audioconvert");
    ElementHandle resample = MakeElement("audioresample");
    volume_ = MakeElement("volume");
    if (!source || !parse || !audioHead_ || !resample || !volume_)
        return false;
    g_object_set(source.get(), "location", filePath.c_str(), nullptr);
    // The recording's audio is MS ADPCM; anything else is left to decodebin.
    const WaveInfo wave = ReadWaveInfo(filePath);
    const int formatTag = wave.formatTag;
    if (wave.samplesPerBlock > 0 && wave.parserSamplesPerBlock > 0 &&
        wave.samplesPerBlock != wave.parserSamplesPerBlock) {
        PadHandle out = PadHandle::Adopt(gst_element_get_static_pad(parse.get(), "src"));
        auto* scale = new TimeScale{wave.samplesPerBlock, wave.parserSamplesPerBlock};
        gst_pad_add_probe(out.get(),
                          static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_BOTH |
                                                       GST_PAD_PROBE_TYPE_QUERY_UPSTREAM | GST_PAD_PROBE_TYPE_PUSH |
                                                       GST_PAD_PROBE_TYPE_PULL),
                          ScaleParserTime, scale, [](gpointer p) { delete static_cast<TimeScale*>(p); });
    }
    ElementHandle decoder;
    if (formatTag == kWaveFormatAdpcm)
        decoder = MakeElement("avdec_adpcm_ms");
    else if (formatTag != kWaveFormatPcm)
        decoder = MakeElement("decodebin");
    if (formatTag != kWaveFormatPcm && !decoder)
        return false;

    ElementHandle sink;
    if (audioRenderer) {
        // The device list keeps its own reference; the bin gets one more.
        sink = ElementHandle::Ref(audioRenderer);
        addedAudioRenderer_ = true;
    } else {
        sink = MakeDefaultAudioSink();
    }
    if (!sink)
        return false;
    for (GstElement* e : {source.get(), parse.get(), audioHead_.get(), resample.get(), volume_.get(), sink.get()})
        gst_bin_add(bin, e);
    if (decoder)
        gst_bin_add(bin, decoder.get());
    if (!LinkMany({source.get(), parse.get()}) ||
        !LinkMany({audioHead_.get(), resample.get(), volume_.get(), sink.get()}))
        return false;
    if (!decoder) {
        if (!gst_element_link(parse.get(), audioHead_.get()))
            return false;
    } else if (formatTag == kWaveFormatAdpcm) {
        if (!LinkMany({parse.get(), decoder.get(), audioHead_.get()}))
            return false;
    } else {
        if (!gst_element_link(parse.get(), decoder.get()))
            return false;
        g_signal_connect(decoder.get(), "pad-added", G_CALLBACK(&CDXGraph::OnDecodedAudioPad), this);
    }
    ApplyVolume();
    return true;
}

// Streaming thread: decodebin found the audio of an unusual WAV file.
void CDXGraph::OnDecodedAudioPad(GstElement*, GstPad* pad, gpointer data)
{
    auto* self = static_cast<CDXGraph*>(data);
    PadHandle sinkPad = PadHandle::Adopt(gst_element_get_static_pad(self->audioHead_.get(), "sink"));
    if (sinkPad && !gst_pad_is_linked(sinkPad.get()))
        gst_pad_link(pad, sinkPad.get());
}

// Streaming thread: the ASF demuxer's video stream goes to the decoder.
void CDXGraph::OnDemuxPad(GstElement*, GstPad* pad, gpointer data)
{
    auto* self = static_cast<CDXGraph*>(data);
    CapsHandle caps = CapsHandle::Adopt(gst_pad_query_caps(pad, nullptr));
    const GstStructure* s = caps && !gst_caps_is_empty(caps.get()) ? gst_caps_get_structure(caps.get(), 0) : nullptr;
    if (!s || !g_str_has_prefix(gst_structure_get_name(s), "video/"))
        return;
    PadHandle sinkPad = PadHandle::Adopt(gst_element_get_static_pad(self->decoder_.get(), "sink"));
    if (sinkPad && !gst_pad_is_linked(sinkPad.get()))
        gst_pad_link(pad, sinkPad.get());
}

// Brings the graph to PAUSED once so it is known to play, learns the decoded
// size and the duration, and leaves it stopped.
bool CDXGraph::Preroll()
{
    bool ok = gst_element_set_state(pipeline_.get(), GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE;
    const gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(kPrerollTimeout / GST_USECOND);
    while (ok) {
        const GstStateChangeReturn r = gst_element_get_state(pipeline_.get(), nullptr, nullptr, 20 * GST_MSECOND);
        if (r == GST_STATE_CHANGE_SUCCESS || r == GST_STATE_CHANGE_NO_PREROLL)
            break;
        if (r == GST_STATE_CHANGE_FAILURE || HasQueuedError() || g_get_monotonic_time() > deadline)
            ok = false;
    }
    if (ok && HasQueuedError())
        ok = false;
    if (ok && decoder_) {
        PadHandle pad = PadHandle::Adopt(gst_element_get_static_pad(decoder_.get(), "src"));
        CapsHandle caps = pad ? CapsHandle::Adopt(gst_pad_get_current_caps(pad.get())) : CapsHandle();
        GstVideoInfo info;
        if (caps && gst_video_info_from_caps(&info, caps.get()) &&
            GST_VIDEO_INFO_WIDTH(&info) == 640 && GST_VIDEO_INFO_HEIGHT(&info) == 480)
            ++vgaCount;
    }
    gint64 duration = 0;
    if (ok && gst_element_query_duration(pipeline_.get(), GST_FORMAT_TIME, &duration) && duration >= 0)
        pipelineDuration_ = static_cast<double>(duration / 100) / 10000000.0;
    gst_element_set_state(pipeline_.get(), GST_STATE_READY);
    gst_element_get_state(pipeline_.get(), nullptr, nullptr, kSettleTimeout);
    // What rendering posted is no event of the playing graph.
    ClearEvents();
    return ok;
}

bool CDXGraph::Destroy()
{
    if (pipeline_) {
        gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
        BusHandle bus = BusHandle::Adopt(gst_element_get_bus(pipeline_.get()));
        gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
        if (addedAudioRenderer_ && audioRenderer) {
            // Back to the device list, not released: the same sink may join a new graph.
            gst_element_set_state(audioRenderer, GST_STATE_NULL);
            gst_bin_remove(GST_BIN(pipeline_.get()), audioRenderer);
        }
    }
    audioRenderer = nullptr;
    addedAudioRenderer_ = false;
    {
        std::lock_guard lock(paneMutex_);
        if (pane_)
            pane_->HideFrame();
        pane_ = nullptr;
    }
    {
        std::lock_guard lock(notifyMutex_);
        notifyTarget_ = nullptr;
    }
    {
        std::lock_guard lock(snapshotMutex_);
        snapshotPath_.reset();
        snapshotAsJpeg_ = false;
        snapshotPending_ = false;
    }
    videoSink_.reset();
    frameRequest_ = FrameRequest{};
    frameCaps_.reset();
    decoder_.reset();
    volume_.reset();
    audioHead_.reset();
    pipeline_.reset();
    ClearEvents();
    pipelineDuration_ = -1.0;
    pendingSeek_ = -1.0;
    return true;
}

bool CDXGraph::AttachToPane(IFrameSink* pane)
{
    if (!pipeline_)
        return false;
    // Without a pane the frames keep their layout: nothing to renegotiate for.
    if (pane)
        ApplyFrameRequest(pane->Requested());
    std::lock_guard lock(paneMutex_);
    if (pane_ && pane_ != pane)
        pane_->HideFrame();
    pane_ = pane;
    return true;
}

void CDXGraph::ApplyFrameRequest(const FrameRequest& request)
{
    if (!videoSink_ || (frameCaps_ && request == frameRequest_))
        return;
    CapsHandle wanted = FrameCaps(request);
    // A frame negotiated just before the change may still arrive in the old
    // layout; the appsink takes it too, the new layout coming first.
    CapsHandle accepted = CapsHandle::Adopt(gst_caps_copy(wanted.get()));
    if (frameCaps_)
        accepted = CapsHandle::Adopt(gst_caps_merge(accepted.release(), gst_caps_copy(frameCaps_.get())));
    gst_app_sink_set_caps(GST_APP_SINK(videoSink_.get()), accepted.get());
    frameRequest_ = request;
    frameCaps_ = std::move(wanted);
    // A running graph renegotiates with the next frame.
    PadHandle pad = PadHandle::Adopt(gst_element_get_static_pad(videoSink_.get(), "sink"));
    if (pad)
        gst_pad_push_event(pad.get(), gst_event_new_reconfigure());
}

std::optional<GstState> CDXGraph::CurrentTarget() const
{
    if (!pipeline_)
        return std::nullopt;
    GstState current = GST_STATE_VOID_PENDING;
    GstState pending = GST_STATE_VOID_PENDING;
    if (gst_element_get_state(pipeline_.get(), &current, &pending, kStateQueryTimeout) == GST_STATE_CHANGE_FAILURE)
        return std::nullopt;
    // As the graph reports it: a change under way counts as its target.
    return pending != GST_STATE_VOID_PENDING ? pending : current;
}

bool CDXGraph::IsRunning() const
{
    const auto s = CurrentTarget();
    return s && *s == GST_STATE_PLAYING;
}

bool CDXGraph::IsPaused() const
{
    const auto s = CurrentTarget();
    return s && *s == GST_STATE_PAUSED;
}

bool CDXGraph::IsStopped() const
{
    const auto s = CurrentTarget();
    return s && (*s == GST_STATE_READY || *s == GST_STATE_NULL);
}

bool CDXGraph::SetState(GstState state)
{
    return gst_element_set_state(pipeline_.get(), state) != GST_STATE_CHANGE_FAILURE;
}

bool CDXGraph::WaitForState(GstClockTime timeout) const
{
    return gst_element_get_state(pipeline_.get(), nullptr, nullptr, timeout) != GST_STATE_CHANGE_FAILURE;
}

void CDXGraph::ApplyPendingSeek()
{
    const double t = pendingSeek_;
    pendingSeek_ = -1.0;
    if (t > 0.0) {
        const gint64 pos = static_cast<gint64>(t * 10000000.0) * 100;
        gst_element_seek_simple(pipeline_.get(), GST_FORMAT_TIME,
                                static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), pos);
        WaitForState(kSettleTimeout);
    }
}

void CDXGraph::Run()
{
    if (!pipeline_)
        return;
    const auto s = CurrentTarget();
    if (s && *s == GST_STATE_PLAYING)
        return;
    if (!s || *s == GST_STATE_READY || *s == GST_STATE_NULL) {
        // Seeks are only possible once the graph is paused.
        SetState(GST_STATE_PAUSED);
        WaitForState(kSettleTimeout);
        ApplyPendingSeek();
    }
    SetState(GST_STATE_PLAYING);
}

void CDXGraph::Pause()
{
    if (!pipeline_)
        return;
    const auto s = CurrentTarget();
    if (s && *s == GST_STATE_PAUSED)
        return;
    const bool fromStopped = !s || *s == GST_STATE_READY || *s == GST_STATE_NULL;
    SetState(GST_STATE_PAUSED);
    if (fromStopped) {
        WaitForState(kSettleTimeout);
        ApplyPendingSeek();
    }
}

void CDXGraph::Stop()
{
    if (!pipeline_)
        return;
    const auto s = CurrentTarget();
    if (s && (*s == GST_STATE_READY || *s == GST_STATE_NULL))
        return;
    // A stopped graph keeps its position for the next start.
    const double position = GetPositionSeconds();
    SetState(GST_STATE_READY);
    WaitForState(kSettleTimeout);
    pendingSeek_ = position;
}

bool CDXGraph::SeekTo(double seconds)
{
    if (!pipeline_)
        return false;
    if (!(seconds >= 0.0))
        seconds = 0.0;
    const auto s = CurrentTarget();
    if (!s || *s == GST_STATE_READY || *s == GST_STATE_NULL) {
        pendingSeek_ = seconds;
        return true;
    }
    const gint64 units = static_cast<gint64>(seconds * 10000000.0);   // 100-ns units, truncated
    const bool ok = gst_element_seek_simple(pipeline_.get(), GST_FORMAT_TIME,
                                            static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                            units * 100);
    if (ok)
        WaitForState(kSettleTimeout);
    return ok;
}

double CDXGraph::GetPositionSeconds() const
{
    if (!pipeline_)
        return 0.0;
    const auto s = CurrentTarget();
    if (!s || *s == GST_STATE_READY || *s == GST_STATE_NULL)
        return pendingSeek_ > 0.0 ? pendingSeek_ : 0.0;
    gint64 position = 0;
    if (!gst_element_query_position(pipeline_.get(), GST_FORMAT_TIME, &position) || position < 0)
        return 0.0;
    return static_cast<double>(position / 100) / 10000000.0;
}

bool CDXGraph::GetDurationSeconds(double& seconds)
{
    if (!pipeline_)
        return false;
    if (isContainerFile) {
        seconds = headerDuration;
        return true;
    }
    gint64 duration = 0;
    double value = -1.0;
    if (gst_element_query_duration(pipeline_.get(), GST_FORMAT_TIME, &duration) && duration >= 0)
        value = static_cast<double>(duration / 100) / 10000000.0;
    else
        value = pipelineDuration_;   // a stopped graph cannot be asked; use what prerolling learnt
    if (value < 0.0)
        return false;
    seconds = value;
    headerDuration = value;
    return true;
}

void CDXGraph::SetVolume(int32_t level)
{
    if (!pipeline_ || level < -10000 || level > 0)
        return;
    volumeLevel_ = level;
    ApplyVolume();
}

int32_t CDXGraph::GetVolume() const
{
    return volumeLevel_;
}

void CDXGraph::ApplyVolume()
{
    if (!volume_)
        return;
    if (volumeLevel_ <= -10000) {
        g_object_set(volume_.get(), "mute", TRUE, "volume", 0.0, nullptr);
    } else {
        const double linear = std::pow(10.0, volumeLevel_ / 2000.0);
        g_object_set(volume_.get(), "mute", FALSE, "volume", linear, nullptr);
    }
}

void CDXGraph::SetNotifyWindow(INotifyTarget* target, uint32_t msg, intptr_t param)
{
    std::lock_guard lock(notifyMutex_);
    notifyTarget_ = target;
    notifyMsg_ = msg;
    notifyParam_ = param;
}

// Any thread. End of stream and errors are queued for HandleGraphEvents and
// then announced to the notify target, so the event is there when the target
// looks; everything else is of no use to the player and is dropped.
GstBusSyncReply CDXGraph::OnBusMessage(GstBus*, GstMessage* msg, gpointer data)
{
    auto* self = static_cast<CDXGraph*>(data);
    const GstMessageType type = GST_MESSAGE_TYPE(msg);
    // A dropped message is ours to release.
    gst_message_unref(msg);
    if (type != GST_MESSAGE_EOS && type != GST_MESSAGE_ERROR)
        return GST_BUS_DROP;
    {
        std::lock_guard lock(self->eventMutex_);
        self->events_.push_back(type);
    }
    std::lock_guard lock(self->notifyMutex_);
    if (self->notifyTarget_)
        self->notifyTarget_->PostMessage(self->notifyMsg_, 0, self->notifyParam_);
    return GST_BUS_DROP;
}

bool CDXGraph::HasQueuedError()
{
    std::lock_guard lock(eventMutex_);
    return std::find(events_.begin(), events_.end(), GST_MESSAGE_ERROR) != events_.end();
}

std::optional<GstMessageType> CDXGraph::PopEvent()
{
    std::lock_guard lock(eventMutex_);
    if (events_.empty())
        return std::nullopt;
    const GstMessageType type = events_.front();
    events_.pop_front();
    return type;
}

void CDXGraph::ClearEvents()
{
    std::lock_guard lock(eventMutex_);
    events_.clear();
}

int CDXGraph::HandleGraphEvents()
{
    if (!pipeline_)
        return 1;
    for (;;) {
        const auto event = PopEvent();
        if (!event)
            return 1;
        if (*event == GST_MESSAGE_EOS) {
            if (!IsPaused())
                Pause();
            SeekTo(0.0);
            return 2;
        }
        if (*event == GST_MESSAGE_ERROR) {
            SeekTo(0.0);
            if (!IsStopped())
                Stop();
            pendingSeek_ = 0.0;
            return 0;
        }
    }
}

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
    GstVideoFrame vf;
    if (!buffer || !caps || !gst_video_info_from_caps(&vinfo, caps.get()) ||
        !gst_video_frame_map(&vf, &vinfo, buffer, GST_MAP_READ))
        return GST_PAD_PROBE_OK;
    std::vector<uint8_t> bytes;
    try {
        bytes = PackFrame(vf);
    } catch (const std::bad_alloc&) {
    }
    gst_video_frame_unmap(&vf);
    const double time = GST_BUFFER_PTS_IS_VALID(buffer) ? static_cast<double>(GST_BUFFER_PTS(buffer)) / GST_SECOND : 0.0;
    self->BufferCB(time, bytes.empty() ? nullptr : bytes.data(), bytes.size());
    return GST_PAD_PROBE_OK;
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
    case GST_VIDEO_FORMAT_RGB:
        pixels = FramePixels::Rgb24;
        break;
    case GST_VIDEO_FORMAT_BGRx:
        pixels = FramePixels::Bgrx;
        break;
    default:
        return;
    }
    // The appsink reuses its sample object for the next frame and must find it
    // unshared; a pane may keep a frame for a while, so it gets a sample of its own.
    sample = SampleHandle::Adopt(gst_sample_new(buffer, caps, nullptr, nullptr));
    std::lock_guard lock(paneMutex_);
    // The prerolled frame comes again as the first sample when playing starts.
    const bool repeat = !preroll && buffer == lastPreroll_ && GST_BUFFER_PTS(buffer) == lastPrerollPts_;
    lastPreroll_ = preroll ? buffer : nullptr;
    lastPrerollPts_ = preroll ? GST_BUFFER_PTS(buffer) : GST_CLOCK_TIME_NONE;
    if (repeat)
        return;
    if (!pane_)
        return;
    auto frame = std::make_shared<const VideoFrame>(std::move(sample), pixels, GST_VIDEO_INFO_WIDTH(&info),
                                                    GST_VIDEO_INFO_HEIGHT(&info),
                                                    GST_VIDEO_INFO_PLANE_STRIDE(&info, 0));
    if (frame->valid())
        pane_->PresentFrame(frame);
}

}  // namespace vedra
