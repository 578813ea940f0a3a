// CDXGraph: one GStreamer pipeline playing one file of a recording, either a
// channel file (.krv/.asf: MPEG-4 video to a pane) or the audio file (.wav).
//
// All operations run on the GUI thread. Streaming threads enter only through
// the frame tap (BufferCB) and the appsink's frame hand-over; bus messages
// reach the notify target as posted MsgGraphNotify messages and are drained
// with HandleGraphEvents on the GUI thread.
//
// Every graph runs on the process's shared clock (shared_clock.h) and is given
// its base time by whoever starts it: Run() starts one graph on its own, Cue()
// and RunAt() start several together on the same instant.
//
// The class is spread over files by responsibility: building and tearing down
// (cdxgraph.cpp), states, seeking and volume (graph_transport.cpp), frames to
// panes (pane_output.cpp), the snapshot tap (snapshot_tap.cpp) and bus events
// (graph_events.cpp).
#pragma once

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "frame_sink.h"
#include "gst_handles.h"
#include "media_type.h"
#include "notify_target.h"
#include "picture_pool.h"

namespace vedra {

class CDXGraph {
public:
    // The decoder every channel file is played with.
    static constexpr const char* kVideoDecoderFactory = "avdec_mpeg4";
    static constexpr const char* kMissingDecoderReinstall =
        "It can't find any necessarity ffdshow codec, \nplease re-install the tools. ";
    static constexpr const char* kMissingDecoderRestart =
        "It can't find any necessarity ffdshow codec, \nplease restart pc and run the tools again. ";
    static constexpr const char* kMissingDecoderCaption = "Warning!!!";
    // The warning a caller shows when a render failed for want of the decoder.
    static const char* MissingDecoderText(bool reinstallHint)
    {
        return reinstallHint ? kMissingDecoderReinstall : kMissingDecoderRestart;
    }

    CDXGraph();
    ~CDXGraph();
    CDXGraph(const CDXGraph&) = delete;
    CDXGraph& operator=(const CDXGraph&) = delete;

    bool Create(void* owner);
    // False when the file does not play; decoderMissing() then says whether the
    // decoder was what failed (the caller shows MissingDecoderText).
    bool RenderMediaFile(const std::string& path, bool reinstallHint);
    bool decoderMissing() const { return decoderMissing_; }
    // Where the file's time 0 falls on its recording's timeline (the time its
    // split took off), so every graph of a recording plays, seeks and reports
    // times on one timeline. Set before RenderMediaFile. A graph on a timeline
    // shows nothing while it stands before its first frame (another file of
    // the recording may show that time already); a file played on its own
    // shows its first picture there.
    void SetTimeOffset(double seconds);
    bool Destroy();
    // Frames go to `pane` from now on, in the layout and size it requests
    // (again after a resize or zoom: re-attaching the same pane re-reads its
    // request; a paused graph then shows its picture again in the new size);
    // nullptr hides the picture.
    bool AttachToPane(IFrameSink* pane);

    bool IsRunning() const;
    bool IsPaused() const;
    bool IsStopped() const;
    void Run();
    void Pause();
    void Stop();

    // Key-unit seeks land on the key frame at or before the time: cheap, for
    // following a dragged thumb. Accurate seeks land on the frame of the time.
    enum class SeekMode { Accurate, KeyUnit };
    bool SeekTo(double seconds, SeekMode mode = SeekMode::Accurate);
    // Pauses the graph at `seconds` and waits until its picture is there, ready
    // to be started with RunAt together with other cued graphs.
    bool Cue(double seconds, SeekMode mode = SeekMode::Accurate);
    // Starts a paused or cued graph so that the time it stands at is shown at
    // baseTime of the shared clock; graphs cued at one time and run with one
    // base time play in step.
    void RunAt(GstClockTime baseTime);
    double GetPositionSeconds() const;
    bool GetDurationSeconds(double& seconds);
    // The picture the graph shows now: its presentation time and how long it lasts
    // (until the next frame). False when it shows none.
    bool CurrentFrame(double& start, double& duration);

    // Playback speed, 1 normal. Taken by the next seek or cue; above kFullDecodeMaxRate
    // only key frames are decoded.
    void SetRate(double rate);
    double rate() const { return rate_; }
    static constexpr double kFullDecodeMaxRate = 8.0;

    // Hundredths of a decibel, -10000 (silence) to 0 (full volume).
    void SetVolume(int32_t level);
    int32_t GetVolume() const;

    void SetNotifyWindow(INotifyTarget* target, uint32_t msg, intptr_t param);
    // 1: nothing queued; 2: end of stream (paused at 0); 0: error (stopped at 0).
    int HandleGraphEvents();

    void RequestJpegSnapshot(const std::string& path);
    void RequestBmpSnapshot(const std::string& path);

    // Frame callback: writes a pending snapshot from the frame, on the calling thread (the
    // frame tap itself hands frames to the snapshot thread instead).
    // kS_OK, or kVFW_E_INVALIDMEDIATYPE when the tap's media type is no video frame type.
    int32_t BufferCB(double sampleTime, const uint8_t* frame, size_t length);

    GrabbedMediaType grabbedMediaType() const;
    // A snapshot waits for its frame, or is being written (until its file is complete).
    bool HasPendingSnapshot() const { return snapshotPending_.load() || snapshotsWriting_->load() > 0; }

