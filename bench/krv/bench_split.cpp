// Split benchmark, run by hand: a long krvsynth recording split by the whole
// `krvtool split` process and by the library call alone, side by side with
// `cp` of the same file and with ffmpeg's generic ASF demux-and-remux pass
// over it, then the peak memory of `krvtool split` on a recording a quarter
// the size and on the long one (it must not grow with the file).
//
//   bench_split [--mb N] [--rounds N] [--dir DIR] [--keep]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_process.h"
#include "krv/krv_recording.h"
#include "krv/krv_splitter.h"

namespace fs = std::filesystem;

namespace {

using bench::median;
using bench::runChild;
using bench::RunResult;
using bench::timedOrDie;

// Our split through the krv library, in this process.
double splitInProcess(const fs::path& recording, const fs::path& folder)
{
    fs::remove_all(folder);
    fs::create_directories(folder);
    const auto t0 = std::chrono::steady_clock::now();
    KrvFilePtr file;
    int r = krv_open_recording(recording.string(), file);
    if (r >= 0)
        r = krv_split(file.get(), folder.string(), KrvSplitOptions{});
    file.reset();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (r <= 0) {
        std::fprintf(stderr, "bench_split: split failed with %d\n", r);
        std::exit(1);
    }
    return s;
}

// The whole krvtool split process, into a fresh folder.
RunResult splitByKrvtool(const fs::path& recording, const fs::path& folder)
{
    fs::remove_all(folder);
    RunResult r = runChild({KRVTOOL_PATH, "split", recording.string(), folder.string()});
    if (r.status != 0) {
        std::fprintf(stderr, "bench_split: krvtool split failed (status %d)\n", r.status);
        std::exit(1);
    }
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    bench::Options options;
    options.dir = fs::temp_directory_path() / "vedra-bench-split";
    for (int i = 1; i < argc; ++i) {
        if (!bench::commonOption(argc, argv, i, options)) {
            std::fprintf(stderr, "usage: bench_split [--mb N (200)] [--rounds N (3)] [--dir DIR] [--keep]\n");
            return 2;
        }
    }
    const int rounds = options.rounds;
    const fs::path dir = options.dir;
    const auto [big, small] = bench::makeRecordings(KRVSYNTH_PATH, options);
    const double bigMb = double(fs::file_size(big)) / 1e6;
    const double smallMb = double(fs::file_size(small)) / 1e6;

    // One pass of each first, so every contender reads from a warm page cache.
    const fs::path cpOut = dir / "copy.krv";
    const fs::path ffOut = dir / "ffmpeg.asf";
    const fs::path splitOut = dir / "split";
    const fs::path toolOut = dir / "krvtool";
    const std::vector<std::string> cp = {"cp", big.string(), cpOut.string()};
    const std::vector<std::string> ff = {"ffmpeg", "-y", "-v",   "error", "-i",  big.string(),  "-map",
                                         "0",      "-c", "copy", "-f",    "asf", ffOut.string()};
    timedOrDie(cp);
    splitInProcess(big, splitOut);
    splitByKrvtool(big, toolOut);

    std::vector<double> tools, library, copies, ffmpegs;
    for (int r = 0; r < rounds; ++r) {
        fs::remove(cpOut);
        copies.push_back(timedOrDie(cp));
        tools.push_back(splitByKrvtool(big, toolOut).seconds);
        library.push_back(splitInProcess(big, splitOut));
        fs::remove(ffOut);
        ffmpegs.push_back(timedOrDie(ff));
    }
    const double t = median(tools), l = median(library), c = median(copies), f = median(ffmpegs);
    std::printf("\nsplit of %.1f MB (4 channels + audio, 640x480), median of %d rounds:\n", bigMb, rounds);
    std::printf("  krvtool split (whole process) %8.3f s  %8.1f MB/s\n", t, bigMb / t);
    std::printf("  krv library call              %8.3f s  %8.1f MB/s\n", l, bigMb / l);
    std::printf("  cp                            %8.3f s  %8.1f MB/s\n", c, bigMb / c);
    std::printf("  ffmpeg -c copy -f asf         %8.3f s  %8.1f MB/s\n", f, bigMb / f);
    std::printf("  ratio krvtool/library  %6.2f   (target: at most 1.3)\n", t / l);
    std::printf("  ratio krvtool/cp       %6.2f   (target: at most 2)   library/cp %6.2f\n", t / c, l / c);
    std::printf("  ratio krvtool/ffmpeg   %6.2f   (target: below 1)     library/ffmpeg %6.2f\n", t / f, l / f);

    std::printf("\npeak memory of krvtool split:\n");
    long rss[2] = {0, 0};
    const fs::path inputs[2] = {small, big};
    const double sizes[2] = {smallMb, bigMb};
    for (int i = 0; i < 2; ++i) {
        rss[i] = splitByKrvtool(inputs[i], dir / ("rss" + std::to_string(i))).maxRssKb;
        std::printf("  %7.1f MB recording: max RSS %6ld KB (target: below 12 MB)\n", sizes[i], rss[i]);
    }
    std::printf("  ratio %.2f for a %.1fx larger file (target: about 1)\n", double(rss[1]) / double(rss[0]),
                bigMb / smallMb);

    if (!options.keep)
        fs::remove_all(dir);
    return 0;
}
