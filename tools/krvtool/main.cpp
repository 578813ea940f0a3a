// krvtool: the container side of Vedra Media Player on the command line.
// One file per sub-command; main only dispatches.
#include <csignal>
#include <cstdio>
#include <span>
#include <string_view>

#include "commands.h"
#include "stop_signals.h"
#include "tool_report.h"

namespace krvtool {

#ifdef KRVTOOL_WITH_ENGINE
int runPlay(std::span<char* const> args);
int runSnapshot(std::span<char* const> args);
int runExport(std::span<char* const> args);
#endif

namespace {

constexpr Command kCommands[] = {
    {"info", "info [--json] FILE...            header, streams, packets (--json: measured facts)", &runInfo},
    {"split", "split FILE [OUTDIR] [--av-sync] split a recording into channel files", &runSplit},
#ifdef KRVTOOL_WITH_ENGINE
    {"play", "play FILE [--seconds S]         play every channel and the audio in real time", &runPlay},
    {"snapshot", "snapshot FILE --channel N --at S [--format jpg|bmp] OUT  picture of a channel", &runSnapshot},
    {"export", "export FILE OUTDIR [--from T] [--to T] [--channels 1,3] [--format avi|mkv|mp4] [--single-file] ...\n"
               "                                  a time range of channels to files with checksums", &runExport},
#endif
};

void printUsage(FILE* to)
{
    std::fputs("usage: krvtool COMMAND [ARGS]\n       krvtool --help | --version\n\ncommands:\n", to);
    for (const Command& c : kCommands)
        std::fprintf(to, "  %.*s\n", int(c.synopsis.size()), c.synopsis.data());
}

} // namespace

std::span<const Command> commands() { return kCommands; }

} // namespace krvtool

int main(int argc, char** argv)
{
    using namespace krvtool;
    if (argc < 2) {
        printUsage(stderr);
        return kExitUsage;
    }
    const std::string_view first = argv[1];
    if (first == "--help" || first == "-h" || first == "help") {
        printUsage(stdout);
        return kExitOk;
    }
    if (first == "--version") {
        std::printf("krvtool (Vedra Media Player) %s\n", VEDRA_VERSION);
        return kExitOk;
    }
    // A file size limit then fails the write with "File too large", reported
    // and cleaned up like a full disk, instead of killing the process.
    std::signal(SIGXFSZ, SIG_IGN);
    for (const Command& c : commands()) {
        if (c.name == first) {
            const int code = c.run(std::span<char* const>(argv + 2, size_t(argc - 2)));
            RaiseStopSignal();
            return code;
        }
    }
    reportError("unknown command " + std::string(first));
    printUsage(stderr);
    return kExitUsage;
}
