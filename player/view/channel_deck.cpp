// The deck's views: which graph sits in which channel slot and pane, the per-slot durations,
// and the quad and single layouts.
#include "view/channel_deck.h"

#include <bit>

#include "player/engine/notify_target.h"
#include "view/playback_graph.h"
#include "view/recording_clock.h"
#include "view/video_pane.h"

namespace vedra {
namespace {

// Box index of the channel that sits in slot k: the (k + 1)-th set bit of mask; -1 if none.
int BoxOfSlot(uint8_t mask, int slot)
{
    for (int i = 0; i < 8; ++i) {
        if ((mask & (1u << i)) == 0)
            continue;
        if (slot-- == 0)
            return i;
    }
    return -1;
}

} // namespace

ChannelDeck::ChannelDeck(IDeckControls& controls, INotifyTarget* notifyTarget)
    : controls_(controls), notifyTarget_(notifyTarget)
{}

int ChannelDeck::Rank(uint8_t mask, int box)
{
    return std::popcount(static_cast<unsigned>(mask & ((1u << box) - 1u)));
}

PlaybackGraph* ChannelDeck::ChannelSlot(int slot) const
{
    return slot >= 0 && slot < 4 ? slots_[slot] : nullptr;
}

PlaybackGraph* ChannelDeck::CheckedGraph(int box) const
{
    if (box < 0 || box > 3 || !controls_.IsBoxChecked(box))
        return nullptr;
    return slots_[Rank(channelMask_, box)];
}

double ChannelDeck::slotDuration(int slot) const
{
    return slot >= 0 && slot < 4 ? slotDurations_[slot] : 0.0;
}

bool ChannelDeck::IsAudioOn() const
{
    return audioSlot_ != nullptr && controls_.IsBoxChecked(IDeckControls::kAudioBox);
}

void ChannelDeck::ShowInPane(PlaybackGraph* graph, int slot, int pane)
{
    CVideoPane* widget = controls_.Pane(pane);
    // The pane shows the recorder's time of the frame it holds.
    if (recording_ != nullptr) {
        const uint64_t creation = recording_->creationDate;
        const uint32_t base = recording_->timeBaseMs;
        widget->SetTimeText([creation, base](qint64 frameTimeNs) {
            return frameTimeNs < 0 ? QString() : RecorderTimeText(creation, base, frameTimeNs / 1e9);
        });
    }
    graph->AttachToPane(widget);
    paneOfSlot_[slot] = pane;
}

void ChannelDeck::RefreshPane(int pane)
{
    for (int k = 0; k < 4; ++k)
        if (slots_[k] != nullptr && paneOfSlot_[k] == pane)
            slots_[k]->AttachToPane(controls_.Pane(pane));
}

void ChannelDeck::HideFromPane(PlaybackGraph* graph, int slot)
{
    graph->AttachToPane(nullptr);
    paneOfSlot_[slot] = -1;
    BlankFreePanes();
}

void ChannelDeck::BlankFreePanes()
{
    for (int pane = 0; pane <= IDeckControls::kLargePane; ++pane) {
        bool held = false;
        for (int k = 0; k < 4; ++k)
            held = held || (slots_[k] != nullptr && paneOfSlot_[k] == pane);
        if (!held)
            controls_.Pane(pane)->HidePicture();
    }
}

void ChannelDeck::UpdateLabels()
{
    controls_.ShowTimes(static_cast<float>(currentTime_), maxDuration_);
}

void ChannelDeck::AttachChannel(PlaybackGraph* graph, int slot, int box)
{
    slots_[slot] = graph;
    double duration = 0;
    if (graph != nullptr && graph->GetDurationSeconds(&duration))
        slotDurations_[slot] = duration;
    if (static_cast<double>(maxDuration_) < slotDurations_[slot])
        maxDuration_ = static_cast<float>(slotDurations_[slot]);
    controls_.SetBoxEnabled(box, true);
    controls_.SetBoxChecked(box, true);
    UpdateLabels();
}

// The common end of both detaches: the slot's graph, duration and playing bit go; the total
// time is recomputed only when the slot held the longest channel.
void ChannelDeck::EmptySlot(int slot)
{
    slots_[slot] = nullptr;
    paneOfSlot_[slot] = -1;
    if (static_cast<float>(slotDurations_[slot]) == maxDuration_) {
        maxDuration_ = 0;
        slotDurations_[slot] = 0;
        for (double d : slotDurations_)
            if (d > static_cast<double>(maxDuration_))
                maxDuration_ = static_cast<float>(d);
    }
    slotDurations_[slot] = 0;
    currentTime_ = 0;
    UpdateLabels();
    playingMask_ &= static_cast<uint8_t>(~(1u << slot));
}

void ChannelDeck::DetachChannel(int slot)
{
    if (slot < 0 || slot > 3)
        return;
    PlaybackGraph* graph = slots_[slot];
    if (graph == nullptr)
        return;
    if (!graph->IsPaused())
        graph->Pause();
    graph->SeekTo(0);
    HideFromPane(graph, slot);
    const int box = BoxOfSlot(channelMask_, slot);
    if (box >= 0 && box < 4)
        controls_.SetBoxChecked(box, false);
    EmptySlot(slot);
}

void ChannelDeck::DetachFirstChannel()
{
    PlaybackGraph* graph = slots_[0];
    if (graph == nullptr)
        return;
    // Stopped first: a running graph would start again from the seek.
    if (!graph->IsStopped())
        graph->Stop();
    graph->SeekTo(0);
    HideFromPane(graph, 0);
    controls_.SetProgressPosition(0);
    controls_.SetBoxChecked(0, false);
    EmptySlot(0);
}

bool ChannelDeck::AttachAudio()
{
    controls_.SetVolumePosition(IDeckControls::kVolumeRange);
    controls_.SetBoxChecked(IDeckControls::kAudioBox, true);
    return true;
}

void ChannelDeck::DetachAudio()
{
    controls_.SetBoxChecked(IDeckControls::kAudioBox, false);
    if (PlaybackGraph* audio = audioSlot_) {
        if (!audio->IsStopped())
            audio->Stop();
        audio->SeekTo(0);
        audioSlot_ = nullptr;
    }
}

bool ChannelDeck::SetAudio(bool on)
{
    const bool wasChecked = controls_.IsBoxChecked(IDeckControls::kAudioBox);
    if (on) {
        if (wasChecked || audioSlot_ != nullptr)
            return true;
        if (recording_ == nullptr || !recording_->audioGraph)
            return true;
        audioSlot_ = recording_->audioGraph.get();
        if (AttachAudio()) {
            controls_.SetBoxChecked(IDeckControls::kAudioBox, true);
            audioSlot_->SeekTo(static_cast<double>(maxDuration_) * controls_.ProgressPosition() /
                               IDeckControls::kProgressRange);
        }
        return true;
    }
    controls_.SetBoxChecked(IDeckControls::kAudioBox, false);
    if (wasChecked && audioSlot_ != nullptr)
        DetachAudio();
    return true;
}

void ChannelDeck::TakeOffScreen()
{
    if (recording_ == nullptr)
        return;
    LeaveLarge();
    for (int j = 0; j < static_cast<int>(recording_->channelGraphs.size()) && j < 4; ++j)
        DetachChannel(j);
    DetachFirstChannel();
    if (recording_->audioGraph)
        DetachAudio();
    // Nothing is on screen now: no box may reach the recording that left.
    recording_ = nullptr;
    for (int j = 0; j < 4; ++j) {
        paneInUse_[j] = false;
        controls_.SetBoxEnabled(j, false);
    }
    audioPresent_ = false;
    BlankFreePanes();
}

// The recording on screen with the view state it was left in.
void ChannelDeck::ShowRecordingState(Recording* recording)
{
    recording_ = recording;
    ApplySpeed(recording);
    markIn_ = markOut_ = -1;
    ShowMarks();
    channelMask_ = recording->channelMask;
    visibleCount_ = recording->visibleCount;
    audioChannel_ = recording->audioChannel;
}

void ChannelDeck::AttachRecordingAudio()
{
    if (!recording_->audioGraph)
        return;
    audioSlot_ = recording_->audioGraph.get();
    AttachAudio();
    audioPresent_ = true;
}

// Every box starts unticked and disabled; attaching a channel enables its own.
void ChannelDeck::SetBoxesForShow()
{
    for (int j = 0; j < 4; ++j) {
        paneInUse_[j] = false;
        controls_.SetBoxChecked(j, false);
        controls_.SetBoxEnabled(j, false);
    }
    audioPresent_ = false;
}

bool ChannelDeck::ShowQuadView(Recording* recording)
{
    LeaveLarge();
    controls_.SetPaneLabelsShown(true);
    controls_.Repaint();
    controls_.ShowSoundOn();
    if (recording == nullptr)
        return false;
    controls_.SetPaneShown(IDeckControls::kLargePane, false);
    ShowRecordingState(recording);
    for (int j = 0; j < 4; ++j)
        controls_.SetPaneShown(j, true);
    SetBoxesForShow();
    int j = 0;
    const int count = static_cast<int>(recording_->channelGraphs.size());
    for (int k = 0; k < count && k < 4; ++k) {
        while (j < 8 && (channelMask_ & (1u << j)) == 0)
            ++j;
        if (j >= 4)
            break; // only four boxes and four panes
        PlaybackGraph* graph = recording_->channelGraphs[k].get();
        graph->SetNotifyWindow(notifyTarget_, MsgGraphNotify, 0);
        AttachChannel(graph, k, j);
        controls_.Repaint();
        ShowInPane(graph, k, j);
        paneInUse_[j] = true;
        ++j;
    }
    AttachRecordingAudio();
    BlankFreePanes();
    return true;
}

bool ChannelDeck::ShowSingleView(Recording* recording)
{
    LeaveLarge();
    controls_.SetPaneLabelsShown(false);
    for (int pane = 0; pane <= IDeckControls::kLargePane; ++pane)
        controls_.SetPaneShown(pane, false);
    controls_.Repaint();
    controls_.ShowSoundOn();
    if (recording == nullptr)
        return false;
    ShowRecordingState(recording);
    SetBoxesForShow();
    if (recording_->channelGraphs.size() != 1) {
        BlankFreePanes();
        return false;
    }
    controls_.SetPaneShown(IDeckControls::kLargePane, true);
    PlaybackGraph* graph = recording_->channelGraphs[0].get();
    graph->SetNotifyWindow(notifyTarget_, MsgGraphNotify, 0);
    // In this layout the one channel always uses box 1, whichever channel it is.
    AttachChannel(graph, 0, 0);
    controls_.Repaint();
    ShowInPane(graph, 0, IDeckControls::kLargePane);
    paneInUse_[0] = true;
    AttachRecordingAudio();
    BlankFreePanes();
    return true;
}

bool ChannelDeck::SetPaneLayout(bool single)
{
    if (recording_ == nullptr)
        return true;
    LeaveLarge();
    auto& graphs = recording_->channelGraphs;
    auto graphOfBox = [&](int i) -> PlaybackGraph* {
        const int k = Rank(channelMask_, i);
        return k < static_cast<int>(graphs.size()) && k < 4 ? graphs[k].get() : nullptr;
    };
    if (single) {
        for (int i = 0; i < 4; ++i)
            controls_.SetPaneShown(i, false);
        for (int i = 0; i < 4; ++i) {
            if (!controls_.IsBoxChecked(i))
                continue;
            if (PlaybackGraph* graph = graphOfBox(i)) {
                AttachChannel(graph, Rank(channelMask_, i), i);
                ShowInPane(graph, Rank(channelMask_, i), IDeckControls::kLargePane);
                controls_.Repaint();
            }
            break;
        }
        controls_.SetPaneShown(IDeckControls::kLargePane, true);
        BlankFreePanes();
        return true;
    }
    controls_.SetPaneShown(IDeckControls::kLargePane, false);
    for (int i = 0; i < 4; ++i) {
        if (controls_.IsBoxChecked(i)) {
            if (PlaybackGraph* graph = graphOfBox(i)) {
                AttachChannel(graph, Rank(channelMask_, i), i);
                ShowInPane(graph, Rank(channelMask_, i), i);
                if (audioChannel_ == i)
                    SetAudio(true);
            }
        }
        controls_.SetPaneShown(i, true);
    }
    BlankFreePanes();
    return true;
}

bool ChannelDeck::SeekCheckedChannels(int position)
{
    SeekCheckedTo(static_cast<double>(maxDuration_) * position / IDeckControls::kProgressRange);
    return true;
}

void ChannelDeck::SeekCheckedTo(double t)
{
    for (int i = 0; i < 4; ++i)
        if (PlaybackGraph* graph = CheckedGraph(i))
            graph->SeekTo(t);
}

void ChannelDeck::OnChannelBox(int i)
{
    if (recording_ == nullptr || i < 0 || i > 3)
        return;
    LeaveLarge();
    // The time on screen, to the frame (a detach forgets it); when the total time changes, the
    // thumb's place stands for another time, which every checked channel then goes to.
    const double before = TrackbarTime();
    const float totalBefore = maxDuration_;
    auto timeNow = [&] { return maxDuration_ == totalBefore ? before : TrackbarTime(); };
    const bool checked = controls_.IsBoxChecked(i);
    const int k = Rank(channelMask_, i);
    const int graphCount = static_cast<int>(recording_->channelGraphs.size());
    const bool present = recording_->singleView ? i == 0 : (channelMask_ & (1u << i)) != 0;
    if (!present || k >= 4 || k >= graphCount) {
        // A box whose channel is absent never holds a tick.
        controls_.SetBoxChecked(i, false);
        controls_.SetBoxEnabled(i, false);
        return;
    }
    if (!checked) {
        if (slots_[k] == nullptr)
            return;
        if (visibleCount_ > 0)
            --visibleCount_;
        if (i == 0 && recording_->singleView) {
            DetachFirstChannel();
            controls_.Repaint();
        } else {
            DetachChannel(k);
        }
        if (visibleCount_ == 1)
            SetPaneLayout(true);
        SeekCheckedTo(timeNow());
        if (audioChannel_ == i)
            SetAudio(false);
    } else if (slots_[k] == nullptr) {
        ++visibleCount_;
        if (i == 0 && recording_->singleView) {
            AttachChannel(recording_->channelGraphs[0].get(), 0, 0);
            ShowInPane(recording_->channelGraphs[0].get(), 0, IDeckControls::kLargePane);
            controls_.Repaint();
        } else if (visibleCount_ == 1) {
            SetPaneLayout(true);
        } else if (visibleCount_ == 2) {
            SetPaneLayout(false);
        } else {
            AttachChannel(recording_->channelGraphs[k].get(), k, i);
            ShowInPane(recording_->channelGraphs[k].get(), k, i);
        }
        if (maxDuration_ == totalBefore) {
            if (PlaybackGraph* graph = slots_[k])
                graph->SeekTo(before);
        } else {
            SeekCheckedTo(timeNow());
        }
        if (audioChannel_ == i)
            SetAudio(true);
    }
    recording_->visibleCount = visibleCount_;
    // The labels show the time the panes show.
    if (playingMask_ == 0 && visibleCount_ > 0) {
        currentTime_ = timeNow();
        UpdateLabels();
    }
    BlankFreePanes();
}

void ChannelDeck::BeginLoading()
{
    visibleCount_ = 0;
    audioChannel_ = -1;
    for (int i = 0; i < 4; ++i) {
        controls_.SetBoxChecked(i, false);
        controls_.SetBoxEnabled(i, false);
    }
    controls_.SetBoxChecked(IDeckControls::kAudioBox, false);
}

void ChannelDeck::ResetTotalTime()
{
    maxDuration_ = 0;
}

void ChannelDeck::Forget(const PlaybackGraph* graph)
{
    if (graph == nullptr)
        return;
    for (int k = 0; k < 4; ++k) {
        if (slots_[k] != graph)
            continue;
        slots_[k] = nullptr;
        paneOfSlot_[k] = -1;
        playingMask_ &= static_cast<uint8_t>(~(1u << k));
    }
    if (audioSlot_ == graph)
        audioSlot_ = nullptr;
    if (recording_ != nullptr) {
        bool ours = recording_->audioGraph.get() == graph;
        for (const auto& g : recording_->channelGraphs)
            ours = ours || g.get() == graph;
        if (ours)
            recording_ = nullptr;
    }
    BlankFreePanes();
}

void ChannelDeck::ClearPlaying()
{
    playingMask_ = 0;
}

} // namespace vedra
