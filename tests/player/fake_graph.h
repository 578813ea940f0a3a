// A scripted playback graph: keeps the state a pipeline would have, renders by a rule chosen
// per file name, and logs what the window asked of it.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "player/engine/audio_devices.h"
#include "view/playback_graph.h"

namespace vedra::test {

struct FakeFile {
    bool renders = true;
    double duration = 10;
    int vga = 0;
    bool decoderMissing = false; // renders fail as without the video decoder
    double frameInterval = 0.04; // seconds
};

struct FakeWorld {
    std::map<std::string, FakeFile> files; // by file name (not path); missing = does not render
    bool createFails = false;
    std::vector<std::string> rendered; // paths in render order
    std::vector<bool> hints;           // reinstallHint of each render
    int alive = 0;                     // graphs constructed and not deleted
};

class FakeGraph : public PlaybackGraph {
public:
    enum class State { kStopped, kPaused, kRunning };

    explicit FakeGraph(FakeWorld* world) : world_(world) { ++world_->alive; }
    ~FakeGraph() override { --world_->alive; }

    bool Create(QWidget*) override { return created_ = !world_->createFails; }
    bool RenderMediaFile(const std::string& path, bool hint) override
    {
        world_->rendered.push_back(path);
        world_->hints.push_back(hint);
        path_ = path;
        const std::string name = path.substr(path.find_last_of('/') + 1);
        const auto it = world_->files.find(name);
        decoderMissing_ = it != world_->files.end() && it->second.decoderMissing;
        if (it == world_->files.end() || !it->second.renders || decoderMissing_)
            return false;
        file_ = it->second;
        return true;
    }
    bool DecoderMissing() const override { return decoderMissing_; }
    void SetTimeOffset(double seconds) override { timeOffset = seconds; }
    bool Destroy() override
    {
        destroyed_ = true;
        state = State::kStopped;
        return true;
    }
    bool AttachToPane(CVideoPane* p) override
    {
        pane = p;
        return true;
    }
    bool IsRunning() override { return state == State::kRunning; }
    bool IsPaused() override { return state == State::kPaused; }
    bool IsStopped() override { return state == State::kStopped; }
    void Run() override { state = State::kRunning; }
    void Pause() override { state = State::kPaused; }
    void Stop() override { state = State::kStopped; }
    bool SeekTo(double s, SeekMode mode) override
    {
        position = s;
        seeks.push_back(s);
        modes.push_back(mode);
        return true;
    }
    bool Cue(double s, SeekMode mode) override
    {
        SeekTo(s, mode);
        state = State::kPaused;
        return true;
    }
    void RunAt(uint64_t base) override
    {
        state = State::kRunning;
        baseTime = base;
    }
    void SetRate(double r) override { rate = r; }
    // Frames every file_.frameInterval seconds from 0 on; the one holding the position.
    bool CurrentFrame(double* start, double* duration) override
    {
        const double iv = file_.frameInterval;
        const long index = static_cast<long>(position / iv + 1e-9);
        *start = index * iv;
        *duration = iv;
        return true;
    }
    double GetPositionSeconds() override { return position; }
    bool GetDurationSeconds(double* s) override
    {
        *s = file_.duration;
        return true;
    }
    void SetVolume(int32_t level) override { volume = level; }
    int32_t GetVolume() override { return volume; }
    void SetNotifyWindow(INotifyTarget*, uint32_t, intptr_t) override { notified = true; }
    int HandleGraphEvents() override
    {
        if (!ended)
            return 1;
        ended = false;
        state = State::kPaused;
        position = 0;
        return 2;
    }
    int vgaCount() const override { return file_.vga; }
    std::string FilePath() const override { return path_; }
    void RequestSnapshot(const std::string& p, bool asJpeg) override
    {
        snapshots.push_back((asJpeg ? "jpg:" : "bmp:") + p);
    }
    bool UseAudioDevice(AudioDevice& device, QWidget* owner) override;

    // Test side.
    const std::string& path() const { return path_; }
    State state = State::kStopped;
    double position = 0;
    std::vector<double> seeks;
    std::vector<SeekMode> modes; // of each seek
    uint64_t baseTime = 0;       // of the last RunAt
    double timeOffset = 0;       // as the loader set it
    double rate = 1;
    int32_t volume = 0;
    CVideoPane* pane = nullptr;
    bool notified = false;
    bool ended = false;                 // the next HandleGraphEvents reports end of stream
    std::vector<std::string> snapshots; // "jpg:<path>" or "bmp:<path>" per request
    std::string device;                 // friendly name of the chosen audio output

private:
    FakeWorld* world_;
    FakeFile file_;
    std::string path_;
    bool created_ = false;
    bool destroyed_ = false;
    bool decoderMissing_ = false;
};

inline bool FakeGraph::UseAudioDevice(AudioDevice& d, QWidget*)
{
    device = d.friendlyName;
    state = State::kStopped; // rebuilt
    return !world_->createFails;
}

inline FakeGraph* Fake(PlaybackGraph* graph)
{
    return static_cast<FakeGraph*>(graph);
}
inline const FakeGraph* Fake(const PlaybackGraph* graph)
{
    return static_cast<const FakeGraph*>(graph);
}

inline GraphFactory MakeFactory(FakeWorld* world)
{
    return [world] { return std::make_unique<FakeGraph>(world); };
}

} // namespace vedra::test
