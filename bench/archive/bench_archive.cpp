// Archive benchmark, run by hand:
//  1. indexing a long recording with the page cache dropped, against
//     `cat FILE > /dev/null` of the same file (goal: at most 1.0x);
//  2. `krvtool activity` over 24 one-hour recordings (1 fps CIF, four
//     cameras) answered from the catalog, the whole process (goal: 100 ms);
//  3. the decode pass over every second of four CIF cameras on one core
//     (goal: 20x real time) and its peak memory for two lengths (flat);
//  4. activity accuracy against krvsynth's truth: recall and false share per
//     noise level and object size (goal: at least 95 %, at most 5 %).
//
//   bench_archive [--mb N (200)] [--rounds N (3)] [--dir DIR] [--keep]
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench_process.h"
#include "krv/krv_recording_index.h"
#include "motion/recording_activity.h"
#include "motion_truth.h"

namespace fs = std::filesystem;

namespace {

using bench::median;
using bench::runChild;
using bench::timedOrDie;

bool dropPageCache()
{
    sync();
    std::ofstream drop("/proc/sys/vm/drop_caches");
    drop << "3\n";
    drop.flush();
    return bool(drop);
}

double secondsOf(const std::function<void()>& body)
{
    const auto t0 = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void indexAgainstCat(const bench::Options& options)
{
    const fs::path rec = bench::makeRecording(KRVSYNTH_PATH, options.dir, "long.krv", options.mb);
    const bool cold = dropPageCache();
    std::vector<double> cat, index, warm;
    auto indexOnce = [&] {
        KrvRecordingIndex i;
        if (krv_index_recording(rec.string(), i) != 1)
            std::fprintf(stderr, "bench_archive: index failed\n");
    };
    for (int r = 0; r < options.rounds; ++r)
        warm.push_back(secondsOf(indexOnce));
    for (int r = 0; r < options.rounds; ++r) {
        dropPageCache();
        cat.push_back(timedOrDie({"cat", rec.string()}));
        dropPageCache();
        index.push_back(secondsOf(indexOnce));
    }
    std::printf("1. index of a %.0f MB recording (%s page cache), median of %d\n", double(fs::file_size(rec)) / 1e6,
                cold ? "dropped" : "warm: cannot drop the", options.rounds);
    std::printf("   cat > /dev/null %8.3f s\n   index           %8.3f s   ratio %.2fx (goal <= 1.0x)\n", median(cat),
                median(index), median(index) / median(cat));
    std::printf("   index, warm     %8.3f s   (the parsing alone)\n", median(warm));
}

void activityFromCatalog(const bench::Options& options)
{
    const fs::path folder = options.dir / "day";
    fs::create_directories(folder);
    const fs::path hour = options.dir / "hour.krv";
    if (!fs::exists(hour))
        timedOrDie({KRVSYNTH_PATH, hour.string(), "--fps", "1", "--seconds", "3600", "--size", "352x288", "--no-audio",
                    "--still-scene", "--sensor-noise", "4", "--object", "1:15:600-620", "--object", "3:8:1800-1830"});
    for (int h = 0; h < 24; ++h) {
        const fs::path copy = folder / ("rec_" + std::to_string(100 + h).substr(1) + ".krv");
        if (!fs::exists(copy))
            fs::copy_file(hour, copy);
    }
    const std::string catalog = (options.dir / "catalog.sqlite").string();
    const double first = timedOrDie({KRVTOOL_PATH, "index", "--catalog", catalog, "-j", "2", folder.string()});
    std::vector<double> runs;
    for (int r = 0; r < std::max(5, options.rounds); ++r)
        runs.push_back(timedOrDie({KRVTOOL_PATH, "activity", "--catalog", catalog, folder.string()}));
    std::printf("2. 24 one-hour recordings (1 fps CIF, %.0f MB): first index %.2f s\n",
                24 * double(fs::file_size(hour)) / 1e6, first);
    std::printf("   krvtool activity from the catalog %6.1f ms (goal < 100 ms)\n", 1000 * median(runs));
}

void decodePass(const bench::Options& options)
{
    std::printf("3. decode pass, every second of four CIF cameras at 10 fps, one core\n");
    for (int seconds : {60, 240}) {
        const fs::path rec = options.dir / ("noisy" + std::to_string(seconds) + ".krv");
        timedOrDie({KRVSYNTH_PATH, rec.string(), "--seconds", std::to_string(seconds), "--no-audio", "--still-scene",
                    "--sensor-noise", "6"});
        const std::string all(size_t(seconds), '1');
        const bench::RunResult r = runChild(
            {fs::path(KRVTOOL_PATH).parent_path() / "krvtool-motion", rec.string(), "1000", all, all, all, all});
        std::printf("   %3d s: %6.2f s, %5.1fx real time (goal >= 20x), peak memory %ld kB\n", seconds, r.seconds,
                    seconds / r.seconds, r.maxRssKb);
    }
}

void accuracy(const bench::Options& options)
{
    std::printf("4. accuracy against krvsynth's truth (100 s, objects crossing during 13 s per camera)\n");
    std::printf("   noise  P-frame  object  recall  false share\n");
    for (int noise : {4, 6}) {
        const fs::path rec = options.dir / ("accuracy" + std::to_string(noise) + ".krv");
        timedOrDie({KRVSYNTH_PATH,    rec.string(),
                    "--channels",     "1,2,3",
                    "--seconds",      "100",
                    "--no-audio",     "--still-scene",
                    "--sensor-noise", std::to_string(noise),
                    "--object",       "1:8:10-17",
                    "--object",       "1:8:40-44",
                    "--object",       "2:15:25-30",
                    "--object",       "2:15:60-63",
                    "--object",       "2:15:85-86",
                    "--object",       "3:8:70-71",
                    "--late-start",   "2:15"});
        KrvRecordingIndex index;
        krv_index_recording(rec.string(), index);
        const KrvActivity activity = vedra::MeasureActivity(rec.string(), index);
        const std::vector<TruthPass> truth = readMotionTruth(rec.string() + ".motion");
        Accuracy bySize[2];
        for (int c = 1; c <= 3; ++c) {
            const Accuracy a = measureAccuracy(index, activity, c, truth);
            Accuracy& t = bySize[c == 2];
            t.motion += a.motion;
            t.motionFound += a.motionFound;
            t.still += a.still;
            t.stillFlagged += a.stillFlagged;
        }
        const double pFrame = activity.channels[0].stillLevel;
        for (int k = 0; k < 2; ++k)
            std::printf("   %5d  %5.0f B  %4d %%  %5.1f %%  %6.1f %%\n", noise, pFrame, k ? 15 : 8,
                        100.0 * bySize[k].motionFound / std::max(1, bySize[k].motion),
                        100.0 * bySize[k].stillFlagged / std::max(1, bySize[k].still));
    }
}

} // namespace

int main(int argc, char** argv)
{
    bench::Options options;
    options.dir = fs::temp_directory_path() / "vedra-bench-archive";
    for (int i = 1; i < argc; ++i) {
        if (!bench::commonOption(argc, argv, i, options)) {
            std::fprintf(stderr, "usage: bench_archive [--mb N (200)] [--rounds N (3)] [--dir DIR] [--keep]\n");
            return 2;
        }
    }
    fs::create_directories(options.dir);
    indexAgainstCat(options);
    activityFromCatalog(options);
    decodePass(options);
    accuracy(options);
    if (!options.keep)
        fs::remove_all(options.dir);
    return 0;
}
