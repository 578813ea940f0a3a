#include "tool_report.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "krv/krv_text.h"
#include "krv/krv_types.h"

namespace krvtool {

std::string errorName(int code)
{
    return krv_error_name(code);
}

namespace {

void printContainerError(int code, const std::string& message, const std::string& reason)
{
    std::fprintf(stderr, "%s\n", shown(message).c_str());
    std::fprintf(stderr, "krvtool: error %d (%s)%s%s\n", code, errorName(code).c_str(), reason.empty() ? "" : ": ",
                 shown(reason).c_str());
}

} // namespace

void reportContainerError(int code, KrvPhase phase, const std::string& reason)
{
    printContainerError(code, krv_error_message(code, phase), reason);
}

void reportContainerError(int code, const std::string& message)
{
    printContainerError(code, message, {});
}

void reportError(const std::string& text)
{
    std::fprintf(stderr, "krvtool: %s\n", shown(text).c_str());
}

std::string shown(const std::string& text)
{
    // Line by line: a message of several lines keeps them.
    std::string out;
    for (size_t at = 0;;) {
        const size_t end = text.find('\n', at);
        out += krv_printable(std::string_view(text).substr(at, end == std::string::npos ? end : end - at));
        if (end == std::string::npos)
            return out;
        out += '\n';
        at = end + 1;
    }
}

std::string openFailure(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return path + ": " + std::strerror(errno);
    if (S_ISDIR(st.st_mode))
        return path + ": a folder, not a recording";
    if (!S_ISREG(st.st_mode))
        return path + ": not a regular file";
    return path + ": cannot be read";
}

int finishOutput(int code)
{
    const bool flushed = std::fflush(stdout) == 0 && !std::ferror(stdout);
    const int error = errno;
    if (std::fclose(stdout) == 0 && flushed)
        return code;
    reportError(std::string("cannot write the output: ") + std::strerror(flushed ? errno : error));
    return code == kExitUsage ? code : kExitFailed;
}

} // namespace krvtool
