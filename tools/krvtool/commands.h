// krvtool's sub-commands, one file each. Each takes the arguments after its
// name and returns the program's exit code.
#pragma once

#include <span>
#include <string_view>

namespace krvtool {

// Exit codes shared by every sub-command.
enum ExitCode : int {
    kExitOk = 0,
    kExitFailed = 1,  // the container code refused the file or the split failed
    kExitUsage = 2,   // bad command line
    kExitCutShort = 3, // split, recording cut short: the whole packets before the cut were kept
};

int runInfo(std::span<char* const> args);
int runSplit(std::span<char* const> args);

struct Command {
    std::string_view name;
    std::string_view synopsis;
    int (*run)(std::span<char* const> args);
};

// The dispatch table, in the order --help lists them.
std::span<const Command> commands();

} // namespace krvtool
