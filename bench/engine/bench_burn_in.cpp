// Burn-in benchmark, run by hand: a 60 s recording of four 640x480 cameras
// (krvsynth) exported with the time of day burned in, against real time, with
// the stream copy of the same range beside it.
//
//   bench_burn_in [--seconds S (60)] [--fps N (25)] [--rounds N (1)] [--dir DIR] [--keep]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_process.h"
#include "range_export.h"

namespace fs = std::filesystem;

namespace {

struct Contender {
    const char* what;
    vedra::ExportFormat format;
    bool singleFile;
    bool burnIn;
};

// Seconds of one export, and what encoded it.
double exportOnce(const fs::path& recording, const fs::path& out, const Contender& c, std::string& codec)
{
    fs::remove_all(out);
    vedra::RangeExportRequest req;
    req.recording = recording.string();
    req.outputFolder = out.string();
    req.format = c.format;
    req.singleFile = c.singleFile;
    req.burnIn = c.burnIn;
    req.timeTrack = !c.burnIn;
    const auto t0 = std::chrono::steady_clock::now();
    const vedra::RangeExportResult r = vedra::RunRangeExport(req, nullptr, {});
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (r.status != vedra::RangeExportStatus::Done) {
        std::fprintf(stderr, "bench_burn_in: export failed: %s\n", r.error.c_str());
        std::exit(1);
    }
    codec = r.files.empty() || r.files[0].videoCodec.empty() ? "stream copy" : r.files[0].videoCodec;
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    bench::Options o;
    o.dir = fs::temp_directory_path() / "vedra-bench-burn-in";
    o.rounds = 1;
    int seconds = 60, fps = 25;
    for (int i = 1; i < argc; ++i) {
        if (bench::commonOption(argc, argv, i, o))
            continue;
        const std::string a = argv[i];
        if ((a == "--seconds" || a == "--fps") && i + 1 < argc) {
            (a == "--seconds" ? seconds : fps) = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: bench_burn_in [--seconds S (60)] [--fps N (25)] [--rounds N (1)] [--dir DIR] "
                                 "[--keep]\n");
            return 2;
        }
    }
    fs::create_directories(o.dir);
    const fs::path recording = o.dir / "four.krv";
    bench::timedOrDie({KRVSYNTH_PATH, recording.string(), "--size", "640x480", "--seconds", std::to_string(seconds),
                       "--fps", std::to_string(fps)});
    const Contender contenders[] = {
        {"stream copy, mkv, one file", vedra::ExportFormat::Mkv, true, false},
        {"burn-in, mkv, one file", vedra::ExportFormat::Mkv, true, true},
        {"burn-in, avi, a file a camera", vedra::ExportFormat::Avi, false, true},
    };
    std::printf("burn-in of %d s of four 640x480 cameras at %d fps (%.1f MB), median of %d:\n", seconds, fps,
                double(fs::file_size(recording)) / 1e6, o.rounds);
    for (const Contender& c : contenders) {
        std::vector<double> times;
        std::string codec;
        for (int r = 0; r < o.rounds; ++r)
            times.push_back(exportOnce(recording, o.dir / "out", c, codec));
        const double t = bench::median(times);
        std::printf("  %-32s %8.2f s  %7.1fx real time  (%s)\n", c.what, t, double(seconds) / t, codec.c_str());
    }
    if (!o.keep)
        fs::remove_all(o.dir);
    return 0;
}
