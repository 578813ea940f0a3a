// The video pane: letterbox and zoom geometry, the time overlay, the frame request it tells of,
// the mouse, and on real pipelines the frames the engine fits to it.
#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <memory>

#include "krv/krv_convert.h"
#include "view/engine_graph.h"
#include "view/overlay_glyphs.h"
#include "view/pane_geometry.h"
#include "view/playback_graph.h"
#include "view/video_pane.h"

using namespace vedra;

namespace {

struct ZoomStep {
    enum Kind { kZoom, kPan, kReset } kind;
    QPointF at; // kZoom: the pointer; kPan: the distance dragged
    double factor = 1;
};
using ZoomSteps = QList<ZoomStep>;

ZoomStep Zoom(QPointF at, double factor)
{
    return {ZoomStep::kZoom, at, factor};
}
ZoomStep Pan(QPointF by)
{
    return {ZoomStep::kPan, by};
}
ZoomStep Reset()
{
    return {ZoomStep::kReset, {}};
}

void Apply(PaneZoom& zoom, const QRectF& letterbox, const QRectF& pane, const ZoomStep& step)
{
    switch (step.kind) {
    case ZoomStep::kZoom: zoom.ZoomAt(letterbox, pane, step.at, step.factor); break;
    case ZoomStep::kPan: zoom.Pan(letterbox, pane, step.at); break;
    case ZoomStep::kReset: zoom.Reset(); break;
    }
}

// The picture point at `at`, in fractions of the picture.
QPointF PicturePoint(const QRectF& picture, QPointF at)
{
    return {(at.x() - picture.x()) / picture.width(), (at.y() - picture.y()) / picture.height()};
}

// A test card: a grid of coloured squares, one colour per row and column, a white cross
// through the middle; every part of it is told apart from black.
QImage TestCard(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            const int col = x * 8 / size.width();
            const int row = y * 6 / size.height();
            image.setPixel(x, y, qRgb(60 + col * 25, 60 + row * 30, 200 - col * 10));
        }
    for (int x = 0; x < size.width(); ++x)
        image.setPixel(x, size.height() / 2, qRgb(255, 255, 255));
    for (int y = 0; y < size.height(); ++y)
        image.setPixel(size.width() / 2, y, qRgb(255, 255, 255));
    return image;
}

void SendWheel(CVideoPane& pane, QPointF at, int delta)
{
    QWheelEvent wheel(at, pane.mapToGlobal(at), {}, QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                      false);
    QApplication::sendEvent(&pane, &wheel);
}

