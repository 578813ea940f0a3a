// The deck's transport and timeline: Play, Pause, Stop and Replay act on every checked channel
// and the audio together, on one clock; the 100 ms timer follows the lowest playing slot; graph
// events end playback. Progress position p (0..1000) stands for maxDuration * p / 1000 seconds.
#include "player/engine/shared_clock.h"
#include "view/channel_deck.h"
#include "view/playback_graph.h"

namespace vedra {
namespace {

int LowestBit(uint8_t mask)
{
    int k = 0;
    while (k < 8 && (mask & (1u << k)) == 0)
        ++k;
    return k;
}

} // namespace

int ChannelDeck::PositionOf(double seconds) const
{
    if (maxDuration_ <= 0)
        return 0;
    const double ratio = seconds * IDeckControls::kProgressRange / static_cast<double>(maxDuration_);
    return ratio <= 0                               ? 0
           : ratio >= IDeckControls::kProgressRange ? IDeckControls::kProgressRange
                                                    : static_cast<int>(ratio);
}

// The trackbar has 1001 positions; on a long recording one of them spans seconds. While the
// thumb stands where the timeline's time puts it, that time is meant, to the frame.
double ChannelDeck::TrackbarTime() const
{
    const int p = controls_.ProgressPosition();
    if (p == PositionOf(currentTime_))
        return currentTime_;
    return static_cast<double>(maxDuration_) * p / IDeckControls::kProgressRange;
}

std::vector<PlaybackGraph*> ChannelDeck::CheckedGroup() const
{
    std::vector<PlaybackGraph*> group;
    for (int i = 0; i < 4; ++i)
        if (PlaybackGraph* graph = CheckedGraph(i))
            group.push_back(graph);
    if (IsAudioOn() && AudioFollowsSpeed())
        group.push_back(audioSlot_);
    return group;
}

void ChannelDeck::StartTogether(const std::vector<PlaybackGraph*>& graphs, double t)
{
    if (graphs.empty())
        return;
    for (PlaybackGraph* graph : graphs)
        graph->Cue(t);
    const uint64_t base = NextBaseTime();
    for (PlaybackGraph* graph : graphs)
        graph->RunAt(base);
}

void ChannelDeck::SeekTogether(const std::vector<PlaybackGraph*>& graphs, double t, SeekMode mode)
{
    std::vector<PlaybackGraph*> running;
    for (PlaybackGraph* graph : graphs)
        if (graph->IsRunning())
            running.push_back(graph);
    if (running.empty()) {
        for (PlaybackGraph* graph : graphs)
            graph->SeekTo(t, mode);
        return;
    }
    // Playing graphs go on from the new time, paused ones show it.
    for (PlaybackGraph* graph : graphs)
        graph->Cue(t, mode);
    const uint64_t base = NextBaseTime();
    for (PlaybackGraph* graph : running)
        graph->RunAt(base);
}

// While playing, the channels are where the lowest playing one is, not where the last tick
// left the trackbar.
double ChannelDeck::NowTime() const
{
    const int k = LowestBit(playingMask_);
    if (k < 4 && slots_[k] != nullptr)
        return slots_[k]->GetPositionSeconds();
    return TrackbarTime();
}

void ChannelDeck::OnPlay()
{
    const double t = NowTime();
    for (int i = 0; i < 4; ++i) {
        if (CheckedGraph(i) != nullptr)
            playingMask_ |= static_cast<uint8_t>(1u << Rank(channelMask_, i));
        // The channel selection is locked while playing.
        if (paneInUse_[i])
            controls_.SetBoxEnabled(i, false);
    }
    // The audio starts with the channels, from their time.
    StartTogether(CheckedGroup(), t);
}

void ChannelDeck::OnPause()
{
    const double t = NowTime();
    const std::vector<PlaybackGraph*> group = CheckedGroup();
    for (PlaybackGraph* graph : group)
        graph->Pause();
    for (int i = 0; i < 4; ++i) {
        if (CheckedGraph(i) == nullptr)
            continue;
        playingMask_ &= static_cast<uint8_t>(~(1u << Rank(channelMask_, i)));
        controls_.SetBoxEnabled(i, true);
    }
    // Every pane and the audio at the one time the labels show.
    SeekTogether(group, t, SeekMode::kAccurate);
    if (!group.empty()) {
        currentTime_ = t;
        controls_.SetProgressPosition(PositionOf(t));
    }
    UpdateLabels();
}

void ChannelDeck::OnStop()
{
    for (int i = 0; i < 4; ++i) {
        PlaybackGraph* graph = CheckedGraph(i);
        if (graph == nullptr)
            continue;
        if (!graph->IsStopped())
            graph->Stop();
        graph->SeekTo(0);
        controls_.SetProgressPosition(0);
        controls_.SetBoxEnabled(i, true);
        currentTime_ = 0;
        playingMask_ &= static_cast<uint8_t>(~(1u << Rank(channelMask_, i)));
    }
    if (IsAudioOn()) {
        if (!audioSlot_->IsStopped())
            audioSlot_->Stop();
        audioSlot_->SeekTo(0);
    }
    UpdateLabels();
}

void ChannelDeck::OnReplay()
{
    for (int i = 0; i < 4; ++i)
        if (CheckedGraph(i) != nullptr)
            playingMask_ |= static_cast<uint8_t>(1u << Rank(channelMask_, i));
    StartTogether(CheckedGroup(), 0);
}

void ChannelDeck::OnProgressMoved()
{
    const int p = controls_.ProgressPosition();
    const double at = static_cast<double>(maxDuration_) * p / IDeckControls::kProgressRange;
    const std::vector<PlaybackGraph*> group = CheckedGroup();
    // While the thumb is dragged, key frames follow it; where it is let go, the exact frame.
    SeekTogether(group, at, controls_.IsProgressDragged() ? SeekMode::kKeyUnit : SeekMode::kAccurate);
    // With nothing checked and the audio off, the time shown is 0.
    currentTime_ = group.empty() ? 0.0 : at;
    UpdateLabels();
}

void ChannelDeck::OnVolumeMoved()
{
    if (audioSlot_ != nullptr)
        audioSlot_->SetVolume(controls_.VolumePosition() - IDeckControls::kVolumeRange);
}

void ChannelDeck::OnTimer()
{
    if (playingMask_ != 0) {
        const int k = LowestBit(playingMask_);
        PlaybackGraph* graph = k < 4 ? slots_[k] : nullptr;
        currentTime_ = graph != nullptr ? graph->GetPositionSeconds() : 0.0;
        controls_.SetProgressPosition(PositionOf(currentTime_));
    } else {
        // Idle: the boxes of the panes in use are free again.
        for (int i = 0; i < 4; ++i)
            controls_.SetBoxEnabled(i, paneInUse_[i]);
    }
    UpdateLabels();
}

void ChannelDeck::OnGraphNotify()
{
    for (int k = 0; k < 4; ++k) {
        PlaybackGraph* graph = slots_[k];
        if (graph == nullptr || graph->HandleGraphEvents() != 2)
            continue;
        playingMask_ &= static_cast<uint8_t>(~(1u << k));
        if (playingMask_ != 0)
            continue;
        // The last playing channel has ended: the timeline returns to the start.
        controls_.SetProgressPosition(0);
        currentTime_ = 0;
        UpdateLabels();
        if (audioSlot_ != nullptr) {
            if (!audioSlot_->IsStopped())
                audioSlot_->Stop();
            audioSlot_->SeekTo(0);
        }
        if (onRecordingEnded)
            onRecordingEnded();
        return; // what the callback did may have changed every slot
    }
}

uint8_t ChannelDeck::checkedBoxes() const
{
    uint8_t boxes = 0;
    for (int box = 0; box < 4; ++box)
        if (controls_.IsBoxChecked(box))
            boxes |= static_cast<uint8_t>(1u << box);
    return boxes;
}

void ChannelDeck::KeepOnlyChecked(uint8_t boxes)
{
    for (int box = 0; box < 4; ++box) {
        if (!controls_.IsBoxChecked(box) || (boxes & (1u << box)) != 0)
            continue;
        controls_.SetBoxChecked(box, false);
        OnChannelBox(box);
    }
}

void ChannelDeck::OnAudioDeviceChanged()
{
    for (PlaybackGraph* graph : slots_)
        if (graph != nullptr && !graph->IsPaused())
            graph->Pause();
    if (audioSlot_ == nullptr)
        return;
    if (!audioSlot_->IsPaused())
        audioSlot_->Pause();
    audioSlot_->SeekTo(slots_[0] != nullptr ? slots_[0]->GetPositionSeconds() : 0.0);
}

} // namespace vedra
