#include "tool_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
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
    path_ = fs::path(::testing::TempDir()) /
            ("tools_" + std::to_string(getpid()) + "_" + std::to_string(counter++) + "_" + name);
    fs::remove_all(path_);
    fs::create_directories(path_);
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

ToolRun runTool(const std::string& program, const std::vector<std::string>& args, const std::vector<std::string>& env,
                const fs::path& cwd)
{
    static std::atomic<int> counter{0};
    const fs::path base =
        fs::path(::testing::TempDir()) / ("run_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
    std::string cmd = cwd.empty() ? "" : "cd " + quote(cwd.string()) + " && ";
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

Background::Background(const std::string& program, const std::vector<std::string>& args,
                       const std::vector<std::string>& env, const fs::path& cwd)
{
    static std::atomic<int> counter{0};
    const std::string base =
        (fs::path(::testing::TempDir()) / ("bg_" + std::to_string(getpid()) + "_" + std::to_string(counter++)))
            .string();
    out_ = base + ".out";
    err_ = base + ".err";
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_ = fork();
    if (pid_ == 0) {
        if (!cwd.empty() && chdir(cwd.c_str()) != 0)
            _exit(127);
        for (const std::string& e : env)
            putenv(const_cast<char*>(e.c_str()));
        const int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> raw;
        for (std::string& a : argv)
            raw.push_back(a.data());
        raw.push_back(nullptr);
        execv(program.c_str(), raw.data());
        _exit(127);
    }
}

Background::~Background()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    std::error_code ec;
    fs::remove(out_, ec);
    fs::remove(err_, ec);
}

bool Background::stopWhen(const std::function<bool()>& ready, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs * 10; ++waited) {
        if (ready()) {
            ::kill(pid_, SIGSTOP);
            int status = 0;
            return waitpid(pid_, &status, WUNTRACED) == pid_ && WIFSTOPPED(status);
        }
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        usleep(100);
    }
    return false;
}

void Background::signal(int sig) const
{
    if (pid_ > 0)
        ::kill(pid_, sig);
}

std::string Background::output() const
{
    return slurp(out_);
}

ToolRun Background::finish()
{
    ToolRun r;
    int status = 0;
    if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_)
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    pid_ = -1;
    r.out = slurp(out_);
    r.err = slurp(err_);
    return r;
}

bool eventually(const std::function<bool()>& ready, int timeoutMs)
{
    for (int waited = 0; waited <= timeoutMs; waited += 10) {
        if (ready())
            return true;
        usleep(10000);
    }
    return false;
}

std::vector<std::string> entriesOf(const fs::path& dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
