// Playback benchmark: four 640 x 480 channels of a krvsynth recording rendered
// by four CDXGraphs into counting frame sinks, in real time, next to
// gst-launch-1.0 decoding the same four files to fakesink. The sinks ask for
// the quad view's pane size in BGRx, as the player's panes do; a second run at
// the stream's own size in RGB (a pane asking for nothing) is the reference.
// A JPEG snapshot of every channel is taken halfway through the pane-size run.
// Prints the frames delivered per channel against the frames the files hold,
// the CPU seconds of every run and the ratios (goal: every frame, and at most
// 1.3 x decode-only CPU for the pane-size run).
//
// The window path: the same four channels, and four CIF channels, played by the
// view's engine graphs into the quad view's four panes of a window (the offscreen
// platform without a display, else a real window), painted as the player paints
// them; CPU against gst-launch-1.0 decoding the same files (goals: 1.5 x for
// 640 x 480, 1.3 x for CIF).
//
// Then the channels' step: the four channels and the audio of the recording
// (channel 3 starting late, so its file is rebased apart from the others) are
// cued and started on the shared clock as the player's deck does it, after
// loading, after seeks while playing (a snapshot of every channel after the
// first) and after Pause then Play; at 50 instants
// it prints the largest gap between the frames the four panes hold and between
// the audio's position and the video's (goal: at most one frame, 40 ms).
//
//   bench_playback [--seconds S] [--fps N]     (defaults: 20 s, 25 frames a second)
//   bench_playback --only window-cif [...]     (the CIF window run alone, to profile it)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include "cdxgraph.h"
#include "counting_frame_sink.h"
#include "krv/krv_convert.h"
#include "krv_frame_reader.h"
#include "shared_clock.h"
#include "view/engine_graph.h"
#include "view/video_pane.h"

