#include "motion_helper.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

extern char** environ;

namespace krvtool {

namespace {

std::filesystem::path helperPath()
{
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : self.parent_path() / "krvtool-motion";
}

std::string wantedText(const std::vector<uint8_t>& uncertain)
{
    if (std::find(uncertain.begin(), uncertain.end(), 1) == uncertain.end())
        return "-";
    std::string text(uncertain.size(), '0');
    for (size_t s = 0; s < uncertain.size(); ++s)
        text[s] = uncertain[s] ? '1' : '0';
    return text;
}

// Runs the helper; its stdout, or false.
bool runHelper(const std::vector<std::string>& args, std::string& out)
{
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return false;
    }
    char buffer[65536];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        out.append(buffer, size_t(n));
    }
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

bool confirmWithPictures(const std::string& path, uint32_t originMs, KrvActivity& activity)
{
    std::vector<std::string> args = {helperPath().string(), path, std::to_string(originMs)};
    bool any = false;
    for (const KrvChannelActivity& c : activity.channels) {
        args.push_back(wantedText(c.uncertain));
        any = any || args.back() != "-";
    }
    if (!any)
        return true;
    std::string out;
    if (args[0].empty() || access(args[0].c_str(), X_OK) != 0 || !runHelper(args, out))
        return false;
    std::istringstream lines(out);
    std::string line;
    for (int c = 0; c < 4 && std::getline(lines, line); ++c) {
        std::vector<float> shares;
        std::istringstream values(line);
        for (std::string v; std::getline(values, v, ',');)
            shares.push_back(std::strtof(v.c_str(), nullptr));
        if (!shares.empty())
            krv_apply_picture_changes(activity.channels[c], c + 1, shares);
    }
    return true;
}

} // namespace krvtool
