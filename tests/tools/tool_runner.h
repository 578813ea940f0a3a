// Running krvsynth and krvtool from tests, and the scratch folder they write in.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct ToolRun {
    int exitCode = -1;
    std::string out;  // stdout
    std::string err;  // stderr
};

// Runs `program` with `args` (and `env` assignments such as "XDG_DATA_HOME=/x")
// through the shell, every word quoted.
ToolRun runTool(const std::string& program, const std::vector<std::string>& args,
                const std::vector<std::string>& env = {});

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