namespace {

namespace fs = std::filesystem;
using namespace vedra;

// The quad view's pane: a quarter of the video area, inside its frame, the picture fitted.
constexpr FrameRequest kQuadPane{.pixels = FramePixels::Bgrx, .width = 328, .height = 244, .fit = true};

// Counts the channels whose end of stream has been announced.
class EndCounter : public INotifyTarget {
public:
    void PostMessage(uint32_t, intptr_t param) override
    {
        std::lock_guard lock(mutex_);
        if (param >= 0 && param < 4 && !ended_[param]) {
            ended_[param] = true;
            ++count_;
        }
    }
    int count()
    {
        std::lock_guard lock(mutex_);
        return count_;
    }

private:
    std::mutex mutex_;
    bool ended_[4] = {};
    int count_ = 0;
};

double CpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long FramesIn(const std::string& channel)
{
    KrvFrameReader reader;
    if (reader.Open(channel) < 0)
        return -1;
    long n = 0;
    KrvFrame f;
    while (reader.Next(f) > 0)
        ++n;
    return n;
}

// CPU seconds of gst-launch-1.0 decoding the files to clock-synchronised fakesinks.
// With `toRgb` the decoded frames are also converted to RGB, as painting needs them; with
// `oneThread` each decoder runs on its streaming thread alone, as the player's graphs run them.
double ReferenceCpu(const std::vector<std::string>& files, bool toRgb, double& wall, bool oneThread = false)
{
    std::vector<std::string> words = {"gst-launch-1.0", "-q"};
    for (const std::string& f : files) {
        const std::string location = "location=" + f;
        for (const char* w : {"filesrc", location.c_str(), "!", "asfdemux", "!", "avdec_mpeg4"})
            words.emplace_back(w);
        if (oneThread)
            words.emplace_back("max-threads=1");
        words.emplace_back("!");
        if (toRgb)
            for (const char* w : {"videoconvert", "!", "video/x-raw,format=RGB", "!"})
                words.emplace_back(w);
        for (const char* w : {"fakesink", "sync=true"})
            words.emplace_back(w);
    }
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    const double before = CpuSeconds(RUSAGE_CHILDREN);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return CpuSeconds(RUSAGE_CHILDREN) - before;
}

struct EngineRun {
    bool ok = false;
    double cpu = 0;
    double wall = 0;
    long delivered[4] = {};
};

// Four graphs, as the quad view plays them, until every channel has ended. With a snapshot
// folder, every channel takes a JPEG snapshot halfway through.
EngineRun RunEngine(const std::vector<std::string>& files, const FrameRequest& request, int seconds,
                    const fs::path& snapshots = {})
{
    EngineRun run;
    CDXGraph graphs[4];
    CountingFrameSink sinks[4] = {CountingFrameSink(request, false), CountingFrameSink(request, false),
                                  CountingFrameSink(request, false), CountingFrameSink(request, false)};
    EndCounter ends;
    for (int i = 0; i < 4; ++i) {
        if (!graphs[i].Create(nullptr) || !graphs[i].RenderMediaFile(files[static_cast<size_t>(i)], true)) {
            std::fprintf(stderr, "channel %d does not render\n", i + 1);
            return run;
        }
        graphs[i].AttachToPane(&sinks[i]);
        graphs[i].SetNotifyWindow(&ends, MsgGraphNotify, i);
    }
    const double cpuBefore = CpuSeconds(RUSAGE_SELF);
    const auto start = std::chrono::steady_clock::now();
    for (CDXGraph& g : graphs)
        g.Run();
    // Until every channel has announced its end, or a generous limit.
    bool snapped = snapshots.empty();
    while (ends.count() < 4 && std::chrono::steady_clock::now() - start < std::chrono::seconds(seconds * 2 + 10)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!snapped && std::chrono::steady_clock::now() - start > std::chrono::milliseconds(seconds * 500)) {
            for (int i = 0; i < 4; ++i)
                graphs[i].RequestJpegSnapshot((snapshots / ("snap" + std::to_string(i + 1) + ".jpg")).string());
            snapped = true;
        }
    }
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.cpu = CpuSeconds(RUSAGE_SELF) - cpuBefore;
    for (int i = 0; i < 4; ++i)
        run.delivered[i] = sinks[i].frames();
    for (CDXGraph& g : graphs)
        g.Destroy();
    run.ok = true;
    return run;
}

// Counts the paints of a pane: the frames the window showed.
class PaintCounter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
    long paints = 0;
};

// The window path: four panes of the quad view (328 x 244 inside a one-pixel frame) in one
// window, each painted by the view's engine graph as the player's deck attaches them.
EngineRun RunWindow(const std::vector<std::string>& files, int seconds)
{
    EngineRun run;
    QWidget window;
    window.resize(660, 492);
    CVideoPane* panes[4];
    PaintCounter counters[4];
    std::unique_ptr<PlaybackGraph> graphs[4];
    EndCounter ends;
    for (int i = 0; i < 4; ++i) {
        panes[i] = new CVideoPane(CVideoPane::Style::kBordered, &window);
        panes[i]->setGeometry((i % 2) * 330, (i / 2) * 246, 330, 246);
        panes[i]->installEventFilter(&counters[i]);
    }
    window.show();
    QApplication::processEvents();
    for (int i = 0; i < 4; ++i) {
        graphs[i] = MakeEngineGraph();
        if (!graphs[i]->Create(&window) || !graphs[i]->RenderMediaFile(files[static_cast<size_t>(i)], true)) {
            std::fprintf(stderr, "channel %d does not render\n", i + 1);
            return run;
        }
        graphs[i]->AttachToPane(panes[i]);
        graphs[i]->SetNotifyWindow(&ends, MsgGraphNotify, i);
    }
    QApplication::processEvents();
    for (PaintCounter& c : counters)
        c.paints = 0;
    const double cpuBefore = CpuSeconds(RUSAGE_SELF);
    const auto start = std::chrono::steady_clock::now();
    for (auto& g : graphs)
        g->Run();
    // The GUI thread sleeps in its event loop between frames, as the player's does.
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (ends.count() >= 4 || std::chrono::steady_clock::now() - start > std::chrono::seconds(seconds * 2 + 10))
            loop.quit();
    });
    check.start(20);
    loop.exec();
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.cpu = CpuSeconds(RUSAGE_SELF) - cpuBefore;
    for (int i = 0; i < 4; ++i)
        run.delivered[i] = counters[i].paints;
    for (auto& g : graphs)
        g->Destroy();
    run.ok = true;
    return run;
}

