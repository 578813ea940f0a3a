// Folder timeline benchmark, run by hand, on a folder of 24 one-hour krvsynth
// recordings (four 160x128 cameras at 5 fps, a half-hour gap after the
// twelfth, an object crossing camera 1 every minute):
//  1. the folder archive indexing them in the background, then opening the
//     folder again from the catalog (the whole answer, in ms);
//  2. the timeline drawn from what the catalog gave (goal: under 100 ms),
//     then zoomed about a point down to a minute and panned, a paint per
//     step (goal: under 16 ms a paint, 60 frames a second);
//  3. thumbnails: the first picture of an instant at the end of an hour
//     (goal: 400 ms) and one of the same minute afterwards (goal: 150 ms),
//     then an instant every two minutes of the whole day hovered: the
//     cache's bytes and the process's resident memory stay flat.
//
//   bench_folder_timeline [--dir DIR] [--keep]
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_process.h"
#include "engine/folder_archive.h"
#include "engine/thumbnail_source.h"
#include "view/folder_timeline.h"

namespace fs = std::filesystem;

namespace {

using namespace vedra;

constexpr long long kDayStart = 1767225600; // 2026-01-01 00:00 UTC
constexpr int kHours = 24;
constexpr int kGapAfter = 12;

// Runs the event loop until `done`, sleeping while nothing comes.
template <typename Done>
void spin(Done done)
{
    QTimer tick;
    tick.start(20);
    while (!done())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long residentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

double msSince(const QElapsedTimer& clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    bench::Options options;
    for (int i = 1; i < argc; ++i)
        if (!bench::commonOption(argc, argv, i, options)) {
            std::fprintf(stderr, "usage: bench_folder_timeline [--dir DIR] [--keep]\n");
            return 2;
        }
    if (options.dir.empty())
        options.dir = fs::temp_directory_path() / "bench_folder_timeline";
    const fs::path folder = options.dir / "day";
    fs::create_directories(folder);
    QApplication app(argc, argv);

    for (int h = 0; h < kHours; ++h) {
        const fs::path rec = folder / ("hour_" + std::to_string(100 + h).substr(1) + ".krv");
        const long long start = kDayStart + h * 3600 + (h >= kGapAfter ? 1800 : 0);
        if (!fs::exists(rec))
            bench::timedOrDie({KRVSYNTH_PATH, rec.string(), "--channels", "1,2,3,4",         "--size",
                               "160x128",     "--fps",      "5",          "--seconds",       "60",
                               "--repeat",    "60",         "--no-audio", "--still-scene",   "--sensor-noise",
                               "4",           "--object",   "1:15:20-24", "--creation-date", std::to_string(start)});
    }
    const fs::path catalog = options.dir / "catalog.sqlite";

    std::printf("1. folder archive, %d one-hour recordings (%.0f MB)\n", kHours,
                kHours * double(fs::file_size(folder / "hour_00.krv")) / 1e6);
    {
        FolderArchive archive(catalog);
        QElapsedTimer clock;
        clock.start();
        const double cpu = cpuSeconds();
        double firstShown = -1;
        archive.Open(folder.string(), [&](const ArchiveProgress&) {
            if (firstShown < 0 && !archive.recordings().empty())
                firstShown = msSince(clock);
        });
        spin([&] { return archive.finished(); });
        std::printf("   indexed in the background: first on the strip after %.0f ms, all after %.2f s, "
                    "%.2f cores meanwhile (goal: under one)\n",
                    firstShown, msSince(clock) / 1000, (cpuSeconds() - cpu) / (msSince(clock) / 1000));
    }
    FolderArchive archive(catalog);
    QElapsedTimer clock;
    clock.start();
    archive.Open(folder.string(), nullptr);
    spin([&] { return archive.finished(); });
    std::printf("   again from the catalog: %.1f ms for %zu recordings\n", msSince(clock), archive.recordings().size());

    FolderTimeline timeline;
    timeline.resize(1000, 72);
    clock.restart();
    timeline.SetRecordings(archive.recordings());
    timeline.SetPosition(archive.recordings()[5].firstMs + 20 * 60000);
    timeline.grab();
    std::printf("2. timeline: first drawn in %.2f ms (goal < 100 ms)\n", msSince(clock));
    const int x = int(timeline.axis().XAt(archive.recordings()[5].firstMs + 20 * 60000));
    std::vector<double> paints;
    TimelineAxis a = timeline.axis();
    for (int step = 0; step < 400; ++step) {
        a = step < 60    ? ZoomedAbout(a, x, 1.2, timeline.wholeStart(), timeline.wholeEnd())
            : step < 120 ? ZoomedAbout(a, x, 1 / 1.2, timeline.wholeStart(), timeline.wholeEnd())
                         : Panned(a, step % 40 < 20 ? 15 : -15, timeline.wholeStart(), timeline.wholeEnd());
        timeline.SetAxis(a);
        clock.restart();
        timeline.grab();
        paints.push_back(msSince(clock));
    }
    std::sort(paints.begin(), paints.end());
    std::printf("   zoom and pan, %zu paints: median %.2f ms, 95th %.2f ms, worst %.2f ms (goal < 16 ms)\n",
                paints.size(), paints[paints.size() / 2], paints[paints.size() * 95 / 100], paints.back());

    std::vector<double> answered;
    ThumbnailSource thumbnails(
        [&](const std::string&, int, uint32_t, const QImage&) { answered.push_back(msSince(clock)); });
    const std::string hour = archive.recordings()[3].path;
    clock.restart();
    if (!thumbnails.Request(hour, 1, 3590000))
        spin([&] { return !answered.empty(); });
    const double first = answered.empty() ? 0 : answered[0];
    QElapsedTimer wait;
    wait.start();
    spin([&] { return wait.elapsed() > 500; });
    clock.restart();
    double again = 0;
    if (thumbnails.Request(hour, 1, 3570000)) {
        again = msSince(clock);
    } else {
        const size_t before = answered.size();
        spin([&] { return answered.size() > before; });
        again = answered.back();
    }
    std::printf("3. thumbnails: first at 59:50 of an hour %.1f ms (goal 400 ms), the same minute again %.2f ms "
                "(goal 150 ms)\n",
                first, again);
    // Hovering the whole day: an instant every two minutes, each answered before the next.
    const long startKb = residentKb();
    size_t most = 0;
    const size_t hours = archive.recordings().size();
    for (size_t i = 0; i < 2 * hours; ++i) {
        for (uint32_t t = (i / hours) * 60000; t < 3600000; t += 120000) {
            const size_t before = answered.size();
            if (!thumbnails.Request(archive.recordings()[i % hours].path, 1 + int(i % 4), t))
                spin([&] { return answered.size() > before; });
            most = std::max(most, thumbnails.cache().bytes());
        }
        if (i == 5 || i + 1 == hours || i + 1 == 2 * hours)
            std::printf(
                "   after %2zu hours hovered: cache %.1f MiB (at most %.1f, bound %.0f MiB), resident %+.1f MiB\n",
                i + 1, thumbnails.cache().bytes() / 1048576.0, most / 1048576.0, thumbnails.cache().limit() / 1048576.0,
                (residentKb() - startKb) / 1024.0);
    }
    if (!options.keep)
        fs::remove_all(options.dir);
    return 0;
}
