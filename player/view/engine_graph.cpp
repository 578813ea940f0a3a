#include "view/engine_graph.h"

#include <QMetaObject>
#include <QPointer>

#include <mutex>
#include <utility>
#include <vector>

#include "player/engine/audio_devices.h"
#include "player/engine/cdxgraph.h"
#include "view/video_pane.h"

namespace vedra {
namespace {

// Hands the frames of one pipeline to a pane on the GUI thread. At most one call waits in the
// GUI queue and it shows the newest frame when it runs, so a busy window never blocks a stream
// and never shows an older frame after a newer one. Once the graph leaves the pane, frames still
// on their way are dropped: a pane never shows a picture of a channel it no longer holds.
class PaneSink : public IFrameSink {
public:
    explicit PaneSink(CVideoPane* pane) : pane_(pane) {}

    void PresentFrame(VideoFramePtr frame) override
    {
        if (!frame || !frame->valid())
            return;
        Hand(std::move(frame));
    }
    void PresentNothing() override { Hand(nullptr); }
    void HideFrame() override
    {
        {
            std::lock_guard lock(state_->mutex);
            state_->attached = false;
            state_->next.reset();
        }
        if (pane_)
            pane_->HidePicture();
    }
    // Frames fitted into the pane's frame box with the picture's shape, in the layout QImage
    // paints without converting; a zoomed pane enlarges the camera's own pixels itself. A
    // hidden pane, or one without room, asks for no pixels at all.
    FrameRequest Requested() const override
    {
        if (!pane_)
            return {};
        const QSize box = pane_->frameBox();
        return {.pixels = FramePixels::Bgrx,
                .width = box.width(),
                .height = box.height(),
                .fit = true,
                .sourcePixelsAtMost = pane_->zoomed(),
                .hidden = box.isEmpty()};
    }
    bool Serves(const CVideoPane* pane) const
    {
        std::lock_guard lock(state_->mutex);
        return pane_ == pane && state_->attached;
    }

private:
    struct State {
        mutable std::mutex mutex;
        bool attached = true;
        bool queued = false; // a call to the GUI thread is on its way
        VideoFramePtr next;  // what it shows: a frame, or nothing (black)
    };

    // Any thread.
    void Hand(VideoFramePtr frame)
    {
        {
            std::lock_guard lock(state_->mutex);
            if (!state_->attached)
                return;
            state_->next = std::move(frame);
            if (std::exchange(state_->queued, true))
                return;
        }
        QPointer<CVideoPane> pane = pane_;
        auto state = state_;
        QMetaObject::invokeMethod(
            pane_.data(),
            [pane, state] {
                VideoFramePtr frame;
                {
                    std::lock_guard lock(state->mutex);
                    state->queued = false;
                    if (!state->attached)
                        return;
                    frame = std::move(state->next);
                }
                if (!pane)
                    return;
                if (!frame) {
                    pane->HidePicture();
                    return;
                }
                const QImage image(frame->data(), frame->width(), frame->height(), frame->stride(),
                                   frame->pixels() == FramePixels::Bgrx ? QImage::Format_RGB32 : QImage::Format_RGB888);
                const GstClockTime pts = frame->pts();
                pane->ShowPicture(image, frame, GST_CLOCK_TIME_IS_VALID(pts) ? static_cast<qint64>(pts) : -1,
                                  QSize(frame->sourceWidth(), frame->sourceHeight()));
            },
            Qt::QueuedConnection);
    }

    QPointer<CVideoPane> pane_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

// The graph truncates a seek to its 100-ns units, and a frame's time in seconds may lie a hair
// below its unit: half a unit more lands on the frame meant, not on the one before it.
double OnSeekUnit(double seconds)
{
    return seconds > 0 ? seconds + 50e-9 : seconds;
}

CDXGraph::SeekMode EngineMode(SeekMode mode)
{
    return mode == SeekMode::kKeyUnit ? CDXGraph::SeekMode::KeyUnit : CDXGraph::SeekMode::Accurate;
}

class EngineGraph : public PlaybackGraph {
public:
    ~EngineGraph() override { graph_.Destroy(); }

