// krvtool export RECORDING OUTDIR [--channels 1,3] [--no-audio]: each chosen
// channel into its own AVI file, with the audio unless --no-audio, one after
// another as the player's export chain runs them.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "engine_session.h"
#include "export_job.h"
#include "stop_signals.h"
#include "tool_report.h"

namespace krvtool {
namespace {

constexpr const char* kExportUsage =
    "usage: krvtool export RECORDING OUTDIR [--channels 1,3] [--no-audio]\n"
    "  --channels  channels to export (default: every channel of the recording)\n"
    "  --no-audio  leave the audio out\n";

}  // namespace

int runExport(std::span<char* const> args)
{
    std::string recording, outdir;
    std::vector<int> wanted;
    bool withAudio = true;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kExportUsage, stdout);
            return kExitOk;
        }
        if (arg == "--channels" && i + 1 < args.size()) {
            if (!ParseChannelList(args[++i], wanted)) {
                reportError("--channels takes channel numbers 1-4 separated by commas");
                return kExitUsage;
            }
        } else if (arg == "--no-audio") {
            withAudio = false;
        } else if (arg.starts_with("--")) {
            std::fputs(kExportUsage, stderr);
            return kExitUsage;
        } else if (recording.empty()) {
            recording = arg;
        } else if (outdir.empty()) {
            outdir = arg;
        } else {
            std::fputs(kExportUsage, stderr);
            return kExitUsage;
        }
    }
    if (recording.empty() || outdir.empty()) {
        std::fputs(kExportUsage, stderr);
        return kExitUsage;
    }
    std::error_code ec;
    std::filesystem::create_directories(outdir, ec);
    if (!std::filesystem::is_directory(outdir, ec)) {
        reportError("cannot create " + outdir);
        return kExitFailed;
    }

    EngineSession session;
    if (!session.Open(recording))
        return kExitFailed;
    std::vector<std::pair<int, std::string>> chain;
    if (wanted.empty()) {
        for (const auto& [n, path] : session.channels())
            chain.emplace_back(n, path);
    } else {
        for (int n : wanted) {
            const auto it = session.channels().find(n);
            if (it == session.channels().end()) {
                reportError("channel " + std::to_string(n) + " is not in " + recording);
                return kExitFailed;
            }
            chain.emplace_back(n, it->second);
        }
    }

    vedra::ExportJob job;
    job.outputFolder = (std::filesystem::path(outdir) / "").string();
    const std::string audio = withAudio ? session.audio() : std::string();
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    QuitLoopOnStopSignal(loop);
    size_t next = 0;
    int failures = 0;
    MainLoopNotify notify(loop, [&](uint32_t msg, uintptr_t, intptr_t param) {
        if (msg != vedra::MsgGraphNotify || param != vedra::kExportNotifyParam)
            return;
        if (vedra::CheckExportCompletion(job) != 2)
            return;
        const int n = chain[next - 1].first;
        if (job.lastSucceeded) {
            std::printf("%s  (channel %d%s)\n", job.lastOutputPath.c_str(), n, audio.empty() ? "" : " with audio");
        } else {
            reportError("channel " + std::to_string(n) + ": " + job.lastError);
            ++failures;
        }
        std::fflush(stdout);
        // The next export of the chain starts after the previous one completed.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (next < chain.size() && !StopSignal())
            vedra::ExportStep(audio, &notify, job, chain[next++].second);
        else
            g_main_loop_quit(loop);
    });
    vedra::ExportStep(audio, &notify, job, chain[next++].second);
    g_main_loop_run(loop);
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    g_main_loop_unref(loop);
    return failures ? kExitFailed : kExitOk;
}

}  // namespace krvtool
