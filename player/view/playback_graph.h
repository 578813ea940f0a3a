// What the deck needs from one playback graph (one pipeline playing one file). The engine's
// CDXGraph sits behind it in production (engine_graph.cpp); tests put scripted graphs behind it.
// All calls are made on the GUI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace vedra {

class CVideoPane;
class INotifyTarget;
struct AudioDevice;

enum class SeekMode {
    kAccurate, // the frame of the time: for every position the user is to see
    kKeyUnit,  // the key frame at or before it: cheap, while a thumb is dragged
};

class PlaybackGraph {
public:
    virtual ~PlaybackGraph() = default;

    // owner: the window message boxes about this graph belong to.
    virtual bool Create(QWidget* owner) = 0;
    // path: UTF-8. False when the file does not play; DecoderMissing() then says whether the
    // video decoder was what failed.
    virtual bool RenderMediaFile(const std::string& path, bool reinstallHint) = 0;
    virtual bool DecoderMissing() const = 0;
    // Where the file's time 0 falls on the recording's timeline as the deck shows it, so all
    // graphs of a recording play and report times on one timeline. Before RenderMediaFile.
    virtual void SetTimeOffset(double seconds) = 0;
    virtual bool Destroy() = 0;
    // nullptr hides the picture.
    virtual bool AttachToPane(CVideoPane* pane) = 0;

    virtual bool IsRunning() = 0;
    virtual bool IsPaused() = 0;
    virtual bool IsStopped() = 0;
    // Guarded: each acts only when the graph is not already in the target state.
    virtual void Run() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;

    virtual bool SeekTo(double seconds, SeekMode mode = SeekMode::kAccurate) = 0;
    // Starting several graphs on one instant: each is cued (paused at the time, its picture
    // ready), then all run with one base time of the shared clock (SharedClockNow()).
    virtual bool Cue(double seconds, SeekMode mode = SeekMode::kAccurate) = 0;
    virtual void RunAt(uint64_t baseTime) = 0;

    // Playback speed (1 normal), taken by the next seek or cue.
    virtual void SetRate(double rate) = 0;
    // The picture the graph shows: its time and how long it lasts (until the next frame).
    // False when it shows none.
    virtual bool CurrentFrame(double* start, double* duration) = 0;

    virtual double GetPositionSeconds() = 0;
    virtual bool GetDurationSeconds(double* seconds) = 0;
    virtual void SetVolume(int32_t level) = 0; // hundredths of a dB, -10000..0
    virtual int32_t GetVolume() = 0;

    // Routes the graph's events to target as msg, posted with param as their sender.
    virtual void SetNotifyWindow(INotifyTarget* target, uint32_t msg, intptr_t param) = 0;
    // 2: end of stream (paused and rewound), 0: aborted, 1: no event.
    virtual int HandleGraphEvents() = 0;

    // 1 when the last render was a 640 x 480 video, else 0.
    virtual int vgaCount() const = 0;

    // The file the graph plays (UTF-8), kept across Destroy.
    virtual std::string FilePath() const = 0;
    // Writes the next decoded frame to path as JPEG or BMP (a new request replaces a pending one).
    virtual void RequestSnapshot(const std::string& path, bool asJpeg) = 0;
    // Rebuilds the graph on its own file with device as the audio output (the device stays
    // owned by the caller's list). False when the graph cannot be created again.
    virtual bool UseAudioDevice(AudioDevice& device, QWidget* owner) = 0;
};

using GraphFactory = std::function<std::unique_ptr<PlaybackGraph>()>;

} // namespace vedra
