// States, seeking, positions and volume of a CDXGraph. A stopped graph is in
// READY and keeps the position it is to start from; every start goes through
// PAUSED so the first picture is there before the clock runs.
#include <cmath>

#include "cdxgraph.h"
#include "shared_clock.h"

namespace vedra {
namespace {

constexpr GstClockTime kStateQueryTimeout = 10 * GST_MSECOND;
constexpr GstClockTime kSettleTimeout = 5 * GST_SECOND;

} // namespace

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

// toPlay: the graph is cued to start, at its speed; a paused graph only shows the frame.
bool CDXGraph::FlushSeek(double seconds, SeekMode mode, bool toPlay)
{
    if (!(seconds >= 0.0))
        seconds = 0.0;
    const gint64 units = static_cast<gint64>(seconds * 10000000.0); // 100-ns units, truncated
    int flags = GST_SEEK_FLAG_FLUSH | (mode == SeekMode::KeyUnit ? GST_SEEK_FLAG_KEY_UNIT : GST_SEEK_FLAG_ACCURATE);
    const double rate = toPlay ? rate_ : 1.0;
    // Fast enough that decoding every frame cannot keep up: key frames only, no sound.
    if (rate > kFullDecodeMaxRate)
        flags |= GST_SEEK_FLAG_TRICKMODE | GST_SEEK_FLAG_TRICKMODE_KEY_UNITS | GST_SEEK_FLAG_TRICKMODE_NO_AUDIO;
    if (!gst_element_seek(pipeline_.get(), rate, GST_FORMAT_TIME, static_cast<GstSeekFlags>(flags), GST_SEEK_TYPE_SET,
                          units * 100, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE))
        return false;
    // A flushing seek starts the running time again from 0.
    pausedRunningTime_ = 0;
    WaitForState(kSettleTimeout);
    return true;
}

// Seeks are only possible once the graph is paused: a stopped graph goes to
// PAUSED and takes the position it was left at.
bool CDXGraph::ToPausedFromStopped()
{
    SetState(GST_STATE_PAUSED);
    WaitForState(kSettleTimeout);
    pausedRunningTime_ = 0;
    const double t = pendingSeek_;
    pendingSeek_ = -1.0;
    if (t > 0.0)
        FlushSeek(t, SeekMode::Accurate, false);
    return true;
}

// False when there is nothing to start; a stopped graph is prerolled first, so its first
// picture is there before the clock runs.
bool CDXGraph::ReadyToStart()
{
    if (!pipeline_)
        return false;
    const auto s = CurrentTarget();
    if (s && *s == GST_STATE_PLAYING)
        return false;
    if (!s || *s == GST_STATE_READY || *s == GST_STATE_NULL)
        ToPausedFromStopped();
    return true;
}

void CDXGraph::StartAt(GstClockTime baseTime)
{
    // Going on from where a pause left the running time.
    const GstClockTime base = baseTime > pausedRunningTime_ ? baseTime - pausedRunningTime_ : 0;
    gst_element_set_base_time(pipeline_.get(), base);
    SetState(GST_STATE_PLAYING);
}

void CDXGraph::Run()
{
    // Alone, a prerolled graph needs no margin: its first picture is there.
    if (ReadyToStart())
        StartAt(SharedClockNow());
}

void CDXGraph::RunAt(GstClockTime baseTime)
{
    if (ReadyToStart())
        StartAt(baseTime);
}

void CDXGraph::Pause()
{
    if (!pipeline_)
        return;
    const auto s = CurrentTarget();
    if (s && *s == GST_STATE_PAUSED)
        return;
    if (!s || *s == GST_STATE_READY || *s == GST_STATE_NULL) {
        ToPausedFromStopped();
        return;
    }
    const GstClockTime now = SharedClockNow();
    const GstClockTime base = gst_element_get_base_time(pipeline_.get());
    SetState(GST_STATE_PAUSED);
    pausedRunningTime_ = now > base ? now - base : 0;
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
    pausedRunningTime_ = 0;
    // A stopped graph has no picture to give a pane it is attached to next.
    ForgetLastFrame();
}

bool CDXGraph::Cue(double seconds, SeekMode mode)
{
    if (!pipeline_)
        return false;
    const auto s = CurrentTarget();
    if (!s || *s == GST_STATE_READY || *s == GST_STATE_NULL) {
        pendingSeek_ = -1.0;
        ToPausedFromStopped();
    } else if (*s == GST_STATE_PLAYING) {
        SetState(GST_STATE_PAUSED);
    }
    return FlushSeek(seconds, mode, true);
}

bool CDXGraph::SeekTo(double seconds, SeekMode mode)
{
    if (!pipeline_)
        return false;
    const auto s = CurrentTarget();
    if (!s || *s == GST_STATE_READY || *s == GST_STATE_NULL) {
        pendingSeek_ = seconds >= 0.0 ? seconds : 0.0;
        return true;
    }
    if (*s == GST_STATE_PLAYING) {
        // A flushing seek restarts the running time; the graph starts again on
        // the shared clock from the new position.
        const bool ok = Cue(seconds, mode);
        RunAt(SharedClockNow());
        return ok;
    }
    return FlushSeek(seconds, mode, false);
}

void CDXGraph::SetRate(double rate)
{
    if (rate > 0.0)
        rate_ = rate;
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
        value = pipelineDuration_; // a stopped graph cannot be asked; use what prerolling learnt
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

} // namespace vedra
