// The channel deck: what is on screen and how it plays. It holds the recording on screen,
// which graph sits in which channel slot and pane, the slot durations, the timeline and the
// playing state, and runs every channel and the audio of a recording on one clock: whatever
// starts them (load, Play, Replay, a seek while playing) cues them all at one time and starts
// them with one base time, so the panes show the same instant.
//
// Box i (0..3) always stands for channel i + 1; the graph of a present channel sits in
// channel slot rank(i), the number of present channels below it. The deck reaches the
// widgets only through IDeckControls. GUI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "view/deck_controls.h"
#include "view/recording.h"

namespace vedra {

class INotifyTarget;
class PlaybackGraph;

class ChannelDeck {
public:
    // notifyTarget receives the graphs' MsgGraphNotify; it hands them back to OnGraphNotify.
    ChannelDeck(IDeckControls& controls, INotifyTarget* notifyTarget);

    static int Rank(uint8_t mask, int box);

    // ---- Views. A null recording shows nothing (an index that names no recording).
    bool ShowQuadView(Recording* recording);
    bool ShowSingleView(Recording* recording);
    // Detaches every channel and the audio of the recording on screen; nothing is on screen
    // afterwards.
    void TakeOffScreen();
    void AttachChannel(PlaybackGraph* graph, int slot, int box);
    void DetachChannel(int slot);
    void DetachFirstChannel();
    bool AttachAudio();
    void DetachAudio();
    bool SetAudio(bool on);
    bool SetPaneLayout(bool single);
    bool SeekCheckedChannels(int position);
    // Box i was clicked (the box has toggled already).
    void OnChannelBox(int box);

    // ---- Transport and timeline (the window checks that a file is open first).
    void OnPlay();
    void OnPause();
    void OnStop();
    void OnReplay();
    // The user moved the progress trackbar (dragging, paging, keys, release).
    void OnProgressMoved();
    void OnVolumeMoved();
    void OnTimer();
    void OnGraphNotify();
    // The audio graph was rebuilt for another output: everything waits, paused, for the user's
    // Play, the audio at the first channel's position.
    void OnAudioDeviceChanged();

    // ---- Reviewing (deck_review.cpp)
    // One frame forward (+1) or back (-1) on every checked channel, all on one instant; while
    // nothing plays.
    void Step(int direction);
    // To a time of the deck's timeline (clamped to the recording), playing or not.
    void JumpTo(double seconds);
    void JumpBy(double seconds);
    void JumpToEnd();
    // Playback speed, one of kSpeeds; it stays when another recording is shown. Outside
    // 1/2 to 2 the audio is silent.
    static constexpr double kSpeeds[] = {0.125, 0.25, 0.5, 1.0, 2.0, 4.0, 8.0, 16.0};
    void SetSpeed(double rate);
    void ChangeSpeed(int steps); // +1 faster, -1 slower along kSpeeds
    double speed() const { return speed_; }
    // A pane changed size (or what it asks for): its channel gets frames of it.
    void RefreshPane(int pane);
    // A quad pane's channel alone in the large pane, and back to the quad view as it was.
    void ToggleLarge(int pane);
    int enlargedBox() const { return enlargedBox_; }
    // The in and out marks of a range to export (I and O), at the time on screen; deck times,
    // -1 while unset. Another recording on screen clears them.
    void MarkIn();
    void MarkOut();
    double markIn() const { return markIn_; }
    double markOut() const { return markOut_; }

    // Snapshots of the checked channels: each writes its next decoded frame to pathOf(box); a
    // paused one decodes the picture on screen again for it. The paths asked for, in box order.
    std::vector<std::string> RequestSnapshots(const std::function<std::string(int box)>& pathOf, bool asJpeg);

    // The time on screen, to the frame.
    double timeOnScreen() const { return currentTime_; }

    // ---- For the loader and the file list
    // A recording is about to be loaded: no channel counted, boxes unticked and disabled.
    void BeginLoading();
    void ResetTotalTime();
    // A graph about to be destroyed leaves every slot it sits in.
    void Forget(const PlaybackGraph* graph);
    // Everything was closed: nothing plays.
    void ClearPlaying();
    // Called once the last playing channel of the recording on screen has ended and the
    // timeline returned to the start.
    std::function<void()> onRecordingEnded;
    // The boxes checked (bit i: box i), and unticking the others of boxes.
    uint8_t checkedBoxes() const;
    void KeepOnlyChecked(uint8_t boxes);

    // ---- State
    Recording* recording() const { return recording_; }
    PlaybackGraph* ChannelSlot(int slot) const;
    PlaybackGraph* AudioSlot() const { return audioSlot_; }
    // The graph of box i when the box is checked and its channel is attached.
    PlaybackGraph* CheckedGraph(int box) const;
    uint8_t channelMask() const { return channelMask_; }
    int visibleCount() const { return visibleCount_; }
    int audioChannel() const { return audioChannel_; }
    uint8_t playingMask() const { return playingMask_; }
    float maxDuration() const { return maxDuration_; }
    float currentTime() const { return static_cast<float>(currentTime_); }
    double slotDuration(int slot) const;
    bool paneInUse(int box) const { return box >= 0 && box < 4 && paneInUse_[box]; }
    bool audioPresent() const { return audioPresent_; }
    bool IsAudioOn() const;

private:
    // Where a graph goes on screen; every attach and detach passes here.
    void ShowInPane(PlaybackGraph* graph, int slot, int pane);
    void HideFromPane(PlaybackGraph* graph, int slot);
    // A pane no channel is attached to shows black.
    void BlankFreePanes();
    void EmptySlot(int slot);
    void ShowRecordingState(Recording* recording);
    void AttachRecordingAudio();
    void UpdateLabels();
    void SetBoxesForShow();
    void SeekCheckedTo(double t);
    void LeaveLarge();
    bool AudioFollowsSpeed() const;
    void ApplySpeed(Recording* recording);
    void ShowTimeOnTrackbar(double t);
    void ShowMarks();

    // The time the trackbar stands for: the timeline's own time while the thumb shows it,
    // else the thumb's position.
    double TrackbarTime() const;
    // The last frame's time of the longest channel on screen, in full precision.
    double EndTime() const;
    double NowTime() const;
    int PositionOf(double seconds) const;
    // The checked channels with their graph, then the audio when it is on.
    std::vector<PlaybackGraph*> CheckedGroup() const;
    // One clock: every graph is cued at t, then all start with one base time.
    static void StartTogether(const std::vector<PlaybackGraph*>& graphs, double t);
    // Running graphs are cued and started together again; paused ones only seek.
    static void SeekTogether(const std::vector<PlaybackGraph*>& graphs, double t, SeekMode mode);

    IDeckControls& controls_;
    INotifyTarget* notifyTarget_;

    Recording* recording_ = nullptr;
    PlaybackGraph* audioSlot_ = nullptr;
    PlaybackGraph* slots_[4] = {};
    int paneOfSlot_[4] = {-1, -1, -1, -1};
    double slotDurations_[4] = {};
    uint8_t channelMask_ = 0;
    int visibleCount_ = 0;
    int audioChannel_ = -1;
    uint8_t playingMask_ = 0;
    float maxDuration_ = 0;  // seconds; kept in single precision as the labels show it
    double currentTime_ = 0; // seconds
    bool paneInUse_[4] = {};
    bool audioPresent_ = false;
    double speed_ = 1.0;
    double markIn_ = -1;
    double markOut_ = -1;
    int enlargedBox_ = -1; // the box whose channel fills the large pane, -1 none
};

} // namespace vedra
