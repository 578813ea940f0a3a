#include "engine_session.h"

#include <glib-unix.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cdxgraph.h"
#include "channel_still.h"
#include "krv/krv_config.h"
#include "krv/krv_convert.h"
#include "krv/krv_data_packets.h"
#include "krv/krv_paths.h"
#include "krv/krv_reader.h"
#include "krv/krv_recording.h"
#include "krv/krv_time.h"
#include "krv/krv_workfolder.h"
#include "message_box.h"
#include "stop_signals.h"
#include "tool_report.h"

namespace krvtool {
namespace fs = std::filesystem;

namespace {

constexpr const char* kTempPrefix = "vedra-krvtool-";

} // namespace

EngineSession::EngineSession()
{
    InstallStopSignals();
    vedra::SetMessageBoxHook([](const std::string& text, const std::string& caption, void*) {
        std::fprintf(stderr, "%s: %s\n", shown(caption).c_str(), shown(text).c_str());
    });
    // Folders of commands that were killed outright: their owner is gone.
    krv_remove_stale_folders(krv_temp_home(), kTempPrefix);
}

EngineSession::~EngineSession()
{
    // The working folder inside goes first, then the temporary folder.
    krv_remove_owned_folders();
}

int64_t EngineSession::fileOffsetMs(int channel) const
{
    const auto it = offsets_.find(channel);
    return it == offsets_.end() ? 0 : it->second;
}

bool EngineSession::Open(const std::string& recording)
{
    std::error_code ec;
    if (!fs::is_regular_file(recording, ec)) {
        reportContainerError(KRV_ERROR_FAIL_OPEN_FILE, KrvPhase::Open, openFailure(recording));
        return false;
    }
    folder_ = krv_create_temp_folder(kTempPrefix);
    if (folder_.empty()) {
        reportError("cannot create a temporary folder in " + krv_temp_home().string() + ": " + std::strerror(errno));
        return false;
    }
    const KrvConversion c = krv_convert_recording(recording, krv_av_sync_enabled(), {folder_});
    if (StopSignal())
        return false;
    for (const KrvUserMessage& m : c.messages)
        std::fprintf(stderr, "%s: %s\n", m.caption.empty() ? vedra::kProgramName : shown(m.caption).c_str(),
                     shown(m.text).c_str());
    if (!c.split) {
        // Fewer than two media streams: the file plays as it is, as one channel.
        if (!c.messages.empty())
            return false;
        channels_[1] = c.result;
        return true;
    }
    // A channel that never started has a file with a header only, a recording
    // without sound an audio file without samples: neither plays.
    if (KrvFilePtr file{krv_open(recording, true)}; file && krv_init(file.get()) > 0)
        krv_read_timeline(file.get(), krv_file_size(*file), timeline_);
    timeline_.originMs = c.files.startMs; // the split's own start is the counter's 0
    for (const KrvSplitFile& file : c.files.files) {
        if (file.count == 0)
            continue;
        if (file.output == 0) {
            audio_ = file.path;
        } else {
            channels_[int(file.output)] = file.path;
            offsets_[int(file.output)] = file.offsetMs;
        }
    }
    if (channels_.empty()) {
        reportError(recording + " holds no channel with pictures");
        return false;
    }
    return true;
}

bool EngineSession::Snapshot(int channel, int64_t offsetMs, const std::string& out, bool jpeg,
                             vedra::GrabbedMediaType& type, std::string& error) const
{
    const auto it = channels_.find(channel);
    if (it == channels_.end()) {
        error = "channel " + std::to_string(channel) + " is not in the recording";
        return false;
    }
    // The channel file counts from its own 0, which lies that far from the counter's.
    const double fileSeconds = double(offsetMs - fileOffsetMs(channel)) / 1000.0;
    if (fileSeconds < 0) {
        error = "channel " + std::to_string(channel) + " starts at " +
                krv_offset_text(uint64_t(fileOffsetMs(channel))) + ": no picture at " +
                krv_offset_text(uint64_t(offsetMs));
        return false;
    }
    const vedra::ChannelStill still =
        vedra::TakeChannelStill(it->second, fileSeconds, out, jpeg, [] { return StopSignal(); });
    type = still.type;
    switch (still.outcome) {
    case vedra::StillOutcome::Taken: return true;
    case vedra::StillOutcome::CannotPlay:
        error = CannotPlayText("channel " + std::to_string(channel), still.decoderMissing);
        return false;
    case vedra::StillOutcome::NoPicture:
        error = "no picture at " + krv_offset_text(uint64_t(offsetMs)) + " (channel length " +
                std::to_string(still.durationSeconds) + " s)";
        return false;
    case vedra::StillOutcome::NotWritten: error = "cannot write " + out; return false;
    }
    return false;
}

void QuitLoopOnStopSignal(GMainLoop* loop)
{
    // The source keeps the loop alive for as long as it stays attached.
    g_unix_fd_add_full(
        G_PRIORITY_DEFAULT, StopSignalFd(), G_IO_IN,
        [](gint, GIOCondition, gpointer data) -> gboolean {
            g_main_loop_quit(static_cast<GMainLoop*>(data));
            return G_SOURCE_REMOVE;
        },
        g_main_loop_ref(loop), reinterpret_cast<GDestroyNotify>(g_main_loop_unref));
}

void MainLoopNotify::PostMessage(uint32_t msg, intptr_t sender)
{
    struct Call {
        MainLoopNotify* self;
        uint32_t msg;
        intptr_t sender;
    };
    // Always queued, even when posted from the loop's own thread.
    auto* call = new Call{this, msg, sender};
    GSource* source = g_idle_source_new();
    g_source_set_callback(
        source,
        [](gpointer data) -> gboolean {
            auto* c = static_cast<Call*>(data);
            c->self->handler_(c->msg, c->sender);
            return G_SOURCE_REMOVE;
        },
        call, [](gpointer data) { delete static_cast<Call*>(data); });
    g_source_attach(source, g_main_loop_get_context(loop_));
    g_source_unref(source);
}

std::string CannotPlayText(const std::string& what, const vedra::CDXGraph& graph)
{
    return CannotPlayText(what, graph.decoderMissing());
}

std::string CannotPlayText(const std::string& what, bool decoderMissing)
{
    std::string text = what + " cannot be played";
    if (!decoderMissing)
        return text;
    // The warning is written for a message box: one line here.
    std::string warning = vedra::CDXGraph::MissingDecoderText(true);
    warning.erase(std::remove(warning.begin(), warning.end(), '\n'), warning.end());
    while (!warning.empty() && warning.back() == ' ')
        warning.pop_back();
    return text + ": " + warning;
}

} // namespace krvtool
