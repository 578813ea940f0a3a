// What the benchmarks share: running a program and timing it, medians, and
// long krvsynth recordings made by repeating a short one.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// The options every benchmark takes: --mb N, --rounds N, --dir DIR, --keep.
struct Options {
    uint64_t mb = 200; // size of the large recording
    int rounds = 3;
    std::filesystem::path dir; // scratch folder
    bool keep = false;         // leave it in place
};

// Reads argv[i] (and its value) when it is one of the common options; false
// otherwise, so the benchmark can look at it itself.
bool commonOption(int argc, char** argv, int& i, Options& options);

struct RunResult {
    int status = -1; // exit status, -1 when it could not run
    double seconds = 0;
    long maxRssKb = 0; // the child's peak resident set
};

// Runs argv with stdout and stderr on /dev/null.
RunResult runChild(const std::vector<std::string>& argv);

// Runs argv and gives its time; ends the benchmark when it fails.
double timedOrDie(const std::vector<std::string>& argv);

double median(std::vector<double> v);

// A recording of at least `mb` megabytes (4 channels of 640x480 and audio):
// ten seconds encoded once by `krvsynth`, its key-frame groups repeated.
std::filesystem::path makeRecording(const std::string& krvsynth, const std::filesystem::path& dir,
                                    const std::string& name, uint64_t mb);

// The recordings a size benchmark compares: "big.krv" of options.mb megabytes
// and "small.krv" of a quarter of that, written in options.dir (made first).
struct Recordings {
    std::filesystem::path big;
    std::filesystem::path small;
};
Recordings makeRecordings(const std::string& krvsynth, const Options& options);

} // namespace bench
