// krvtool's sub-commands, one file each. Each takes the arguments after its
// name and returns the program's exit code. info and split run in krvtool
// itself; play, snapshot and export need the playback engine (Qt, GStreamer)
// and run in krvtool-engine, which krvtool hands them over to, so that the
// container commands start without loading the engine.
#pragma once

#include <span>
#include <string_view>

namespace krvtool {

// Exit codes shared by every sub-command.
enum ExitCode : int {
    kExitOk = 0,
    kExitFailed = 1,   // the container code refused the file or the split failed
    kExitUsage = 2,    // bad command line
    kExitCutShort = 3, // split, recording cut short: the whole packets before the cut were kept
};

int runInfo(std::span<char* const> args);
int runSplit(std::span<char* const> args);
int runPlay(std::span<char* const> args);
int runSnapshot(std::span<char* const> args);
int runExport(std::span<char* const> args);
int runKey(std::span<char* const> args);
int runVerify(std::span<char* const> args);
int runIndex(std::span<char* const> args);
int runActivity(std::span<char* const> args);
int runFind(std::span<char* const> args);
int runBookmark(std::span<char* const> args);
int runBookmarks(std::span<char* const> args);
int runReport(std::span<char* const> args);

struct Command {
    std::string_view name;
    std::string_view synopsis;
    int (*run)(std::span<char* const> args); // null: an engine command, run by krvtool-engine
};

// Runs the command of `table` that argv[1] names with the arguments after
// it, and ends the process by the quit signal that stopped it, if one did.
// -1 when the table has no such command.
int runCommand(std::span<const Command> table, int argc, char** argv);

} // namespace krvtool
