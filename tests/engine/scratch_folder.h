// A temporary folder and a shell command's output: the standard library only, so the tests of the
// picture conversion also build without the engine (the sanitizer build).
#pragma once

#include <filesystem>
#include <string>

namespace vedra::test {

// A temporary folder removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// What a shell command writes to its standard output; `status` gets what pclose returns.
std::string RunCommand(const std::string& command, int* status = nullptr);

} // namespace vedra::test
