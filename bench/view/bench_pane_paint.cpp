// Pane painting benchmark: four quad view panes showing 25 frames a second, painted the way
// the player paints them (letterboxed, the time overlay on, zoomed), next to the reference: a
// pane drawing a frame of its own inside size to fill it, as panes painted before letterboxing
// and zoom. Prints the CPU time of one paint, the share of one core four panes at 25 frames a
// second take, and the ratio to the reference (goal: four unzoomed panes with the time overlay
// within one percent of a core of the reference; zoomed panes, smoothed, within five).
//
//   bench_pane_paint [--frames N]     (default: 2000 paints of each pane)
#include <sys/resource.h>

#include <QApplication>
#include <QDateTime>
#include <QPainter>
#include <QWindow>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "view/video_pane.h"

namespace {

using namespace vedra;

// The quad view's pane inside its one-pixel border, and a 4:3 camera fitted into it.
const QSize kQuadInside(328, 244);
const QSize kFitted(326, 244);
const QSize kVga(640, 480);
const QSize kCif(352, 288);
constexpr int kPanes = 4;
constexpr int kFramesPerSecond = 25;

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Two frames that differ, so nothing is cached between paints.
std::vector<QImage> Frames(QSize size)
{
    std::vector<QImage> frames;
    for (int k = 0; k < 2; ++k) {
        QImage image(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < size.width(); ++x)
                row[x] = qRgb((x + k * 40) & 0xff, (y * 2) & 0xff, (x ^ y) & 0xff);
        }
        frames.push_back(image);
    }
    return frames;
}

// The reference: the frame drawn over the pane's whole inside.
class FillingPane : public QFrame {
public:
    explicit FillingPane(QWidget* parent) : QFrame(parent)
    {
        setFrameShape(QFrame::Box);
        setLineWidth(1);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    QImage image;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        {
            QPainter painter(this);
            painter.drawImage(contentsRect(), image);
        }
        QFrame::paintEvent(event);
    }
};

// CPU milliseconds of one paint of one pane, over `count` rounds of all panes.
double MsPerPaint(const std::vector<QWidget*>& panes, const std::function<void(int pane, int round)>& show, int count)
{
    const double start = CpuSeconds();
    for (int round = 0; round < count; ++round)
        for (size_t p = 0; p < panes.size(); ++p) {
            show(static_cast<int>(p), round);
            panes[p]->repaint();
        }
    return (CpuSeconds() - start) * 1000.0 / (count * static_cast<double>(panes.size()));
}

struct Case {
    const char* name;
    QSize frame;
    QSize shape; // the camera's picture
    double zoom; // 1: not zoomed
    bool overlay;
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int count = 2000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--frames") == 0)
            count = std::max(10, std::atoi(argv[i + 1]));
    QApplication app(argc, argv);
    QWidget window;
    window.resize(2 * kQuadInside.width() + 10, 2 * kQuadInside.height() + 10);

    std::vector<QWidget*> reference;
    for (int p = 0; p < kPanes; ++p) {
        auto* pane = new FillingPane(&window);
        pane->setGeometry((p % 2) * (kQuadInside.width() + 4), (p / 2) * (kQuadInside.height() + 4),
                          kQuadInside.width() + 2, kQuadInside.height() + 2);
        reference.push_back(pane);
    }
    window.show();
    // Widgets of a window not yet on screen paint nothing.
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        app.processEvents();
    const std::vector<QImage> paneSized = Frames(kQuadInside);
    const double referenceMs = MsPerPaint(
        reference, [&](int p, int round) { static_cast<FillingPane*>(reference[p])->image = paneSized[round % 2]; },
        count);
    for (QWidget* pane : reference)
        pane->hide();

    std::vector<CVideoPane*> panes;
    for (int p = 0; p < kPanes; ++p) {
        auto* pane = new CVideoPane(CVideoPane::Style::kBordered, &window);
        pane->setGeometry(reference[p]->geometry());
        pane->show();
        panes.push_back(pane);
    }
    const qint64 start = QDateTime::currentMSecsSinceEpoch();
    const auto timeOfDay = [start](qint64 ns) {
        return QDateTime::fromMSecsSinceEpoch(start + ns / 1'000'000).toString("yyyy-MM-dd hh:mm:ss.zzz");
    };

    std::printf("pane paint, %d panes of %dx%d at %d frames a second, %d paints each\n", kPanes, kQuadInside.width(),
                kQuadInside.height(), kFramesPerSecond, count);
    std::printf("%-58s %8s %10s %7s\n", "", "ms/paint", "% of core", "ratio");
    const auto print = [&](const char* name, double ms) {
        std::printf("%-58s %8.3f %9.1f%% %6.2fx\n", name, ms, ms * kPanes * kFramesPerSecond / 10.0, ms / referenceMs);
    };
    print("reference: pane-size frame drawn to fill", referenceMs);
    for (const Case& c : {
             Case{"letterboxed, fitted frame, overlay off", kFitted, kVga, 1, false},
             Case{"letterboxed, fitted frame, time overlay", kFitted, kVga, 1, true},
             Case{"zoomed 2x, frame at 2x the pane", kFitted * 2, kVga, 2, true},
             Case{"zoomed 4x, the camera's own 640x480 (smoothed)", kVga, kVga, 4, true},
             Case{"zoomed 4x, a CIF camera's own 352x288 (smoothed)", kCif, kCif, 4, true},
         }) {
        const std::vector<QImage> frames = Frames(c.frame);
        for (CVideoPane* pane : panes) {
            pane->HidePicture();
            pane->SetTimeText(c.overlay ? std::function<QString(qint64)>(timeOfDay) : nullptr);
            pane->ShowPicture(frames[0], {}, 0, c.shape);
            if (c.zoom > 1)
                pane->ZoomAt(QPointF(pane->contentsRect().center()), c.zoom);
        }
        const double ms = MsPerPaint(
            {panes.begin(), panes.end()},
            [&](int p, int round) { panes[p]->ShowPicture(frames[round % 2], {}, round * 40'000'000LL, c.shape); },
            count);
        print(c.name, ms);
    }
    return 0;
}