void SendMouse(CVideoPane& pane, QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent event(type, at, pane.mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(&pane, &event);
}

// A pane of the quad view's inside size with a picture, shown in a window as the player's are.
struct PaneFixture {
    explicit PaneFixture(QSize inside = {328, 244}, QSize picture = {328, 244})
    {
        window.resize(1200, 900);
        pane.resize(inside + QSize(2, 2)); // the one-pixel border
        pane.ShowPicture(TestCard(picture), {}, 1'500'000'000);
        window.show();
    }
    QWidget window;
    CVideoPane pane{CVideoPane::Style::kBordered, &window};
};

} // namespace

Q_DECLARE_METATYPE(ZoomSteps)

class VideoPaneTest : public QObject {
    Q_OBJECT

private slots:
    void letterbox_data()
    {
        QTest::addColumn<QSize>("shape");
        QTest::addColumn<QRect>("pane");
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QRect>("letterbox");
        QTest::newRow("4:3 in the large pane: bars left and right")
            << QSize(640, 480) << QRect(1, 1, 657, 487) << QSize() << QRect(5, 1, 649, 487);
        QTest::newRow("4:3 in a taller pane: bars above and below")
            << QSize(640, 480) << QRect(0, 0, 328, 300) << QSize() << QRect(0, 27, 328, 246);
        QTest::newRow("a wide camera in a quad pane")
            << QSize(800, 240) << QRect(1, 1, 328, 244) << QSize() << QRect(1, 74, 328, 98);
        QTest::newRow("the pane's own shape: no bars")
            << QSize(704, 576) << QRect(1, 1, 352, 288) << QSize() << QRect(1, 1, 352, 288);
        QTest::newRow("a frame rounded to even sides keeps its size")
            << QSize(640, 480) << QRect(1, 1, 657, 487) << QSize(650, 486) << QRect(4, 1, 650, 486);
        QTest::newRow("a frame still of the old pane size takes the picture's shape")
            << QSize(640, 480) << QRect(1, 1, 657, 487) << QSize(324, 244) << QRect(5, 1, 649, 487);
        QTest::newRow("a frame scaled to fill (no shape known) fills")
            << QSize(328, 244) << QRect(1, 1, 328, 244) << QSize(328, 244) << QRect(1, 1, 328, 244);
        QTest::newRow("no shape: the pane") << QSize() << QRect(1, 1, 328, 244) << QSize() << QRect(1, 1, 328, 244);
        QTest::newRow("a sliver of a picture is one pixel, never none")
            << QSize(1600, 1) << QRect(0, 0, 100, 100) << QSize() << QRect(0, 49, 100, 1);
    }
    void letterbox()
    {
        QFETCH(QSize, shape);
        QFETCH(QRect, pane);
        QFETCH(QSize, frame);
        QFETCH(QRect, letterbox);
        QCOMPARE(LetterboxRect(shape, pane, frame), letterbox);
    }

    void zoomGeometry_data()
    {
        QTest::addColumn<QRectF>("pane");
        QTest::addColumn<QRectF>("letterbox");
        QTest::addColumn<ZoomSteps>("steps");
        QTest::addColumn<QRectF>("picture");
        QTest::addColumn<double>("zoom");
        const QRectF pane(0, 0, 400, 300);
        QTest::newRow("wheel in at the centre")
            << pane << pane << ZoomSteps{Zoom({200, 150}, 2)} << QRectF(-200, -150, 800, 600) << 2.0;
        QTest::newRow("wheel in keeps the point under the pointer")
            << pane << pane << ZoomSteps{Zoom({100, 75}, 2)} << QRectF(-100, -75, 800, 600) << 2.0;
        QTest::newRow("wheel in at the corner")
            << pane << pane << ZoomSteps{Zoom({0, 0}, 2)} << QRectF(0, 0, 800, 600) << 2.0;
        QTest::newRow("wheel out near the far edge stops at the edge")
            << pane << pane << ZoomSteps{Zoom({0, 0}, 4), Zoom({400, 300}, 0.5)} << QRectF(0, 0, 800, 600) << 2.0;
        QTest::newRow("dragging stops at the top left edge")
            << pane << pane << ZoomSteps{Zoom({200, 150}, 2), Pan({1000, 1000})} << QRectF(0, 0, 800, 600) << 2.0;
        QTest::newRow("dragging stops at the right edge, moves freely down")
            << pane << pane << ZoomSteps{Zoom({200, 150}, 2), Pan({-1000, -50})} << QRectF(-400, -200, 800, 600) << 2.0;
        QTest::newRow("dragging back after hitting an edge moves at once")
            << pane << pane << ZoomSteps{Zoom({200, 150}, 2), Pan({1000, 0}), Pan({-10, 0})}
            << QRectF(-10, -150, 800, 600) << 2.0;
        QTest::newRow("dragging at 1x moves nothing") << pane << pane << ZoomSteps{Pan({50, 50})} << pane << 1.0;
        QTest::newRow("the zoom stops at 8x")
            << pane << pane << ZoomSteps{Zoom({200, 150}, 100)} << QRectF(-1400, -1050, 3200, 2400) << 8.0;
        QTest::newRow("wheel out past 1x gives the letterbox back")
            << pane << pane << ZoomSteps{Zoom({0, 0}, 3), Pan({-30, -30}), Zoom({0, 0}, 0.1)} << pane << 1.0;
        QTest::newRow("reset") << pane << pane << ZoomSteps{Zoom({100, 75}, 2), Pan({30, 30}), Reset()} << pane << 1.0;
        QTest::newRow("the enlarged picture spreads over the bars")
            << QRectF(1, 1, 657, 487) << QRectF(5, 1, 649, 487) << ZoomSteps{Zoom({329.5, 244.5}, 2)}
            << QRectF(-319.5, -242.5, 1298, 974) << 2.0;
        QTest::newRow("narrower than the pane, the picture stays centred across")
            << QRectF(1, 1, 328, 244) << QRectF(1, 74, 328, 98) << ZoomSteps{Zoom({50, 100}, 2)}
            << QRectF(-48, 25, 656, 196) << 2.0;
        QTest::newRow("a wheel turned the other way at 1x changes nothing")
            << pane << pane << ZoomSteps{Zoom({10, 10}, 0.8)} << pane << 1.0;
    }
    void zoomGeometry()
    {
        QFETCH(QRectF, pane);
        QFETCH(QRectF, letterbox);
        QFETCH(ZoomSteps, steps);
        QFETCH(QRectF, picture);
        QFETCH(double, zoom);
        PaneZoom z;
        for (const ZoomStep& step : steps)
            Apply(z, letterbox, pane, step);
        QCOMPARE(z.PictureRect(letterbox, pane), picture);
        QCOMPARE(z.zoom(), zoom);
    }

    // Wherever the pointer is and however far the picture was moved, zooming in keeps the
    // picture point under the pointer; no gap ever opens.
    void pointerKeepsItsPicturePointWhileZoomingIn()
    {
        const QRectF pane(1, 1, 657, 487);
        const QRectF letterbox(5, 1, 649, 487);
        for (const QPointF pointer : {QPointF(10, 10), QPointF(329, 244), QPointF(650, 480), QPointF(100, 400)}) {
            PaneZoom z;
            z.ZoomAt(letterbox, pane, {300, 200}, 1.6);
            z.Pan(letterbox, pane, {-120, 45});
            for (int notch = 0; notch < 12; ++notch) {
                const QPointF before = PicturePoint(z.PictureRect(letterbox, pane), pointer);
                z.ZoomAt(letterbox, pane, pointer, 1.25);
                const QRectF picture = z.PictureRect(letterbox, pane);
                const QPointF after = PicturePoint(picture, pointer);
                QVERIFY(std::abs(before.x() - after.x()) < 1e-9 && std::abs(before.y() - after.y()) < 1e-9);
                QVERIFY(picture.contains(pane));
            }
            QCOMPARE(z.zoom(), PaneZoom::kMaxZoom);
        }
    }

    // A resized pane shows the same picture point in its middle.
    void resizedPaneKeepsItsCentre()
    {
        PaneZoom z;
        const QRectF small(0, 0, 400, 300);
        z.ZoomAt(small, small, {100, 75}, 4);
        const QPointF centre = PicturePoint(z.PictureRect(small, small), small.center());
        const QRectF large(0, 0, 800, 600);
        QCOMPARE(PicturePoint(z.PictureRect(large, large), large.center()), centre);
    }

    void visiblePart_data()
    {
        QTest::addColumn<QRectF>("picture");
        QTest::addColumn<QRect>("pane");
        QTest::addColumn<QSize>("image");
        QTest::addColumn<QRect>("target");
        QTest::addColumn<QRectF>("source");
        QTest::newRow("letterboxed, the frame of the letterbox's size: painted as it is")
            << QRectF(4, 1, 650, 486) << QRect(1, 1, 657, 487) << QSize(650, 486) << QRect(4, 1, 650, 486)
            << QRectF(0, 0, 650, 486);
        QTest::newRow("zoomed 2x, the frame at 2x: the middle, pixel for pixel")
            << QRectF(-200, -150, 800, 600) << QRect(0, 0, 400, 300) << QSize(800, 600) << QRect(0, 0, 400, 300)
            << QRectF(200, 150, 400, 300);
        QTest::newRow("zoomed 2x, the camera's own smaller picture: enlarged")
            << QRectF(-200, -150, 800, 600) << QRect(0, 0, 400, 300) << QSize(320, 240) << QRect(0, 0, 400, 300)
            << QRectF(80, 60, 160, 120);
        QTest::newRow("half a pixel off: whole pixels in the pane")
            << QRectF(-319.5, -242.5, 1298, 974) << QRect(1, 1, 657, 487) << QSize(1298, 974) << QRect(1, 1, 657, 487)
            << QRectF(320.5, 243.5, 657, 487);
        QTest::newRow("narrower than the pane: bars above and below remain")
            << QRectF(-48, 25, 656, 196) << QRect(1, 1, 328, 244) << QSize(640, 192) << QRect(1, 25, 328, 196)
            << QRectF(49 * 640.0 / 656, 0, 320, 192);
        QTest::newRow("no image: nothing")
            << QRectF(0, 0, 10, 10) << QRect(0, 0, 10, 10) << QSize() << QRect() << QRectF();
    }
    void visiblePart()
    {
        QFETCH(QRectF, picture);
        QFETCH(QRect, pane);
        QFETCH(QSize, image);
        QFETCH(QRect, target);
        QFETCH(QRectF, source);
        const VisiblePart part = VisiblePartOf(picture, pane, image);
        QCOMPARE(part.target, target);
        QCOMPARE(part.source, source);
    }

    void overlay_data()
    {
        QTest::addColumn<bool>("picture");
        QTest::addColumn<bool>("formatter");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QString>("text");
        QTest::newRow("a picture, a formatter, shown") << true << true << true << "12:00:01.500";
        QTest::newRow("toggled off (T)") << true << true << false << "";
        QTest::newRow("no formatter") << true << false << true << "";
        QTest::newRow("no picture") << false << true << true << "";
    }
    void overlay()
    {
        QFETCH(bool, picture);
        QFETCH(bool, formatter);
        QFETCH(bool, shown);
        QFETCH(QString, text);
        PaneFixture fx;
        if (!picture)
            fx.pane.HidePicture();
        QList<qint64> asked;
        if (formatter)
            fx.pane.SetTimeText([&asked](qint64 ns) {
                asked << ns;
                return QString("12:00:0%1.%2").arg(ns / 1'000'000'000).arg(ns / 1'000'000 % 1000, 3, 10, QChar('0'));
            });
        QVERIFY(fx.pane.overlayShown()); // on by default
        fx.pane.SetOverlayShown(shown);
        QCOMPARE(fx.pane.overlayShown(), shown);
        QCOMPARE(fx.pane.overlayText(), text);
        asked.clear();
        const QImage painted = fx.pane.grab().toImage();
        // Painting asks the formatter for the frame's own time, and only when the text is shown.
        QCOMPARE(asked, text.isEmpty() ? QList<qint64>{} : QList<qint64>{1'500'000'000});
        // The overlay's dark box darkens the picture's top left corner.
        const QColor corner = painted.pixelColor(6, 6);
        const QColor plain = TestCard({328, 244}).pixelColor(5, 5);
        if (text.isEmpty())
            QCOMPARE(corner, picture ? plain : QColor(Qt::black));
        else
            QVERIFY(corner.value() < plain.value() / 2 && corner != QColor(Qt::black));
    }

    // The overlay's cached glyphs draw what the painter's own text layout draws.
    void overlayGlyphsDrawAsThePainter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("time of day") << "2026-01-02 00:00:06.280";
        QTest::newRow("offset from the counter's 0") << "100:00:00.000";
        QTest::newRow("beyond the glyphs: laid out by the painter") << QString::fromUtf8("\u0643\u0627\u0645 12:00");
    }
    void overlayGlyphsDrawAsThePainter()
    {
        QFETCH(QString, text);
        const QFont font = QApplication::font();
        const QColor ink(240, 240, 240);
        OverlayGlyphs glyphs;
        glyphs.Use(font, ink, 1.0);
        const OverlayGlyphs::Line line = glyphs.Lay(text);
        const QSize size = line.size();
        QCOMPARE(size.height(), QFontMetrics(font).height());
        QVERIFY(std::abs(size.width() - QFontMetrics(font).horizontalAdvance(text)) <= 1);
        // The glyphs drawn one by one, stamped on a translucent black box, or laid out by the
        // painter, all over black.
        enum class Way { kGlyphs, kStamp, kPainter };
        const auto draw = [&](Way way) {
            QImage image(size + QSize(8, 4), QImage::Format_RGB32);
            image.fill(Qt::black);
            QPainter painter(&image);
            if (way == Way::kGlyphs) {
                glyphs.Draw(painter, {4, 2}, line);
            } else if (way == Way::kStamp) {
                QImage stamp;
                glyphs.Stamp(line, QColor(0, 0, 0, 150), 2, stamp);
                painter.drawImage(QPoint(2, 0), stamp);
            } else {
                painter.setFont(font);
                painter.setPen(ink);
                painter.drawText(QPoint(4, 2 + QFontMetrics(font).ascent()), text);
            }
            return image;
        };
        const QImage laidOut = draw(Way::kPainter);
        for (const Way way : {Way::kGlyphs, Way::kStamp}) {
            const QImage cached = draw(way);
            // Ink where the painter puts ink: at most a few edge pixels differ, and only a little.
            int inked = 0, apart = 0;
            for (int y = 0; y < cached.height(); ++y)
                for (int x = 0; x < cached.width(); ++x) {
                    const int a = qGray(cached.pixel(x, y)), b = qGray(laidOut.pixel(x, y));
                    inked += b > 128;
                    apart += std::abs(a - b) > 96;
                }
            QVERIFY(inked > 20);
            QVERIFY2(apart * 50 <= inked, qPrintable(QString("%1 of %2 inked pixels apart").arg(apart).arg(inked)));
        }
        // The stamp blends each glyph as the painter does, to a code value or two.
        const QImage one = draw(Way::kGlyphs), stamped = draw(Way::kStamp);
        int most = 0;
        for (int y = 0; y < one.height(); ++y)
            for (int x = 0; x < one.width(); ++x)
                most = std::max(most, std::abs(qGray(one.pixel(x, y)) - qGray(stamped.pixel(x, y))));
        QVERIFY2(most <= 2, qPrintable(QString::number(most)));
    }

    // The engine hears of a new frame box once it has settled, and only of a real change.
    void frameRequestChangedFollowsResizeAndZoom()
    {
        PaneFixture fx;
        QSignalSpy spy(&fx.pane, &CVideoPane::frameRequestChanged);
        QCOMPARE(fx.pane.frameBox(), QSize(328, 244));

        // A dragged window edge: many sizes, one request, for the last.
        for (int w = 400; w <= 660; w += 20)
            fx.pane.resize(w, 489);
        QCOMPARE(spy.count(), 0);
        QVERIFY(spy.wait(1000));
        QCOMPARE(fx.pane.frameBox(), QSize(658, 487));
        QTest::qWait(CVideoPane::kRequestSettleMs * 2);
        QCOMPARE(spy.count(), 1);

        // A move, or a size that comes back before settling, asks nothing.
        fx.pane.move(30, 40);
        fx.pane.resize(500, 400);
        fx.pane.resize(660, 489);
        QTest::qWait(CVideoPane::kRequestSettleMs * 2);
        QCOMPARE(spy.count(), 1);

        // Zooming in asks for frames the zoom times the box; two notches in a row ask once.
        SendWheel(fx.pane, {300, 200}, 120);
        SendWheel(fx.pane, {300, 200}, 120);
        QCOMPARE(fx.pane.zoom(), 1.5625);
        QCOMPARE(fx.pane.frameBox(), QSize(1028, 761));
        QVERIFY(spy.wait(1000));
        QTest::qWait(CVideoPane::kRequestSettleMs * 2);
        QCOMPARE(spy.count(), 2);

        // New frames keep the zoom; clearing the pane resets it and asks again.
        fx.pane.ShowPicture(TestCard({640, 480}), {}, 1'540'000'000, QSize(640, 480));
        QVERIFY(fx.pane.zoomed());
        fx.pane.HidePicture();
        QCOMPARE(fx.pane.zoom(), 1.0);
        QCOMPARE(fx.pane.frameBox(), QSize(658, 487));
        QVERIFY(spy.wait(1000));
        QCOMPARE(spy.count(), 3);
    }

    void mouse()
    {
        PaneFixture fx;
        QSignalSpy doubleClicks(&fx.pane, &CVideoPane::doubleClicked);
        const QRect inside = fx.pane.contentsRect();

        // Dragging before zooming moves nothing.
        SendMouse(fx.pane, QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
        SendMouse(fx.pane, QEvent::MouseMove, {150, 150}, Qt::NoButton, Qt::LeftButton);
        SendMouse(fx.pane, QEvent::MouseButtonRelease, {150, 150}, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(fx.pane.pictureRect(), QRectF(inside));

        // The wheel zooms about the pointer; a left drag pans.
        SendWheel(fx.pane, inside.center(), 3 * 120);
        QCOMPARE(fx.pane.zoom(), 1.953125);
        const QRectF zoomed = fx.pane.pictureRect();
        SendMouse(fx.pane, QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
        SendMouse(fx.pane, QEvent::MouseMove, {120, 90}, Qt::NoButton, Qt::LeftButton);
        SendMouse(fx.pane, QEvent::MouseMove, {130, 95}, Qt::NoButton, Qt::LeftButton);
        SendMouse(fx.pane, QEvent::MouseButtonRelease, {130, 95}, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(fx.pane.pictureRect(), zoomed.translated(30, -5));
        // Moving with no button held after the release pans no more.
        SendMouse(fx.pane, QEvent::MouseMove, {200, 200}, Qt::NoButton, Qt::NoButton);
        QCOMPARE(fx.pane.pictureRect(), zoomed.translated(30, -5));

        // A left double-click is told; it does not reset the zoom. A middle one resets it.
        SendMouse(fx.pane, QEvent::MouseButtonDblClick, {50, 50}, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(doubleClicks.count(), 1);
        QVERIFY(fx.pane.zoomed());
        SendMouse(fx.pane, QEvent::MouseButtonDblClick, {50, 50}, Qt::MiddleButton, Qt::MiddleButton);
        QCOMPARE(doubleClicks.count(), 1);
        QCOMPARE(fx.pane.zoom(), 1.0);
        QCOMPARE(fx.pane.pictureRect(), QRectF(inside));

        // Without a picture the wheel zooms nothing.
        fx.pane.HidePicture();
        SendWheel(fx.pane, inside.center(), 120);
        QCOMPARE(fx.pane.zoom(), 1.0);
    }

    // The pane's painting: bars and picture, and a zoomed part.
    void paintsLetterboxedAndZoomed()
    {
        // A 4:3 camera in the large pane widened: bars left and right.
        PaneFixture fx({800, 487}, {640, 480});
        fx.pane.SetTimeText([](qint64) { return QString("2024-05-17 14:03:27.480"); });
        const QImage boxed = fx.pane.grab().toImage();
        const QRect letterbox = fx.pane.letterboxRect();
        QCOMPARE(letterbox, QRect(76, 1, 649, 487));
        QCOMPARE(boxed.pixelColor(40, 240), QColor(Qt::black));
        QCOMPARE(boxed.pixelColor(760, 240), QColor(Qt::black));
        QVERIFY(boxed.pixelColor(letterbox.left() + 1, 240) != QColor(Qt::black));
        QVERIFY(boxed.pixelColor(letterbox.right() - 1, 240) != QColor(Qt::black));

        // 4x about the cross in the middle: the cross stays in the middle, its line widened.
        fx.pane.ZoomAt(QPointF(letterbox.center()) + QPointF(0.5, 0.5), 4);
        const QImage zoomed = fx.pane.grab().toImage();
        QVERIFY(zoomed.pixelColor(40, 240) != QColor(Qt::black)); // over the bars now
        int brightest = 0;
        int lightColumns = 0;
        for (int x = 380; x < 420; ++x) {
            const int lightness = zoomed.pixelColor(x, 100).lightness();
            if (lightness > zoomed.pixelColor(brightest, 100).lightness())
                brightest = x;
            lightColumns += lightness > 170;
        }
        QVERIFY2(std::abs(brightest - 401) <= 1, qPrintable(QString::number(brightest)));
        QVERIFY2(lightColumns >= 3, qPrintable(QString::number(lightColumns)));
    }

    // On a real pipeline: the engine fits its frames to the pane, follows a resize and, paused,
    // a zoom, and the pane is never black meanwhile; the pictures are written for a look.
    void engineFramesFollowThePane()
    {
#ifndef KRVSYNTH_PATH
        QSKIP("needs krvsynth");
#else
        QTemporaryDir dir;
        const QString recording = dir.filePath("rec.krv");
        QProcess synth;
        synth.start(QStringLiteral(KRVSYNTH_PATH), {recording, "--channels", "2", "--size", "640x480", "--fps", "10",
                                                    "--seconds", "4", "--gop", "10"});
        QVERIFY(synth.waitForFinished(60000) && synth.exitCode() == 0);
        const KrvConversion split =
            krv_convert_recording(recording.toStdString(), false, dir.filePath("work").toStdString());
        QVERIFY(split.split);

        QWidget window;
        window.resize(1200, 900);
        CVideoPane pane(CVideoPane::Style::kBordered, &window);
        pane.resize(659, 489); // the large pane
        pane.SetTimeText([](qint64 ns) { return QString("2024-05-17 14:03:%1").arg(27 + ns / 1e9, 6, 'f', 3, '0'); });
        window.show();
        std::unique_ptr<PlaybackGraph> graph = MakeEngineGraph();
        QVERIFY(graph->Create(&window));
        QVERIFY(graph->RenderMediaFile(split.result + "/Video2.krv", true));
        // As the window wires it: a settled request attaches the same pane again.
        connect(&pane, &CVideoPane::frameRequestChanged, this, [&] { graph->AttachToPane(&pane); });
        graph->AttachToPane(&pane);
        graph->Run();
        QTRY_COMPARE_WITH_TIMEOUT(pane.picture().size(), QSize(650, 486), 5000);
        QCOMPARE(pane.letterboxRect(), QRect(4, 1, 650, 486)); // painted as it came

        // A taller pane: frames of its width and the picture's shape.
        pane.resize(402, 402);
        QTRY_COMPARE_WITH_TIMEOUT(pane.picture().size(), QSize(400, 300), 5000);
        QCOMPARE(pane.letterboxRect(), QRect(1, 51, 400, 300));
        // Frames of the file fall at .05 s past each tenth.
        graph->Pause();
        graph->SeekTo(2.45);
        QTRY_COMPARE_WITH_TIMEOUT(pane.pictureTime(), qint64{2'450'000'000}, 5000);
        QVERIFY(pane.grab().save(QCoreApplication::applicationDirPath() + "/pane_letterboxed.png"));

        // Zoomed while paused: the same frame again, the camera's own pixels, and never black.
        pane.ZoomAt({150, 150}, 2.5);
        QElapsedTimer waited;
        waited.start();
        while (pane.picture().size() != QSize(640, 480) && waited.elapsed() < 5000) {
            QVERIFY(!pane.picture().isNull());
            QTest::qWait(2);
        }
        QCOMPARE(pane.picture().size(), QSize(640, 480));
        QCOMPARE(pane.pictureTime(), qint64{2'450'000'000});
        QVERIFY(graph->IsPaused());
        QVERIFY(pane.grab().save(QCoreApplication::applicationDirPath() + "/pane_zoomed.png"));
        graph->Destroy();
        QVERIFY(pane.picture().isNull());
        QCOMPARE(pane.zoom(), 1.0);
#endif
    }
};

QTEST_MAIN(VideoPaneTest)
#include "test_video_pane.moc"
