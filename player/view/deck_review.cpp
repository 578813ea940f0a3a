// The deck's reviewing controls: frame steps, jumps, speed and one camera large. Every move
// takes all checked channels (and the audio) to one instant, as Play and Pause do.
#include <algorithm>

#include "view/channel_deck.h"
#include "view/playback_graph.h"

namespace vedra {
namespace {

constexpr double kBeforeFrame = 0.001;      // s: a seek this far before a frame shows the one before
constexpr double kFallbackFrameTime = 0.04; // s: a step when no channel shows a frame
constexpr double kMinTempoRate = 0.5;       // the sound keeps its pitch from here...
constexpr double kMaxTempoRate = 2.0;       // ...to here; outside it is silent

} // namespace

void ChannelDeck::ShowTimeOnTrackbar(double t)
{
    currentTime_ = t;
    controls_.SetProgressPosition(PositionOf(t));
    UpdateLabels();
}

void ChannelDeck::Step(int direction)
{
    if (recording_ == nullptr || playingMask_ != 0 || direction == 0)
        return;
    std::vector<PlaybackGraph*> channels;
    for (int i = 0; i < 4; ++i)
        if (PlaybackGraph* graph = CheckedGraph(i))
            channels.push_back(graph);
    if (channels.empty())
        return;
    // The channels may hold frames of different lengths: forward goes to the earliest next
    // frame, back to the frame before the latest one shown. Each seek is done when it returns,
    // so fast presses go on from the frame the last one reached. A channel that has ended
    // holds a frame that ends before the latest one: its end is no next frame.
    double latest = -1;
    std::vector<double> ends;
    for (PlaybackGraph* graph : channels) {
        double start = 0, duration = 0;
        if (!graph->CurrentFrame(&start, &duration))
            continue;
        latest = std::max(latest, start);
        if (duration > 0)
            ends.push_back(start + duration);
    }
    double next = -1;
    for (double end : ends)
        if (end > latest + kBeforeFrame)
            next = next < 0 ? end : std::min(next, end);
    if (latest < 0)
        latest = currentTime_;
    double target = direction > 0 ? (next >= 0 ? next : latest + kFallbackFrameTime) : latest - kBeforeFrame;
    if (target < 0)
        return; // at the first frame already
    target = std::min(target, EndTime());
    std::vector<PlaybackGraph*> group = channels;
    if (IsAudioOn())
        group.push_back(audioSlot_);
    SeekTogether(group, target, SeekMode::kAccurate);
    // The time shown is that of the newest frame now on screen.
    double shown = -1;
    for (PlaybackGraph* graph : channels) {
        double start = 0, duration = 0;
        if (graph->CurrentFrame(&start, &duration))
            shown = std::max(shown, start);
    }
    ShowTimeOnTrackbar(shown >= 0 && direction < 0 ? shown : target);
}

// The channels' durations are the times of their last frames; the total time label rounds
// the longest to single precision, which may fall before that frame.
double ChannelDeck::EndTime() const
{
    return *std::max_element(std::begin(slotDurations_), std::end(slotDurations_));
}

void ChannelDeck::JumpTo(double seconds)
{
    if (recording_ == nullptr)
        return;
    const double t = std::clamp(seconds, 0.0, EndTime());
    SeekTogether(CheckedGroup(), t, SeekMode::kAccurate);
    ShowTimeOnTrackbar(t);
}

void ChannelDeck::JumpBy(double seconds)
{
    JumpTo(NowTime() + seconds);
}

// The last frame of the longest channel.
void ChannelDeck::JumpToEnd()
{
    JumpTo(EndTime());
}

bool ChannelDeck::AudioFollowsSpeed() const
{
    return speed_ >= kMinTempoRate && speed_ <= kMaxTempoRate;
}

void ChannelDeck::ApplySpeed(Recording* recording)
{
    if (recording == nullptr)
        return;
    for (auto& graph : recording->channelGraphs)
        graph->SetRate(speed_);
    if (recording->audioGraph)
        recording->audioGraph->SetRate(speed_);
}

void ChannelDeck::SetSpeed(double rate)
{
    if (rate <= 0)
        return;
    const double t = NowTime();
    speed_ = rate;
    controls_.ShowSpeed(rate);
    ApplySpeed(recording_);
    if (audioSlot_ != nullptr && !AudioFollowsSpeed() && !audioSlot_->IsPaused())
        audioSlot_->Pause();
    // Playing channels take the new speed together, from where they are.
    if (playingMask_ != 0)
        StartTogether(CheckedGroup(), t);
}

void ChannelDeck::ChangeSpeed(int steps)
{
    const double* begin = std::begin(kSpeeds);
    const double* end = std::end(kSpeeds);
    const double* at = std::find(begin, end, speed_);
    if (at == end)
        at = std::find(begin, end, 1.0);
    const long index = std::clamp<long>((at - begin) + steps, 0, (end - begin) - 1);
    if (kSpeeds[index] != speed_)
        SetSpeed(kSpeeds[index]);
}

void ChannelDeck::ToggleLarge(int pane)
{
    if (enlargedBox_ >= 0) {
        LeaveLarge();
        return;
    }
    if (recording_ == nullptr || recording_->singleView || pane < 0 || pane > 3)
        return;
    PlaybackGraph* graph = CheckedGraph(pane);
    // Not in the single layout, where the large pane holds the one channel checked.
    for (int k = 0; k < 4; ++k)
        if (slots_[k] != nullptr && paneOfSlot_[k] == IDeckControls::kLargePane)
            return;
    if (graph == nullptr)
        return;
    enlargedBox_ = pane;
    for (int i = 0; i < 4; ++i)
        controls_.SetPaneShown(i, false);
    controls_.SetPaneLabelsShown(false);
    controls_.SetPaneShown(IDeckControls::kLargePane, true);
    ShowInPane(graph, Rank(channelMask_, pane), IDeckControls::kLargePane);
    BlankFreePanes();
}

void ChannelDeck::LeaveLarge()
{
    if (enlargedBox_ < 0)
        return;
    const int box = enlargedBox_;
    enlargedBox_ = -1;
    controls_.SetPaneShown(IDeckControls::kLargePane, false);
    for (int i = 0; i < 4; ++i)
        controls_.SetPaneShown(i, true);
    controls_.SetPaneLabelsShown(true);
    if (PlaybackGraph* graph = CheckedGraph(box))
        ShowInPane(graph, Rank(channelMask_, box), box);
    BlankFreePanes();
}

void ChannelDeck::MarkIn()
{
    if (recording_ == nullptr)
        return;
    markIn_ = currentTime_;
    if (markOut_ >= 0 && markOut_ <= markIn_)
        markOut_ = -1;
    ShowMarks();
}

void ChannelDeck::MarkOut()
{
    if (recording_ == nullptr)
        return;
    markOut_ = currentTime_;
    if (markIn_ >= 0 && markIn_ >= markOut_)
        markIn_ = -1;
    ShowMarks();
}

void ChannelDeck::ShowMarks()
{
    controls_.ShowMarks(markIn_ >= 0 ? PositionOf(markIn_) : -1, markOut_ >= 0 ? PositionOf(markOut_) : -1);
}

std::vector<std::string> ChannelDeck::RequestSnapshots(const std::function<std::string(int box)>& pathOf, bool asJpeg)
{
    std::vector<std::string> requested;
    for (int box = 0; box < 4; ++box) {
        PlaybackGraph* graph = CheckedGraph(box);
        if (graph == nullptr)
            continue;
        requested.push_back(pathOf(box));
        graph->RequestSnapshot(requested.back(), asJpeg);
        // A paused graph decodes no further frame by itself: seeking to where it stands decodes
        // the picture on screen once more, which the snapshot is taken from.
        if (graph->IsPaused())
            graph->SeekTo(graph->GetPositionSeconds());
    }
    return requested;
}

} // namespace vedra
