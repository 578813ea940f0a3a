// Play-through benchmark: a folder of consecutive krvsynth recordings (four channels, 2 s each,
// 1 s apart) played through by the window on the engine, offscreen. Prints, for each change,
// the time from the last frame of one recording running out to the first frame of the next on
// pane 1 (goal: at most 300 ms), their distribution, and the CPU the player took meanwhile in
// cores (goal: under one core while the next one is prepared), the longest wait between two
// frames of one recording (what preparing the next one costs the one playing), and the player's
// resident memory after the first change and after the last (goal: flat however long the chain).
//
//   bench_play_through [--changes N]     (default: 20)
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "resources/resource_ids.h"
#include "shell/VedraPlayerDlg.h"
#include "shell/engine_setup.h"
#include "shell/message_box.h"
#include "view/video_pane.h"

namespace {

using namespace vedra;

constexpr qint64 kFrameMs = 100; // 10 frames a second

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Resident memory in MiB.
double ResidentMiB()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1048576.0);
}

} // namespace

int main(int argc, char** argv)
{
    int changes = 20;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--changes") == 0)
            changes = std::max(1, std::atoi(argv[++i]));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        qputenv(name, home.filePath(name).toUtf8());
    QDir().mkpath(home.filePath("XDG_RUNTIME_DIR"));
    QFile::setPermissions(home.filePath("XDG_RUNTIME_DIR"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QApplication app(argc, argv);
    SetMessageBoxHook([](const std::string& text, const std::string&, void*) {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    });

    const QString folder = home.filePath("rec");
    QDir().mkpath(folder);
    QDir().mkpath(home.filePath("prog"));
    QFile::copy(QStringLiteral(SAMPLE_PATH), home.filePath("prog/test.krv"));
    for (int i = 0; i <= changes; ++i) {
        QProcess synth;
        synth.start(QStringLiteral(KRVSYNTH_PATH),
                    {QString("%1/r%2.krv").arg(folder).arg(i, 3, 10, QChar('0')), "--seconds", "2", "--fps", "10",
                     "--creation-date", QString::number(1796665711 + 3 * i)});
        if (!synth.waitForFinished(60000) || synth.exitCode() != 0) {
            std::fprintf(stderr, "krvsynth failed\n");
            return 1;
        }
    }

    CVedraPlayerDlg dialog;
    SetUpEngine(dialog);
    dialog.programFolder = home.filePath("prog").toStdString();
    if (!dialog.OnInitDialog())
        return 1;
    dialog.show();
    dialog.TogglePlayThrough();
    dialog.OnDropFiles({folder + "/r000.krv"});

    std::vector<double> times;
    double longestWithin = 0; // ms between two frames of one recording, beyond the frame time
    double residentAfterFirst = 0;
    double residentAfterThird = 0; // a third of the way: after the allocators' warm-up
    QString file;
    qint64 lastFrameAt = 0;
    qint64 lastTime = -1;
    QElapsedTimer wall;
    wall.start();
    const double cpuFrom = CpuSeconds();
    while (static_cast<int>(times.size()) < changes && wall.elapsed() < (changes + 1) * 6000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        usleep(2000); // the watch itself takes no core
        const int current = dialog.files().currentFile();
        const qint64 t = dialog.pane(IDC_PANE_1)->pictureTime();
        const QString now = current < 0 ? QString() : dialog.files().filePath(current);
        if (t < 0 || (t == lastTime && now == file))
            continue;
        if (!file.isEmpty() && now != file) {
            times.push_back(static_cast<double>(wall.elapsed() - lastFrameAt - kFrameMs));
            if (times.size() == 1)
                residentAfterFirst = ResidentMiB();
            if (times.size() == static_cast<size_t>(std::max(1, changes / 3)))
                residentAfterThird = ResidentMiB();
        } else if (!file.isEmpty() && t > lastTime) {
            longestWithin =
                std::max(longestWithin, static_cast<double>(wall.elapsed() - lastFrameAt) - (t - lastTime) / 1e6);
        }
        file = now;
        lastTime = t;
        lastFrameAt = wall.elapsed();
    }
    const double cores = (CpuSeconds() - cpuFrom) / (wall.elapsed() / 1000.0);
    if (times.empty()) {
        std::fprintf(stderr, "no change seen\n");
        return 1;
    }
    std::printf("changes (ms, last frame over to the first of the next):");
    for (double t : times)
        std::printf(" %.0f", t);
    std::sort(times.begin(), times.end());
    std::printf("\nmin %.0f  median %.0f  p90 %.0f  max %.0f ms over %zu changes (goal: max <= 300)\n", times.front(),
                times[times.size() / 2], times[times.size() * 9 / 10], times.back(), times.size());
    std::printf("player CPU while playing through: %.2f cores (goal: < 1)\n", cores);
    std::printf("longest wait between two frames of one recording, beyond their own spacing: %.0f ms\n", longestWithin);
    std::printf("resident memory: %.1f MiB after the first change, %.1f after change %d, %.1f after change %zu\n",
                residentAfterFirst, residentAfterThird, std::max(1, changes / 3), ResidentMiB(), times.size());
    return times.back() <= 300 && cores < 1 ? 0 : 2;
}
