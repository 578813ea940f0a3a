// krvtool-engine: krvtool's commands that need the playback engine. krvtool
// hands them over with its own arguments ("play FILE ..."); see commands.h.
#include <cstdio>
#include <string>

#include "commands.h"
#include "tool_report.h"

namespace {

constexpr krvtool::Command kEngineCommands[] = {
    {"play", "", &krvtool::runPlay},     {"snapshot", "", &krvtool::runSnapshot}, {"export", "", &krvtool::runExport},
    {"verify", "", &krvtool::runVerify}, {"report", "", &krvtool::runReport},
};

} // namespace

int main(int argc, char** argv)
{
    using namespace krvtool;
    const int code = runCommand(kEngineCommands, argc, argv);
    if (code >= 0)
        return code;
    reportError(
        argc < 2 ? std::string("krvtool-engine runs krvtool's play, snapshot, export, verify and report: use krvtool")
                 : "unknown command " + std::string(argv[1]));
    return kExitUsage;
}