    // --- members the rest of the player reads (GUI thread) ---
    bool isContainerFile = false;
    std::string filePath;        // survives Destroy
    double headerDuration = 0.0; // seconds
    int32_t vgaCount = 0;
    void* ownerWindow = nullptr;         // owner of the message boxes
    GstElement* audioRenderer = nullptr; // borrowed from the device list, never released here
    // Decoder factory to create; tests name a missing one.
    std::string videoDecoderFactory = kVideoDecoderFactory;

private:
    enum class Target { Stopped, Paused, Running };

    bool BuildChannelGraph(bool reinstallHint);
    bool BuildAudioGraph();
    bool AddVideoTail(GstElement* decoder);
    // True when the frames' layout or size changed.
    bool ApplyFrameRequest(const FrameRequest& request);
    void ForgetLastFrame();
    bool Preroll();
    bool WaitForState(GstClockTime timeout) const;
    bool SetState(GstState state);
    bool FlushSeek(double seconds, SeekMode mode, bool toPlay);
    bool ToPausedFromStopped();
    bool ReadyToStart();
    void StartAt(GstClockTime baseTime);
    std::optional<GstState> CurrentTarget() const;
    void ApplyVolume();

    static GstBusSyncReply OnBusMessage(GstBus*, GstMessage* msg, gpointer self);
    static GstPadProbeReturn OnDecodedFrame(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    static GstPadProbeReturn OfferVideoMeta(GstPad* pad, GstPadProbeInfo* info, gpointer unused);
    static GstFlowReturn OnNewSample(GstAppSink* appsink, gpointer self);
    static GstFlowReturn OnNewPreroll(GstAppSink* appsink, gpointer self);
    void Present(SampleHandle sample, bool preroll);
    // The decoded I420 frame as the pane asked for it; null when it does not convert.
    VideoFramePtr ConvertForPane(GstBuffer* buffer, const GstVideoInfo& info, const FrameRequest& request,
                                 const SourcePicture& source, GstClockTime time, GstClockTime length);
    static void OnDemuxPad(GstElement* demux, GstPad* pad, gpointer self);
    static void OnDecodedAudioPad(GstElement* decodebin, GstPad* pad, gpointer self);

    // GUI thread only
    ElementHandle pipeline_;
    ElementHandle volume_;
    ElementHandle videoSink_;
    FrameRequest frameRequest_; // what the pane asks for
    ElementHandle decoder_;
    ElementHandle audioHead_; // the audio converter after the decoder
    bool addedAudioRenderer_ = false;
    int32_t volumeLevel_ = 0;
    double pipelineDuration_ = -1.0; // seconds, learnt while prerolling
    double pendingSeek_ = -1.0;      // a seek made while stopped, applied on the next start
    bool decoderMissing_ = false;
    GstClockTimeDiff timeOffset_ = 0; // ns
    bool onTimeline_ = false;
    double rate_ = 1.0;
    // Running time at which a playing graph was paused (0 after a flushing seek,
    // which starts the running time again): a later RunAt goes on from there.
    GstClockTime pausedRunningTime_ = 0;

    std::optional<GstMessageType> PopEvent();
    bool HasQueuedError();
    void ClearEvents();

    // guarded by eventMutex_: end of stream and errors waiting for HandleGraphEvents
    std::mutex eventMutex_;
    std::deque<MessageHandle> events_;

    // guarded by notifyMutex_ (read on streaming threads)
    mutable std::mutex notifyMutex_;
    INotifyTarget* notifyTarget_ = nullptr;
    uint32_t notifyMsg_ = 0;
    intptr_t notifyParam_ = 0;

    // guarded by paneMutex_
    std::mutex paneMutex_;
    IFrameSink* pane_ = nullptr;
    const GstBuffer* lastPreroll_ = nullptr; // compared only, never dereferenced
    GstClockTime lastPrerollPts_ = GST_CLOCK_TIME_NONE;
    VideoFramePtr lastFrame_;                      // shown again at once in a pane newly attached
    GstClockTime shownTime_ = GST_CLOCK_TIME_NONE; // the frame on screen (also in a hidden pane)
    GstClockTime shownLength_ = GST_CLOCK_TIME_NONE;
    SourcePicture source_;     // the decoded picture, learnt while prerolling
    FrameRequest paneRequest_; // what frames are converted to (the streaming thread reads it)

    // The appsink's callbacks only (one streaming thread): the caps of the last sample presented,
    // and what they say.
    CapsHandle presentedCaps_;
    GstVideoInfo presentedInfo_{};

    // Streaming thread: pane pictures come from the pool; convertMutex_ guards the scratch picture.
    PicturePool picturePool_;
    std::mutex convertMutex_;
    std::vector<uint8_t> convertScratch_;

    // guarded by snapshotMutex_
    mutable std::mutex snapshotMutex_;
    std::optional<std::string> snapshotPath_;
    bool snapshotAsJpeg_ = false;
    GrabbedMediaType grabbedMediaType_;
    std::atomic<bool> snapshotPending_{false};
    // Snapshots handed to the snapshot thread and not written yet; shared with its jobs.
    std::shared_ptr<std::atomic<int>> snapshotsWriting_ = std::make_shared<std::atomic<int>>(0);
};

} // namespace vedra
