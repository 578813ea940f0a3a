// krvtool: the container side of Vedra Media Player on the command line.
// One file per sub-command; main only dispatches.
#include <cstdio>
#include <string_view>

#include "commands.h"
#include "tool_report.h"
#ifdef KRVTOOL_WITH_ENGINE
#include "engine_handover.h"
#endif

namespace krvtool {
namespace {

constexpr Command kCommands[] = {
    {"info", "info [--json] FILE...            header, streams, packets (--json: measured facts)", &runInfo},
    {"split", "split FILE [OUTDIR] [--av-sync] split a recording into channel files", &runSplit},
    {"key", "key [--key-file FILE]            the public key that signs exports, and its fingerprint", &runKey},
    {"index", "index PATH... [--json] [-j N]    index recordings into the catalog", &runIndex},
    {"activity", "activity PATH... [--channels 1,3] [--from T] [--to T] [--json]  activity spans", &runActivity},
    {"bookmark",
     "bookmark FILE --at T --note TEXT [--channels 1,3] | --edit ID --note TEXT | --delete ID\n"
     "                                  a bookmark with a note in the user's bookmark store",
     &runBookmark},
    {"bookmarks", "bookmarks PATH... [--json]       the bookmarks of recordings", &runBookmarks},
    {"find", "find PATH... --at TIME [--json]  the recording covering a time of day", &runFind},
#ifdef KRVTOOL_WITH_ENGINE
    {"play", "play FILE [--seconds S]         play every channel and the audio in real time", nullptr},
    {"snapshot", "snapshot FILE --channel N --at S [--format jpg|bmp] OUT  picture of a channel", nullptr},
    {"export",
     "export FILE OUTDIR [--from T] [--to T] [--channels 1,3] [--format avi|mkv|mp4] [--single-file] ...\n"
     "                                  a time range of channels to files with checksums",
     nullptr},
    {"verify", "verify PATH [--source REC] [--key PUBKEY]  check a signed export against its manifest", nullptr},
    {"report",
     "report PATH... --out FILE.pdf [--from T] [--to T] [--title TEXT] [--manifests DIR]\n"
     "                                  a PDF of the recordings, their signed exports and bookmarks",
     nullptr},
#endif
};

void printUsage(FILE* to)
{
    std::fputs("usage: krvtool COMMAND [ARGS]\n       krvtool --help | --version\n\ncommands:\n", to);
    for (const Command& c : kCommands)
        std::fprintf(to, "  %.*s\n", int(c.synopsis.size()), c.synopsis.data());
}

} // namespace
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
        return finishOutput(kExitOk);
    }
    if (first == "--version") {
        std::printf("krvtool (Vedra Media Player) %s\n", VEDRA_VERSION);
        return finishOutput(kExitOk);
    }
    const int code = runCommand(kCommands, argc, argv);
    if (code >= 0)
        return code;
#ifdef KRVTOOL_WITH_ENGINE
    for (const Command& c : kCommands)
        if (c.name == first)
            return handOverToEngine(argv);
#endif
    reportError("unknown command " + std::string(first));
    printUsage(stderr);
    return kExitUsage;
}
