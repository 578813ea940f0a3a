#include "engine_handover.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "commands.h"
#include "krv/krv_config.h"
#include "tool_report.h"

namespace krvtool {

int handOverToEngine(char** argv)
{
    const std::string engine = (krv_program_folder() / "krvtool-engine").string();
    execv(engine.c_str(), argv);
    reportError("cannot start " + engine + ": " + std::strerror(errno));
    return kExitFailed;
}

} // namespace krvtool
