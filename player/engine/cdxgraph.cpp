#include "cdxgraph.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <cstdio>

#include "audio_devices.h"
#include "audio_timeline.h"
#include "engine_init.h"
#include "krv/krv_recording_name.h"
#include "krv/krv_wav_format.h"
#include "krv_frame_reader.h"
#include "krv_source.h"
#include "shared_clock.h"

namespace vedra {
namespace {

constexpr GstClockTime kPrerollTimeout = 10 * GST_SECOND;
constexpr GstClockTime kSettleTimeout = 5 * GST_SECOND;
// The decoder's I420 passes the converter untouched; it converts only what another
// decoder might give. Scaling and RGB come after the appsink, in one pass (pane_output.cpp).
constexpr const char* kFrameConverterFactory = "videoconvert";

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

} // namespace

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
    // One clock for every graph, and base times given by whoever starts them.
    gst_pipeline_use_clock(GST_PIPELINE(p), SharedClock());
    gst_element_set_start_time(p, GST_CLOCK_TIME_NONE);
    BusHandle bus = BusHandle::Adopt(gst_element_get_bus(pipeline_.get()));
    gst_bus_set_sync_handler(bus.get(), &CDXGraph::OnBusMessage, this, nullptr);
    return true;
}

void CDXGraph::SetTimeOffset(double seconds)
{
    timeOffset_ = static_cast<GstClockTimeDiff>(seconds * GST_SECOND);
    onTimeline_ = true;
}

bool CDXGraph::RenderMediaFile(const std::string& path, bool reinstallHint)
{
    vgaCount = 0;
    decoderMissing_ = false;
    if (!pipeline_)
        return false;
    filePath = path;
    isContainerFile = krv_is_recording_name(filePath);
    if (isContainerFile)
        headerDuration = 0.0; // from the file's header once the reader has opened it
    FILE* probe = std::fopen(filePath.c_str(), "rb");
    if (!probe)
        return false; // no source for a missing file; no message
    std::fclose(probe);

    const bool built = isContainerFile ? BuildChannelGraph(reinstallHint) : BuildAudioGraph();
    return built && Preroll();
}

bool CDXGraph::BuildChannelGraph(bool /*reinstallHint*/)
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
        if (ownReader)
            headerDuration = check.headerDurationSeconds() + static_cast<double>(timeOffset_) / GST_SECOND;
    }
    ElementHandle source;
    ElementHandle demux;
    if (ownReader) {
        source = MakeElement(kKrvSourceFactory);
        if (source)
            g_object_set(source.get(), "time-offset", static_cast<gint64>(timeOffset_), nullptr);
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
        decoderMissing_ = true; // the caller says so, with the wording reinstallHint picks
        return false;
    }
    // Every camera plays in a graph of its own, so the cameras already decode side by side: threads
    // within one camera's decoder would only add hand-overs (a third of its CPU at these sizes).
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(decoder_.get()), "max-threads"))
        g_object_set(decoder_.get(), "max-threads", 1, nullptr);
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

// The appsink answers no allocation query by itself: this answers it, with no pool of its own.
GstPadProbeReturn CDXGraph::OfferVideoMeta(GstPad*, GstPadProbeInfo* info, gpointer)
{
    GstQuery* query = GST_PAD_PROBE_INFO_QUERY(info);
    if (GST_QUERY_TYPE(query) != GST_QUERY_ALLOCATION)
        return GST_PAD_PROBE_OK;
    if (!gst_query_find_allocation_meta(query, GST_VIDEO_META_API_TYPE, nullptr))
        gst_query_add_allocation_meta(query, GST_VIDEO_META_API_TYPE, nullptr);
    return GST_PAD_PROBE_HANDLED;
}

