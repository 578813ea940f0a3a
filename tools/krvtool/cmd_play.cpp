// krvtool play RECORDING [--seconds S]: plays every channel and the audio of a
// recording through the engine in real time, with no display (frames are
// counted) and the audio on the default output, or a synchronised fake output
// on machines without one. Prints the positions once a second and every end
// of stream; exits 0 when every channel delivered frames.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "cdxgraph.h"
#include "commands.h"
#include "counting_frame_sink.h"
#include "engine_session.h"
#include "tool_report.h"

namespace krvtool {
namespace {

constexpr const char* kPlayUsage = "usage: krvtool play RECORDING [--seconds S]\n"
                                   "  --seconds S  stop after S seconds (default: when every channel has ended)\n";

struct Channel {
    std::unique_ptr<vedra::CDXGraph> graph = std::make_unique<vedra::CDXGraph>();
    vedra::CountingFrameSink frames{{}, false};
    bool ended = false;
};

} // namespace

int runPlay(std::span<char* const> args)
{
    std::string recording;
    double seconds = -1.0;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kPlayUsage, stdout);
            return kExitOk;
        }
        if (arg == "--seconds" && i + 1 < args.size()) {
            char* end = nullptr;
            seconds = std::strtod(args[++i], &end);
            if (*end || !(seconds > 0)) {
                reportError("--seconds needs a positive number");
                return kExitUsage;
            }
        } else if (arg.starts_with("--") || !recording.empty()) {
            std::fputs(kPlayUsage, stderr);
            return kExitUsage;
        } else {
            recording = arg;
        }
    }
    if (recording.empty()) {
        std::fputs(kPlayUsage, stderr);
        return kExitUsage;
    }

    EngineSession session;
    if (!session.Open(recording))
        return kExitFailed;

    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    QuitLoopOnStopSignal(loop);
    std::map<int, Channel> channels;
    vedra::CDXGraph audio;
    bool haveAudio = false;
    double elapsed = 0.0;

    auto allEnded = [&] {
        for (auto& [n, c] : channels)
            if (!c.ended)
                return false;
        return true;
    };
    MainLoopNotify notify(loop, [&](uint32_t msg, intptr_t) {
        if (msg != vedra::MsgGraphNotify)
            return;
        // As the dialog does: every graph drains its own events.
        for (auto& [n, c] : channels) {
            const int r = c.graph->HandleGraphEvents();
            if (r == 2 && !c.ended) {
                c.ended = true;
                std::printf("channel %d: end of stream after %.1f s, %d frames\n", n, elapsed, c.frames.frames());
            } else if (r == 0) {
                c.ended = true;
                std::printf("channel %d: stopped by an error\n", n);
            }
        }
        if (haveAudio && audio.HandleGraphEvents() != 1)
            std::printf("audio: end of stream after %.1f s\n", elapsed);
        if (seconds < 0 && allEnded())
            g_main_loop_quit(loop);
        std::fflush(stdout);
    });

    int failures = 0;
    for (const auto& [n, path] : session.channels()) {
        Channel& c = channels[n];
        if (!c.graph->Create(nullptr) || !c.graph->RenderMediaFile(path, true)) {
            reportError(CannotPlayText("channel " + std::to_string(n), *c.graph));
            c.graph->Destroy();
            channels.erase(n);
            ++failures;
            continue;
        }
        c.graph->SetNotifyWindow(&notify, vedra::MsgGraphNotify, 0);
        c.graph->AttachToPane(&c.frames);
    }
    if (!session.audio().empty()) {
        haveAudio = audio.Create(nullptr) && audio.RenderMediaFile(session.audio(), true);
        if (haveAudio)
            audio.SetNotifyWindow(&notify, vedra::MsgGraphNotify, 0);
        else
            reportError(CannotPlayText("the audio", audio));
    }
    if (channels.empty()) {
        audio.Destroy();
        g_main_loop_unref(loop);
        return kExitFailed;
    }

    for (auto& [n, c] : channels) {
        double d = 0;
        c.graph->GetDurationSeconds(d);
        std::printf("channel %d: %s, %.1f s%s\n", n, c.graph->filePath.c_str(), d,
                    c.graph->vgaCount ? ", 640 x 480" : "");
    }
    if (haveAudio)
        std::printf("audio: %s\n", audio.filePath.c_str());
    std::fflush(stdout);
    for (auto& [n, c] : channels)
        c.graph->Run();
    if (haveAudio)
        audio.Run();

    struct Tick {
        double* elapsed;
        double seconds;
        std::map<int, Channel>* channels;
        vedra::CDXGraph* audio;
        bool haveAudio;
        GMainLoop* loop;
        bool active;
    } tick{&elapsed, seconds, &channels, &audio, haveAudio, loop, true};
    const guint timer = g_timeout_add(
        1000,
        [](gpointer data) -> gboolean {
            auto* t = static_cast<Tick*>(data);
            *t->elapsed += 1.0;
            std::printf("%4.0f s:", *t->elapsed);
            for (auto& [n, c] : *t->channels)
                std::printf("  ch%d %6.2f s", n, c.graph->GetPositionSeconds());
            if (t->haveAudio)
                std::printf("  audio %6.2f s", t->audio->GetPositionSeconds());
            std::printf("\n");
            std::fflush(stdout);
            if (t->seconds > 0 && *t->elapsed >= t->seconds) {
                g_main_loop_quit(t->loop);
                t->active = false;
                return G_SOURCE_REMOVE;
            }
            return G_SOURCE_CONTINUE;
        },
        &tick);
    g_main_loop_run(loop);
    if (tick.active)
        g_source_remove(timer);

    for (auto& [n, c] : channels) {
        c.graph->Stop();
        c.graph->Destroy();
        const int frames = c.frames.frames();
        std::printf("channel %d: %d frames delivered\n", n, frames);
        if (frames == 0)
            ++failures;
    }
    if (haveAudio) {
        audio.Stop();
        audio.Destroy();
    }
    // Drop what the loop still holds (the timer, queued notifications) before it goes.
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    g_main_loop_unref(loop);
    if (failures) {
        reportError(std::to_string(failures) + " channel(s) delivered no frames");
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace krvtool
