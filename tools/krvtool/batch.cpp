#include "batch.h"

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

#include "commands.h"
#include "krv/krv_recording_name.h"
#include "tool_report.h"

namespace krvtool {
namespace {

namespace fs = std::filesystem;

// One file's run: its process and what it wrote.
struct Job {
    std::string file;
    pid_t pid = -1;
    int out = -1; // memory files holding its stdout and stderr
    int err = -1;
    int exit = -1;
    int signal = 0; // the signal that ended it, 0: it exited
    bool ended = false;
};

std::string slurp(int fd)
{
    std::string text;
    if (fd < 0 || lseek(fd, 0, SEEK_SET) < 0)
        return text;
    char buffer[65536];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, size_t(n));
    return text;
}

bool start(Job& job, const std::vector<std::string>& args)
{
    job.out = memfd_create("krvtool-out", MFD_CLOEXEC);
    job.err = memfd_create("krvtool-err", MFD_CLOEXEC);
    if (job.out < 0 || job.err < 0)
        return false;
    std::vector<char*> argv;
    static char self[] = "krvtool";
    argv.push_back(self);
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);
    std::fflush(stderr);
    job.pid = fork();
    if (job.pid < 0)
        return false;
    if (job.pid == 0) {
        dup2(job.out, STDOUT_FILENO);
        dup2(job.err, STDERR_FILENO);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    return true;
}

void report(const Job& job, size_t number, size_t total)
{
    const char* how = job.signal                  ? "killed"
                      : job.exit == kExitOk       ? "done"
                      : job.exit == kExitCutShort ? "cut short"
                                                  : "failed";
    std::fprintf(stderr, "krvtool: [%zu/%zu] %s: %s", number, total, shown(job.file).c_str(), how);
    if (job.signal)
        std::fprintf(stderr, " by signal %d (%s)", job.signal, strsignal(job.signal));
    else if (job.exit != kExitOk)
        std::fprintf(stderr, " (exit %d)", job.exit);
    std::fputc('\n', stderr);
    const std::string err = slurp(job.err);
    std::fwrite(err.data(), 1, err.size(), stderr);
    std::fflush(stderr);
}

} // namespace

bool expandRecordings(const std::vector<std::string>& names, std::vector<std::string>& files, bool& several)
{
    several = names.size() > 1;
    for (const std::string& name : names) {
        std::error_code ec;
        if (!fs::is_directory(name, ec)) {
            files.push_back(name);
            continue;
        }
        several = true;
        std::vector<std::string> found;
        for (const fs::directory_entry& e : fs::directory_iterator(name, ec))
            if (krv_is_recording_name(e.path().string()) && e.is_regular_file(ec))
                found.push_back(e.path().string());
        if (ec) {
            reportError("cannot list " + name + ": " + ec.message());
            return false;
        }
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    if (files.empty()) {
        reportError("no recordings (.krv or .asf files) found");
        return false;
    }
    return true;
}

bool parseJobs(const std::vector<std::string>& args, size_t& i, int& jobs, std::string& error)
{
    const std::string& a = args[i];
    std::string value;
    if (a == "-j" || a == "--jobs") {
        if (i + 1 >= args.size()) {
            error = a + " needs a number";
            return true;
        }
        value = args[++i];
    } else if (a.size() > 2 && a.starts_with("-j")) {
        value = a.substr(2);
    } else {
        return false;
    }
    int n = 0;
    for (char c : value)
        n = std::isdigit(static_cast<unsigned char>(c)) && n < 1000 ? n * 10 + (c - '0') : -1;
    if (value.empty() || n < 1 || n > 64)
        error = "-j takes a number of runs at once, 1-64";
    else
        jobs = n;
    return true;
}

int worseExit(int a, int b)
{
    auto rank = [](int code) { return code == kExitUsage ? 3 : code == kExitCutShort ? 1 : code == kExitOk ? 0 : 2; };
    return rank(b) > rank(a) ? b : a;
}

int runBatch(const std::vector<std::string>& files,
             const std::function<std::vector<std::string>(const std::string& file)>& childArgs, int jobs)
{
    std::vector<Job> all(files.size());
    std::map<pid_t, size_t> running;
    size_t next = 0, printed = 0, ended = 0;
    int worst = kExitOk;
    while (printed < all.size()) {
        while (next < all.size() && int(running.size()) < jobs) {
            Job& job = all[next];
            job.file = files[next];
            if (start(job, childArgs(job.file))) {
                running[job.pid] = next;
            } else {
                job.ended = true;
                job.exit = kExitFailed;
                std::perror("krvtool: cannot start a run");
                report(job, ++ended, all.size());
            }
            ++next;
        }
        if (!running.empty()) {
            int status = 0;
            const pid_t pid = waitpid(-1, &status, 0);
            if (pid < 0)
                break;
            const auto it = running.find(pid);
            if (it == running.end())
                continue;
            Job& job = all[it->second];
            running.erase(it);
            job.ended = true;
            // A run killed by a signal (a crash, kill -9) is a failure.
            job.exit = WIFEXITED(status) ? WEXITSTATUS(status) : kExitFailed;
            job.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
            report(job, ++ended, all.size());
        }
        // Standard output in the order the files were given.
        while (printed < all.size() && all[printed].ended) {
            Job& job = all[printed++];
            const std::string out = slurp(job.out);
            std::fwrite(out.data(), 1, out.size(), stdout);
            std::fflush(stdout);
            worst = worseExit(worst, job.exit);
            for (int fd : {job.out, job.err})
                if (fd >= 0)
                    close(fd);
        }
    }
    return worst;
}

} // namespace krvtool
