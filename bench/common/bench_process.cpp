#include "bench_process.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace fs = std::filesystem;

namespace bench {

bool commonOption(int argc, char** argv, int& i, Options& o)
{
    const std::string a = argv[i];
    if (a == "--mb" && i + 1 < argc)
        o.mb = std::max<uint64_t>(4, std::strtoull(argv[++i], nullptr, 10));
    else if (a == "--rounds" && i + 1 < argc)
        o.rounds = std::max(1, std::atoi(argv[++i]));
    else if (a == "--dir" && i + 1 < argc)
        o.dir = argv[++i];
    else if (a == "--keep")
        o.keep = true;
    else
        return false;
    return true;
}

RunResult runChild(const std::vector<std::string>& argv)
{
    RunResult r;
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid < 0)
        return r;
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) < 0)
        return r;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    r.maxRssKb = usage.ru_maxrss;
    return r;
}

double timedOrDie(const std::vector<std::string>& argv)
{
    RunResult r = runChild(argv);
    if (r.status != 0) {
        std::fprintf(stderr, "bench: %s failed (status %d)\n", argv[0].c_str(), r.status);
        std::exit(1);
    }
    return r.seconds;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

fs::path makeRecording(const std::string& krvsynth, const fs::path& dir, const std::string& name, uint64_t mb)
{
    const std::vector<std::string> base = {krvsynth,  "",          "--channels", "1,2,3,4",    "--size",
                                           "640x480", "--seconds", "10",         "--start-ms", "0"};
    const fs::path probe = dir / "probe.krv";
    std::vector<std::string> argv = base;
    argv[1] = probe.string();
    timedOrDie(argv);
    // Less the header and the zero-padded last packet, which repeats do not add.
    const uint64_t perRepeat = fs::file_size(probe) - 2 * 32768;
    fs::remove(probe);
    const uint64_t repeats = (mb * 1000000 + perRepeat - 1) / perRepeat;
    const fs::path out = dir / name;
    argv = base;
    argv[1] = out.string();
    argv.push_back("--repeat");
    argv.push_back(std::to_string(repeats));
    timedOrDie(argv);
    return out;
}

Recordings makeRecordings(const std::string& krvsynth, const Options& options)
{
    fs::create_directories(options.dir);
    std::printf("writing recordings with krvsynth in %s ...\n", options.dir.c_str());
    Recordings r;
    r.big = makeRecording(krvsynth, options.dir, "big.krv", options.mb);
    r.small = makeRecording(krvsynth, options.dir, "small.krv", std::max<uint64_t>(1, options.mb / 4));
    return r;
}

} // namespace bench
