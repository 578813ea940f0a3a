// Running krvsynth and krvtool from tests, and the scratch folder they write in.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct ToolRun {
    int exitCode = -1;
    std::string out; // stdout
    std::string err; // stderr
};

// Runs `program` with `args` (and `env` assignments such as "XDG_DATA_HOME=/x")
// through the shell, every word quoted, in `cwd` when given.
ToolRun runTool(const std::string& program, const std::vector<std::string>& args,
                const std::vector<std::string>& env = {}, const std::filesystem::path& cwd = {});

// A fresh folder per test, removed afterwards.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::vector<uint8_t> readFile(const std::filesystem::path& path);

// Writes a recording with krvsynth; fails the test when it cannot.
void synthesize(const std::filesystem::path& out, const std::vector<std::string>& args);

// A program running in the background, its stdout and stderr kept in files;
// killed and reaped when still running at the end.
class Background {
public:
    Background(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& env = {}, const std::filesystem::path& cwd = {});
    ~Background();
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    pid_t pid() const { return pid_; }
    // Stops it (SIGSTOP) as soon as `ready` holds; false when it ended first or
    // `ready` never held within the time.
    bool stopWhen(const std::function<bool()>& ready, int timeoutMs = 20000);
    void signal(int sig) const;
    // What it has written to stdout so far.
    std::string output() const;
    // Waits for the end: the exit code (128 + N after signal N) and the output.
    ToolRun finish();

private:
    pid_t pid_ = -1;
    std::filesystem::path out_, err_;
};

// True once `ready` holds, polled every 10 ms for up to `timeoutMs`.
bool eventually(const std::function<bool()>& ready, int timeoutMs = 20000);

// Names in `dir` (none when it is missing), sorted.
std::vector<std::string> entriesOf(const std::filesystem::path& dir);
