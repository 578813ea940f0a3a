#include "tool_runner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

std::string quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

ScratchDir::ScratchDir()
{
    static std::atomic<int> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "scratch";
    for (char& c : name)
        if (c == '/')
            c = '_';
    path_ = fs::path(::testing::TempDir()) / ("tools_" + std::to_string(getpid()) + "_" + std::to_string(counter++)
                                              + "_" + name);
    fs::remove_all(path_);
    fs::create_directories(path_);
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

ToolRun runTool(const std::string& program, const std::vector<std::string>& args, const std::vector<std::string>& env)
{
    static std::atomic<int> counter{0};
    const fs::path base = fs::path(::testing::TempDir())
                          / ("run_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
    std::string cmd;
    for (const std::string& e : env)
        cmd += e.substr(0, e.find('=') + 1) + quote(e.substr(e.find('=') + 1)) + " ";
    cmd += quote(program);
    for (const std::string& a : args)
        cmd += " " + quote(a);
    cmd += " >" + quote(base.string() + ".out") + " 2>" + quote(base.string() + ".err");
    ToolRun r;
    const int status = std::system(cmd.c_str());
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(base.string() + ".out");
    r.err = slurp(base.string() + ".err");
    std::error_code ec;
    fs::remove(base.string() + ".out", ec);
    fs::remove(base.string() + ".err", ec);
    return r;
}

std::vector<uint8_t> readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void synthesize(const fs::path& out, const std::vector<std::string>& args)
{
    std::vector<std::string> all{out.string()};
    all.insert(all.end(), args.begin(), args.end());
    const ToolRun r = runTool(KRVSYNTH_PATH, all);
    ASSERT_EQ(r.exitCode, 0) << r.err;
}