// Cues every graph at t, then starts them all with one base time, as the deck does.
void StartTogether(const std::vector<CDXGraph*>& graphs, double t)
{
    for (CDXGraph* g : graphs)
        g->Cue(t);
    const GstClockTime base = NextBaseTime();
    for (CDXGraph* g : graphs)
        g->RunAt(base);
}

struct Spread {
    double video = 0; // largest gap between the frames the panes hold, seconds
    double audio = 0; // largest gap between the audio's position and the video's
    int samples = 0;
    int together = 0; // instants at which all four held frames of one time
};

// Samples `count` instants `every` apart; the first one after `settle`.
void Sample(CDXGraph* audio, CDXGraph* video, CountingFrameSink* sinks, int count, std::chrono::milliseconds every,
            Spread& spread)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (int n = 0; n < count; ++n) {
        GstClockTime lo = GST_CLOCK_TIME_NONE, hi = 0;
        for (int i = 0; i < 4; ++i) {
            const GstClockTime pts = sinks[i].lastPts();
            if (!GST_CLOCK_TIME_IS_VALID(pts))
                continue;
            lo = std::min(lo, pts);
            hi = std::max(hi, pts);
        }
        if (GST_CLOCK_TIME_IS_VALID(lo)) {
            spread.video = std::max(spread.video, static_cast<double>(hi - lo) / GST_SECOND);
            spread.together += hi == lo ? 1 : 0;
        }
        if (audio)
            spread.audio = std::max(spread.audio, std::abs(audio->GetPositionSeconds() - video->GetPositionSeconds()));
        ++spread.samples;
        std::this_thread::sleep_for(every);
    }
}

// The channel files of a split, channels 1 to 4.
std::vector<std::string> ChannelFiles(const KrvSplitFiles& written)
{
    std::vector<std::string> files;
    for (const KrvSplitFile& file : written.files)
        if (file.output > 0)
            files.push_back(file.path);
    return files;
}

// The four channels and the audio on the recording's timeline, started and moved together;
// every channel takes a JPEG snapshot into `snapshots` after the first seek.
Spread MeasureStep(const KrvSplitFiles& written, double duration, const fs::path& snapshots)
{
    Spread spread;
    CDXGraph graphs[4];
    CDXGraph audio;
    CountingFrameSink sinks[4] = {CountingFrameSink(kQuadPane, false), CountingFrameSink(kQuadPane, false),
                                  CountingFrameSink(kQuadPane, false), CountingFrameSink(kQuadPane, false)};
    std::vector<CDXGraph*> group;
    for (int i = 0; i < 4; ++i) {
        const KrvSplitFile* file = krv_split_file(written, static_cast<size_t>(i + 1));
        graphs[i].Create(nullptr);
        if (!file)
            return spread;
        graphs[i].SetTimeOffset(static_cast<double>(file->offsetMs) / 1000.0);
        if (!graphs[i].RenderMediaFile(file->path, true))
            return spread;
        graphs[i].AttachToPane(&sinks[i]);
        group.push_back(&graphs[i]);
    }
    const KrvSplitFile* audioFile = krv_split_file(written, 0);
    audio.Create(nullptr);
    if (audioFile)
        audio.SetTimeOffset(static_cast<double>(audioFile->offsetMs) / 1000.0);
    const bool haveAudio = audioFile && audio.RenderMediaFile(audioFile->path, true);
    if (haveAudio)
        group.push_back(&audio);
    CDXGraph* heard = haveAudio ? &audio : nullptr;
    using std::chrono::milliseconds;
    StartTogether(group, 0); // after loading
    Sample(heard, &graphs[0], sinks, 10, milliseconds(100), spread);
    for (double at : {duration * 0.6, duration * 0.2, duration * 0.4}) { // seeks while playing
        StartTogether(group, at);
        if (at == duration * 0.6)
            for (int i = 0; i < 4; ++i)
                graphs[i].RequestJpegSnapshot((snapshots / ("step" + std::to_string(i + 1) + ".jpg")).string());
        Sample(heard, &graphs[0], sinks, 10, milliseconds(100), spread);
    }
    for (CDXGraph* g : group) // Pause, every graph to the time shown, Play
        g->Pause();
    const double t = graphs[0].GetPositionSeconds();
    for (CDXGraph* g : group)
        g->SeekTo(t);
    std::this_thread::sleep_for(milliseconds(200));
    StartTogether(group, t);
    Sample(heard, &graphs[0], sinks, 10, milliseconds(100), spread);
    for (CDXGraph* g : group)
        g->Destroy();
    return spread;
}