    // The owner travels as a QWidget*, which is what the message-box hook casts it back to.
    bool Create(QWidget* owner) override { return graph_.Create(owner); }
    bool RenderMediaFile(const std::string& path, bool hint) override { return graph_.RenderMediaFile(path, hint); }
    bool DecoderMissing() const override { return graph_.decoderMissing(); }
    void SetTimeOffset(double seconds) override { graph_.SetTimeOffset(seconds); }
    bool Destroy() override { return graph_.Destroy(); }
    bool AttachToPane(CVideoPane* pane) override
    {
        if (pane == nullptr)
            return graph_.AttachToPane(nullptr);
        // The same pane again (it was resized): its sink stays and asks for the new size.
        // Earlier sinks stay alive with the graph: a streaming thread may still be in one.
        if (sinks_.empty() || !sinks_.back()->Serves(pane))
            sinks_.push_back(std::make_unique<PaneSink>(pane));
        return graph_.AttachToPane(sinks_.back().get());
    }
    bool IsRunning() override { return graph_.IsRunning(); }
    bool IsPaused() override { return graph_.IsPaused(); }
    bool IsStopped() override { return graph_.IsStopped(); }
    void Run() override { graph_.Run(); }
    void Pause() override { graph_.Pause(); }
    void Stop() override { graph_.Stop(); }
    bool SeekTo(double seconds, SeekMode mode) override { return graph_.SeekTo(OnSeekUnit(seconds), EngineMode(mode)); }
    bool Cue(double seconds, SeekMode mode) override { return graph_.Cue(OnSeekUnit(seconds), EngineMode(mode)); }
    void RunAt(uint64_t baseTime) override { graph_.RunAt(baseTime); }
    void SetRate(double rate) override { graph_.SetRate(rate); }
    bool CurrentFrame(double* start, double* duration) override { return graph_.CurrentFrame(*start, *duration); }
    double GetPositionSeconds() override { return graph_.GetPositionSeconds(); }
    bool GetDurationSeconds(double* seconds) override { return graph_.GetDurationSeconds(*seconds); }
    void SetVolume(int32_t level) override { graph_.SetVolume(level); }
    int32_t GetVolume() override { return graph_.GetVolume(); }
    void SetNotifyWindow(INotifyTarget* target, uint32_t msg, intptr_t param) override
    {
        graph_.SetNotifyWindow(target, msg, param);
    }
    int HandleGraphEvents() override { return graph_.HandleGraphEvents(); }
    int vgaCount() const override { return graph_.vgaCount; }
    std::string FilePath() const override { return graph_.filePath; }
    void RequestSnapshot(const std::string& path, bool asJpeg) override
    {
        if (asJpeg) {
            graph_.RequestJpegSnapshot(path);
        } else {
            graph_.RequestBmpSnapshot(path);
        }
    }
    bool UseAudioDevice(AudioDevice& device, QWidget* owner) override
    {
        const std::string path = graph_.filePath;
        Destroy();
        if (!graph_.Create(owner))
            return false;
        graph_.audioRenderer = device.renderer.get();
        // A failed render leaves the audio silent, as with the system's default output.
        graph_.RenderMediaFile(path, true);
        return true;
    }

    CDXGraph graph_;

private:
    std::vector<std::unique_ptr<PaneSink>> sinks_;
};

} // namespace

std::unique_ptr<PlaybackGraph> MakeEngineGraph()
{
    return std::make_unique<EngineGraph>();
}

CDXGraph* EngineGraphOf(PlaybackGraph* graph)
{
    auto* engine = dynamic_cast<EngineGraph*>(graph);
    return engine != nullptr ? &engine->graph_ : nullptr;
}

} // namespace vedra
