// Range export benchmark, run by hand: 60 s of four channels of a long krvsynth
// recording exported to one Matroska file, side by side with
// `ffmpeg -ss -to -c copy` of the same range (ffmpeg's ASF reader sees only
// the first channel, so the comparison is per channel), then the peak memory
// of `krvtool export` on a 50 MB and a 200 MB recording (it must not grow with
// the file).
//
//   bench_export [--mb N] [--seconds S] [--rounds N] [--dir DIR] [--keep]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_process.h"
#include "krv/krv_reader.h"
#include "krv/krv_time.h"
#include "range_export.h"

namespace fs = std::filesystem;

namespace {

struct Contender {
    const char* what;
    std::vector<int> channels;
    bool audio;
    bool hashSource;
};

double exportInProcess(const fs::path& recording, const fs::path& out, int64_t fromMs, int64_t toMs, const Contender& c)
{
    fs::remove_all(out);
    vedra::RangeExportRequest req;
    req.recording = recording.string();
    req.outputFolder = out.string();
    req.fromMs = fromMs;
    req.toMs = toMs;
    req.channels = c.channels;
    req.audio = c.audio;
    req.format = vedra::ExportFormat::Mkv;
    req.singleFile = true;
    req.hashSource = c.hashSource;
    const auto t0 = std::chrono::steady_clock::now();
    const vedra::RangeExportResult r = vedra::RunRangeExport(req, nullptr, {});
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (r.status != vedra::RangeExportStatus::Done) {
        std::fprintf(stderr, "bench_export: export failed: %s\n", r.error.c_str());
        std::exit(1);
    }
    return s;
}

std::string secondsArg(int64_t ms)
{
    return std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100);
}

} // namespace

int main(int argc, char** argv)
{
    bench::Options o;
    o.dir = fs::temp_directory_path() / "vedra-bench-export";
    int64_t seconds = 60;
    for (int i = 1; i < argc; ++i) {
        if (bench::commonOption(argc, argv, i, o))
            continue;
        if (std::string(argv[i]) == "--seconds" && i + 1 < argc) {
            seconds = std::max<int64_t>(1, std::atoll(argv[++i]));
        } else {
            std::fprintf(
                stderr,
                "usage: bench_export [--mb N (200)] [--seconds S (60)] [--rounds N (3)] [--dir DIR] [--keep]\n");
            return 2;
        }
    }
    const int rounds = o.rounds;
    const fs::path dir = o.dir;
    const auto [big, small] = bench::makeRecordings(KRVSYNTH_PATH, o);
    const double bigMb = double(fs::file_size(big)) / 1e6;

    // A range from the middle of the recording.
    KrvFilePtr header(krv_open(big.string(), true));
    const int64_t lengthMs =
        header && krv_init(header.get()) > 0 ? int64_t(krv_play_length_ms(header->playDuration, header->preroll)) : 0;
    header.reset();
    const int64_t fromMs = std::max<int64_t>(0, lengthMs / 2 - seconds * 500) / 1000 * 1000;
    const int64_t toMs = fromMs + seconds * 1000;
    const fs::path ffOut = dir / "ffmpeg.mkv";
    const std::vector<std::string> ff = {
        "ffmpeg",     "-y",   "-v",    "error", "-ss",  secondsArg(fromMs), "-to", secondsArg(toMs), "-i",
        big.string(), "-map", "0:v:0", "-c",    "copy", ffOut.string()};
    const fs::path toolOut = dir / "tool";
    const std::vector<std::string> tool = {KRVTOOL_PATH,       "export", big.string(),     toolOut.string(), "--from",
                                           secondsArg(fromMs), "--to",   secondsArg(toMs), "--format",       "mkv",
                                           "--single-file"};
    const Contender contenders[] = {
        {"ours, channel 1 (library)", {1}, false, false},
        {"ours, 4 channels + audio (library)", {}, true, false},
        {"ours, 4 channels + audio + source SHA-256", {}, true, true},
    };

    // One pass of each first, so every contender reads from a warm page cache.
    bench::timedOrDie(ff);
    std::vector<std::vector<double>> ours(std::size(contenders));
    for (const Contender& c : contenders)
        exportInProcess(big, dir / "ours", fromMs, toMs, c);
    std::vector<double> ffmpegs, tools;
    for (int r = 0; r < rounds; ++r) {
        for (size_t k = 0; k < std::size(contenders); ++k)
            ours[k].push_back(exportInProcess(big, dir / "ours", fromMs, toMs, contenders[k]));
        fs::remove(ffOut);
        ffmpegs.push_back(bench::timedOrDie(ff));
        fs::remove_all(toolOut);
        tools.push_back(bench::timedOrDie(tool));
    }
    const double f = bench::median(ffmpegs);
    std::printf(
        "\nexport of %lld s (%s to %s) from %.1f MB (4 channels + audio, 640x480) to Matroska, median of %d rounds:\n",
        (long long)seconds, secondsArg(fromMs).c_str(), secondsArg(toMs).c_str(), bigMb, rounds);
    std::printf("  ffmpeg -ss -to -c copy, channel 1        %8.3f s\n", f);
    for (size_t k = 0; k < std::size(contenders); ++k) {
        const double o = bench::median(ours[k]);
        const size_t n = contenders[k].channels.empty() ? 4 : contenders[k].channels.size();
        std::printf("  %-40s %8.3f s  ratio per channel %5.2f\n", contenders[k].what, o, o / (double(n) * f));
    }
    const double t = bench::median(tools);
    std::printf("  %-40s %8.3f s  ratio per channel %5.2f\n", "krvtool export (whole process)", t, t / (4 * f));
    std::printf("  (target: ratio at most 1.0)\n");

    std::printf("\npeak memory of krvtool export:\n");
    long rss[2] = {0, 0};
    const fs::path inputs[2] = {small, big};
    for (int i = 0; i < 2; ++i) {
        const fs::path out = dir / ("rss" + std::to_string(i));
        fs::remove_all(out);
        std::vector<std::string> argv = tool;
        argv[2] = inputs[i].string();
        argv[3] = out.string();
        if (i == 0) {
            // the same range, from the middle of the smaller recording
            const int64_t smallFrom = std::max<int64_t>(0, fromMs / 4 / 1000 * 1000);
            argv[5] = secondsArg(smallFrom);
            argv[7] = secondsArg(smallFrom + seconds * 1000);
        }
        bench::RunResult r = bench::runChild(argv);
        if (r.status != 0) {
            std::fprintf(stderr, "bench_export: krvtool export failed (status %d)\n", r.status);
            return 1;
        }
        rss[i] = r.maxRssKb;
        std::printf("  %7.1f MB recording: max RSS %6ld KB\n", double(fs::file_size(inputs[i])) / 1e6, r.maxRssKb);
    }
    std::printf("  ratio %.2f for a 4x larger file (target: about 1)\n", double(rss[1]) / double(rss[0]));

    if (!o.keep)
        fs::remove_all(dir);
    return 0;
}