struct FastRun {
    double cpu = 0;
    double wall = 0;
    double media = 0; // seconds of the recording shown
    Spread spread;
};

// Four channels at `rate`, started together, sampled while they play.
FastRun MeasureSpeed(const std::vector<std::string>& files, double rate, double seconds)
{
    FastRun run;
    CDXGraph graphs[4];
    CountingFrameSink sinks[4] = {CountingFrameSink(kQuadPane, false), CountingFrameSink(kQuadPane, false),
                                  CountingFrameSink(kQuadPane, false), CountingFrameSink(kQuadPane, false)};
    std::vector<CDXGraph*> group;
    for (int i = 0; i < 4; ++i) {
        graphs[i].Create(nullptr);
        graphs[i].SetTimeOffset(0);
        if (!graphs[i].RenderMediaFile(files[static_cast<size_t>(i)], true))
            return run;
        graphs[i].AttachToPane(&sinks[i]);
        graphs[i].SetRate(rate);
        group.push_back(&graphs[i]);
    }
    const double cpuBefore = CpuSeconds(RUSAGE_SELF);
    const auto start = std::chrono::steady_clock::now();
    StartTogether(group, 0);
    const int samples = static_cast<int>(seconds * 10);
    Sample(nullptr, &graphs[0], sinks, samples, std::chrono::milliseconds(100), run.spread);
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.cpu = CpuSeconds(RUSAGE_SELF) - cpuBefore;
    run.media = graphs[0].GetPositionSeconds();
    for (CDXGraph* g : group)
        g->Destroy();
    return run;
}

// The window with four CIF channels beside gst-launch-1.0 decoding them, and the engine's stages
// alone: the panes hidden (decoding and the clock, no pixels), then converted for counting sinks.
void WindowCif(const fs::path& dir, int fps, int seconds)
{
    const std::string cifRecording = (dir / "cif.krv").string();
    const std::string cifSynth = std::string(KRVSYNTH_PATH) + " '" + cifRecording +
                                 "' --channels 1,2,3,4 --size 352x288 --fps " + std::to_string(fps) + " --seconds " +
                                 std::to_string(seconds) + " --gop 25 >/dev/null";
    if (std::system(cifSynth.c_str()) != 0)
        return;
    const KrvConversion cif = krv_convert_recording(cifRecording, false, dir / "work-cif");
    const std::vector<std::string> cifFiles = ChannelFiles(cif.files);
    if (cifFiles.size() != 4)
        return;
    FrameRequest hidden = kQuadPane;
    hidden.hidden = true;
    const EngineRun hiddenRun = RunEngine(cifFiles, hidden, seconds);
    const EngineRun paneRun = RunEngine(cifFiles, kQuadPane, seconds);
    const EngineRun cifWindow = RunWindow(cifFiles, seconds);
    double cifWall = 0;
    const double cifRef = cifWindow.ok ? ReferenceCpu(cifFiles, false, cifWall) : -1;
    if (cifRef <= 0)
        return;
    std::printf("  window CIF:  %6.2f s CPU in %6.2f s, gst-launch %6.2f s: %.2f x decode-only CPU (goal: at "
                "most 1.30); %ld %ld %ld %ld paints\n",
                cifWindow.cpu, cifWindow.wall, cifRef, cifWindow.cpu / cifRef, cifWindow.delivered[0],
                cifWindow.delivered[1], cifWindow.delivered[2], cifWindow.delivered[3]);
    double oneWall = 0;
    const double cifOne = ReferenceCpu(cifFiles, false, oneWall, true);
    if (cifOne > 0)
        std::printf("  window CIF:  %.2f x the CPU of gst-launch decoding with one thread a decoder (%.2f s)\n",
                    cifWindow.cpu / cifOne, cifOne);
    std::printf("  CIF stages:  %.2f x decode-only with the panes hidden, %.2f x converted for the panes (no "
                "window)\n",
                hiddenRun.cpu / cifRef, paneRun.cpu / cifRef);
}

} // namespace

