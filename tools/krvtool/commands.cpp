#include "commands.h"

#include <csignal>

#include "stop_signals.h"
#include "tool_report.h"

namespace krvtool {

int runCommand(std::span<const Command> table, int argc, char** argv)
{
    if (argc < 2)
        return -1;
    const std::string_view name = argv[1];
    for (const Command& c : table) {
        if (c.name != name || !c.run)
            continue;
        // A file size limit then fails the write with "File too large", reported
        // and cleaned up like a full disk, instead of killing the process.
        std::signal(SIGXFSZ, SIG_IGN);
        const int code = finishOutput(c.run(std::span<char* const>(argv + 2, size_t(argc - 2))));
        RaiseStopSignal();
        return code;
    }
    return -1;
}

} // namespace krvtool
