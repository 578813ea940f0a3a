// What krvtool's engine commands share: a recording split into a private
// temporary folder of the command's own, removed again on every way out (a
// quit signal ends the command through the same clean-up), the channel and
// audio files it holds, and graph notifications delivered on a GLib main loop.
#pragma once

#include <glib.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "channel_list.h"
#include "krv/krv_timeline.h"
#include "notify_target.h"

namespace vedra {
class CDXGraph;
struct GrabbedMediaType;
} // namespace vedra

namespace krvtool {

class EngineSession {
public:
    // Installs the quit signals and removes what killed commands left behind.
    EngineSession();
    ~EngineSession(); // removes the temporary folder
    EngineSession(const EngineSession&) = delete;
    EngineSession& operator=(const EngineSession&) = delete;

    // Splits the recording as the player does; the system's messages go to
    // stderr. False when the recording cannot be played.
    bool Open(const std::string& recording);

    // The command's private temporary folder (empty before Open).
    const std::filesystem::path& folder() const { return folder_; }
    // Channel number (1-4) -> channel file, for channels that hold frames.
    const std::map<int, std::string>& channels() const { return channels_; }
    // The audio file, empty when the recording has no audio.
    const std::string& audio() const { return audio_; }
    // Where a channel file's time 0 lies from the counter's 0 (ms).
    int64_t fileOffsetMs(int channel) const;
    // The recording's counter's 0, last frame and creation date, for the times users give.
    const KrvTimeline& timeline() const { return timeline_; }

    // Writes the picture of `channel` at `offsetMs` (from the counter's 0) to
    // `out` through the engine's frame tap and snapshot writer, the path of the
    // player's JPG and BMP commands. False with `error` when there is none.
    bool Snapshot(int channel, int64_t offsetMs, const std::string& out, bool jpeg, vedra::GrabbedMediaType& type,
                  std::string& error) const;

private:
    std::filesystem::path folder_; // temporary folder, empty when none was made
    std::map<int, std::string> channels_;
    std::map<int, int64_t> offsets_;
    std::string audio_;
    KrvTimeline timeline_;
};

// Notify target whose messages run `handler` on the thread running `loop`.
class MainLoopNotify : public vedra::INotifyTarget {
public:
    using Handler = std::function<void(uint32_t msg, intptr_t sender)>;
    MainLoopNotify(GMainLoop* loop, Handler handler) : loop_(loop), handler_(std::move(handler)) {}
    void PostMessage(uint32_t msg, intptr_t sender) override;

private:
    GMainLoop* loop_;
    Handler handler_;
};

// Quits `loop` when a quit signal arrives (see stop_signals.h).
void QuitLoopOnStopSignal(GMainLoop* loop);

// "<what> cannot be played", with the decoder warning when the decoder was
// what failed, for a graph whose render failed.
std::string CannotPlayText(const std::string& what, const vedra::CDXGraph& graph);
std::string CannotPlayText(const std::string& what, bool decoderMissing);

} // namespace krvtool