int main(int argc, char** argv)
{
    // The window path paints on the offscreen platform unless there is a display.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int seconds = 20, fps = 25;
    bool cifOnly = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--seconds")
            seconds = std::atoi(argv[i + 1]);
        else if (a == "--fps")
            fps = std::atoi(argv[i + 1]);
        else if (a == "--only")
            cifOnly = std::string(argv[i + 1]) == "window-cif";
    }
    const fs::path dir = fs::temp_directory_path() / ("vedra-bench-playback-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::error_code ec;
    if (cifOnly) {
        WindowCif(dir, fps, seconds);
        fs::remove_all(dir, ec);
        return 0;
    }
    const std::string recording = (dir / "bench.krv").string();
    const std::string synth = std::string(KRVSYNTH_PATH) + " '" + recording +
                              "' --channels 1,2,3,4 --size 640x480 --fps " + std::to_string(fps) + " --seconds " +
                              std::to_string(seconds) + " --gop 25 --late-start 3:7 >/dev/null";
    if (std::system(synth.c_str()) != 0) {
        std::fprintf(stderr, "krvsynth failed\n");
        return 1;
    }
    const KrvConversion c = krv_convert_recording(recording, false, dir / "work");
    if (!c.split) {
        std::fprintf(stderr, "split failed\n");
        return 1;
    }
    const std::vector<std::string> files = ChannelFiles(c.files);

    const Spread step = MeasureStep(c.files, seconds, dir);
    const EngineRun pane = RunEngine(files, kQuadPane, seconds, dir);
    const EngineRun window = RunWindow(files, seconds);
    const EngineRun native = RunEngine(files, FrameRequest{}, seconds);
    if (!pane.ok || !native.ok || !window.ok)
        return 1;

    double refWall = 0, rgbWall = 0;
    const double refCpu = ReferenceCpu(files, false, refWall);
    const double rgbCpu = ReferenceCpu(files, true, rgbWall);
    double oneWall = 0;
    const double oneCpu = ReferenceCpu(files, false, oneWall, true);

    std::printf("playback benchmark: 4 channels 640 x 480, %d frames a second, %d s\n", fps, seconds);
    bool everyFrame = true;
    for (int i = 0; i < 4; ++i) {
        const long want = FramesIn(files[static_cast<size_t>(i)]);
        std::printf("  channel %d: %ld of %ld frames delivered at pane size, %ld at native size%s\n", i + 1,
                    pane.delivered[i], want, native.delivered[i],
                    pane.delivered[i] >= want && native.delivered[i] >= want ? "" : "  (DROPS)");
        everyFrame = everyFrame && pane.delivered[i] >= want && native.delivered[i] >= want;
    }
    int snapshots = 0;
    for (int i = 1; i <= 4; ++i)
        snapshots += fs::is_regular_file(dir / ("snap" + std::to_string(i) + ".jpg")) ? 1 : 0;
    std::printf("  snapshot:    %d of 4 JPEG snapshots written halfway through the pane-size run\n", snapshots);
    std::printf("  window:      %ld %ld %ld %ld paints of the four panes\n", window.delivered[0], window.delivered[1],
                window.delivered[2], window.delivered[3]);
    std::printf("  window:      %6.2f s CPU in %6.2f s (four quad panes of a window, %s platform)\n", window.cpu,
                window.wall, qPrintable(QApplication::platformName()));
    std::printf(
        "  engine:      %6.2f s CPU in %6.2f s (panes ask for BGRx fitted into %d x %d, the quad view's pane)\n",
        pane.cpu, pane.wall, kQuadPane.width, kQuadPane.height);
    std::printf("  engine:      %6.2f s CPU in %6.2f s (native size 640 x 480 RGB, for reference)\n", native.cpu,
                native.wall);
    std::printf("  gst-launch:  %6.2f s CPU in %6.2f s (decode to fakesink)\n", refCpu, refWall);
    std::printf("  gst-launch:  %6.2f s CPU in %6.2f s (decode and convert to RGB, to fakesink)\n", rgbCpu, rgbWall);
    std::printf("  gst-launch:  %6.2f s CPU in %6.2f s (decode to fakesink, one thread a decoder as the player's)\n",
                oneCpu, oneWall);
    if (refCpu > 0) {
        std::printf("  ratio:       %6.2f x decode-only CPU in the window (goal: at most 1.50)\n", window.cpu / refCpu);
        if (oneCpu > 0)
            std::printf("  ratio:       %6.2f x one-thread decode-only CPU in the window\n", window.cpu / oneCpu);
        std::printf("  ratio:       %6.2f x decode-only CPU at pane size (goal: at most 1.30)\n", pane.cpu / refCpu);
        std::printf("  ratio:       %6.2f x decode-only CPU at native size\n", native.cpu / refCpu);
    }
    if (rgbCpu > 0)
        std::printf("  ratio:       %6.2f x decode-and-RGB CPU at native size\n", native.cpu / rgbCpu);
    std::printf("  every frame: %s\n", everyFrame ? "yes" : "no");
    std::printf("  step:        %d instants after loading, three seeks and Pause then Play\n", step.samples);
    std::printf("  step:        %6.1f ms largest gap between the four panes' frames (goal: at most %.0f ms); "
                "%d of %d instants on one frame\n",
                step.video * 1000, 1000.0 / fps, step.together, step.samples);
    std::printf("  step:        %6.1f ms largest gap between the audio and the video (goal: at most 40 ms)\n",
                step.audio * 1000);

    WindowCif(dir, fps, seconds);

    // Speed: four CIF channels at 16x (key frames only above 8x) and at 8x (every frame).
    const std::string fastRecording = (dir / "fast.krv").string();
    const std::string fastSynth =
        std::string(KRVSYNTH_PATH) + " '" + fastRecording +
        "' --channels 1,2,3,4 --size 352x288 --fps 25 --seconds 20 --gop 25 --repeat 12 >/dev/null";
    if (std::system(fastSynth.c_str()) == 0) {
        const KrvConversion fast = krv_convert_recording(fastRecording, false, dir / "work-fast");
        const std::vector<std::string> fastFiles = ChannelFiles(fast.files);
        for (double rate : {16.0, 8.0}) {
            const FastRun r = MeasureSpeed(fastFiles, rate, 8);
            std::printf("  speed %2.0fx:   4 CIF channels, %5.1f s of the recording in %5.2f s (%.1fx); CPU %.2f s "
                        "= %.0f%% of one core (goal at 16x: below 100%%); largest gap between the panes %.0f ms of "
                        "the recording, %d of %d instants on one frame\n",
                        rate, r.media, r.wall, r.media / r.wall, r.cpu, 100 * r.cpu / r.wall, r.spread.video * 1000,
                        r.spread.together, r.spread.samples);
        }
    }
    fs::remove_all(dir, ec);
    return 0;
}