bool CDXGraph::AddVideoTail(GstElement* decoder)
{
    GstBin* bin = GST_BIN(pipeline_.get());
    ElementHandle convert = MakeElement(kFrameConverterFactory);
    videoSink_ = MakeElement("appsink");
    if (!convert || !videoSink_)
        return false;
    g_object_set(videoSink_.get(), "max-buffers", 1u, "drop", TRUE, "sync", TRUE, "enable-last-sample", FALSE, nullptr);
    CapsHandle decoded = CapsHandle::Adopt(gst_caps_from_string("video/x-raw,format=I420"));
    gst_app_sink_set_caps(GST_APP_SINK(videoSink_.get()), decoded.get());
    FrameRequest request;
    {
        std::lock_guard lock(paneMutex_);
        if (pane_)
            request = pane_->Requested();
    }
    ApplyFrameRequest(request);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &CDXGraph::OnNewSample;
    callbacks.new_preroll = &CDXGraph::OnNewPreroll;
    gst_app_sink_set_callbacks(GST_APP_SINK(videoSink_.get()), &callbacks, this, nullptr);

    // Every reader of these frames maps them by their video meta, so the decoder may hand over
    // its own padded pictures rather than copy each into a buffer of plain strides.
    PadHandle sinkPad = PadHandle::Adopt(gst_element_get_static_pad(videoSink_.get(), "sink"));
    if (sinkPad)
        gst_pad_add_probe(sinkPad.get(), GST_PAD_PROBE_TYPE_QUERY_DOWNSTREAM, &OfferVideoMeta, nullptr, nullptr);

    gst_bin_add_many(bin, convert.get(), videoSink_.get(), nullptr);
    if (!LinkMany({decoder, convert.get(), videoSink_.get()}))
        return false;

    // The frame tap: decoded frames (and their caps) on their way to the renderer.
    PadHandle tap = PadHandle::Adopt(gst_element_get_static_pad(decoder, "src"));
    if (tap)
        gst_pad_add_probe(tap.get(),
                          static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                          &CDXGraph::OnDecodedFrame, this, nullptr);
    return true;
}

bool CDXGraph::BuildAudioGraph()
{
    GstBin* bin = GST_BIN(pipeline_.get());
    ElementHandle source = MakeElement("filesrc");
    ElementHandle parse = MakeElement("wavparse");
    audioHead_ = MakeElement("audioconvert");
    // At another speed the sound keeps its pitch.
    ElementHandle tempo = MakeElement("scaletempo");
    ElementHandle tempoOut = MakeElement("audioconvert");
    ElementHandle resample = MakeElement("audioresample");
    volume_ = MakeElement("volume");
    if (!source || !parse || !audioHead_ || !tempo || !tempoOut || !resample || !volume_)
        return false;
    g_object_set(source.get(), "location", filePath.c_str(), nullptr);
    // The recording's audio is MS ADPCM; anything else is left to decodebin.
    const KrvWavFormat wave = krv_read_wav_format(filePath);
    const int formatTag = wave.formatTag;
    InstallAudioTimeline(parse.get(), wave, timeOffset_);
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
    for (GstElement* e : {source.get(), parse.get(), audioHead_.get(), tempo.get(), tempoOut.get(), resample.get(),
                          volume_.get(), sink.get()})
        gst_bin_add(bin, e);
    if (decoder)
        gst_bin_add(bin, decoder.get());
    if (!LinkMany({source.get(), parse.get()}) ||
        !LinkMany({audioHead_.get(), tempo.get(), tempoOut.get(), resample.get(), volume_.get(), sink.get()}))
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
        if (caps && gst_video_info_from_caps(&info, caps.get())) {
            std::lock_guard lock(paneMutex_);
            source_ = {GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info), GST_VIDEO_INFO_PAR_N(&info),
                       GST_VIDEO_INFO_PAR_D(&info)};
            if (source_.width == 640 && source_.height == 480)
                ++vgaCount;
        }
    }
    gint64 duration = 0;
    if (ok && gst_element_query_duration(pipeline_.get(), GST_FORMAT_TIME, &duration) && duration >= 0)
        pipelineDuration_ = static_cast<double>(duration / 100) / 10000000.0;
    gst_element_set_state(pipeline_.get(), GST_STATE_READY);
    gst_element_get_state(pipeline_.get(), nullptr, nullptr, kSettleTimeout);
    // What rendering posted is no event of the playing graph, and its picture no picture of it.
    ClearEvents();
    ForgetLastFrame();
    // A pane's fitted frames take their size from the picture just learnt.
    ApplyFrameRequest(frameRequest_);
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
        lastFrame_.reset();
        shownTime_ = shownLength_ = GST_CLOCK_TIME_NONE;
        source_ = {};
        paneRequest_ = {};
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
    decoder_.reset();
    volume_.reset();
    audioHead_.reset();
    pipeline_.reset();
    ClearEvents();
    pipelineDuration_ = -1.0;
    pendingSeek_ = -1.0;
    pausedRunningTime_ = 0;
    return true;
}

} // namespace vedra
