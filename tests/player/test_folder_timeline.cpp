// The folder timeline on recordings of its own making: the axis's hit testing
// (time at a pixel and back), zoom about the pointer down to a minute and
// pans kept inside the span, the widget's clicks, drags, wheel and hover, and
// a day of 24 one-hour recordings drawn (its picture in the build's bin
// folder) within the paint budget; and the thumbnail cache's lookup by key
// frame and its bound.
#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <cmath>

#include "engine/thumbnail_cache.h"
#include "view/folder_timeline.h"
#include "view/thumbnail_popup.h"

using namespace vedra;

namespace {

constexpr qint64 kDay = 1767225600000; // 2026-01-01 00:00 UTC
constexpr qint64 kHour = 3600000;
constexpr int64_t kGapAfter = 12; // recordings from the 13th on start half an hour late
constexpr qint64 kGapMs = kHour / 2;

qint64 StartOf(int n)
{
    return kDay + n * kHour + (n >= kGapAfter ? kGapMs : 0);
}

// 24 one-hour recordings of four cameras, as the catalog gives them: a still
// level everywhere, and on camera (n % 4) + 1 a burst of 40 s at minute 20.
std::vector<ArchivedRecording> Day()
{
    std::vector<ArchivedRecording> day;
    for (int n = 0; n < 24; ++n) {
        ArchivedRecording r;
        r.path = "/rec/hour_" + std::to_string(n) + ".krv";
        r.firstMs = StartOf(n);
        r.lastMs = r.firstMs + kHour - 200;
        r.cameras = 0xF;
        for (int c = 0; c < 4; ++c) {
            r.secondScores[c].assign(3600, 0.3f);
            for (int s = 0; s < 3600; s += 97)
                r.secondScores[c][size_t(s)] = 2.0f; // noise a little above the still level
        }
        const int camera = n % 4 + 1;
        for (int s = 1200; s < 1240; ++s)
            r.secondScores[camera - 1][size_t(s)] = 9.0f + float(s % 7);
        r.spans.push_back({camera, 1200000, 1240000, 15.0});
        day.push_back(std::move(r));
    }
    return day;
}

TimelineAxis Axis(int64_t start, int64_t end, int left, int width)
{
    TimelineAxis a;
    a.startMs = start;
    a.endMs = end;
    a.left = left;
    a.width = width;
    return a;
}

} // namespace

class FolderTimelineTest : public QObject {
    Q_OBJECT

private slots:
    void timeAtAPixelAndBack_data()
    {
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("end");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("width");
        QTest::addColumn<double>("x");
        QTest::addColumn<qint64>("time");
        QTest::newRow("left edge") << kDay << kDay + 24 * kHour << 16 << 800 << 16.0 << kDay;
        QTest::newRow("right edge") << kDay << kDay + 24 * kHour << 16 << 800 << 816.0 << kDay + 24 * kHour;
        QTest::newRow("middle of a day") << kDay << kDay + 24 * kHour << 16 << 800 << 416.0 << kDay + 12 * kHour;
        QTest::newRow("a minute across 600 px") << kDay << kDay + 60000 << 0 << 600 << 150.0 << kDay + 15000;
        QTest::newRow("left of the strip") << kDay << kDay + 60000 << 10 << 600 << 0.0 << kDay - 1000;
    }
    void timeAtAPixelAndBack()
    {
        QFETCH(qint64, start);
        QFETCH(qint64, end);
        QFETCH(int, left);
        QFETCH(int, width);
        QFETCH(double, x);
        const TimelineAxis a = Axis(start, end, left, width);
        QTEST(qint64(a.TimeAt(x)), "time");
        QVERIFY(std::abs(a.XAt(a.TimeAt(x)) - x) < 0.01);
    }

    void zoomsAndPansInsideTheSpan_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("factor");
        QTest::addColumn<double>("pan");
        QTest::addColumn<qint64>("span");  // the view's width in time afterwards
        QTest::addColumn<qint64>("start"); // -1: not checked
        const qint64 whole = 24 * kHour;
        QTest::newRow("in about the middle") << 400.0 << 4.0 << 0.0 << whole / 4 << kDay + 12 * kHour - whole / 8;
        QTest::newRow("in about the left edge") << 0.0 << 2.0 << 0.0 << whole / 2 << kDay;
        QTest::newRow("down to a minute, no further") << 200.0 << 1e9 << 0.0 << qint64(60000) << qint64(-1);
        QTest::newRow("out past the whole span") << 300.0 << 0.01 << 0.0 << whole << kDay;
        QTest::newRow("pan before the start") << 400.0 << 4.0 << 5000.0 << whole / 4 << kDay;
        QTest::newRow("pan past the end") << 400.0 << 4.0 << -5000.0 << whole / 4 << kDay + whole - whole / 4;
        QTest::newRow("pan by half the strip") << 400.0 << 4.0 << -400.0 << whole / 4 << kDay + 12 * kHour;
    }
    void zoomsAndPansInsideTheSpan()
    {
        QFETCH(double, x);
        QFETCH(double, factor);
        QFETCH(double, pan);
        QFETCH(qint64, start);
        const TimelineAxis whole = Axis(kDay, kDay + 24 * kHour, 0, 800);
        TimelineAxis a = ZoomedAbout(whole, x, factor, whole.startMs, whole.endMs);
        if (factor > 1 && a.span() > kTimelineMinSpanMs)
            QVERIFY2(std::abs(a.TimeAt(x) - whole.TimeAt(x)) <= 1, "the instant under the pointer stays");
        a = Panned(a, pan, whole.startMs, whole.endMs);
        QTEST(qint64(a.span()), "span");
        if (start >= 0)
            QCOMPARE(qint64(a.startMs), start);
        QVERIFY(a.startMs >= whole.startMs && a.endMs <= whole.endMs);
    }

    void clicksDragsWheelAndHover()
    {
        FolderTimeline timeline;
        timeline.resize(816, 72);
        timeline.SetRecordings(Day());
        timeline.show();
        QVERIFY(QTest::qWaitForWindowExposed(&timeline));
        QSignalSpy clicked(&timeline, &FolderTimeline::timeClicked);
        QSignalSpy hovered(&timeline, &FolderTimeline::hovered);

        const QPoint at(416, 40);
        const int64_t there = timeline.axis().TimeAt(at.x());
        QTest::mouseClick(&timeline, Qt::LeftButton, {}, at);
        QCOMPARE(clicked.size(), 1);
        QCOMPARE(clicked[0][0].toLongLong(), there);

        // The wheel zooms in about the pointer.
        QWheelEvent wheel(at, timeline.mapToGlobal(at), {}, QPoint(0, 4 * 120), Qt::NoButton, {}, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(&timeline, &wheel);
        QVERIFY(timeline.axis().span() < timeline.wholeEnd() - timeline.wholeStart());
        QVERIFY(std::abs(timeline.axis().TimeAt(at.x()) - there) <= timeline.axis().span() / 800 + 1);

        // A drag pans and clicks nothing.
        const int64_t before = timeline.axis().startMs;
        QTest::mousePress(&timeline, Qt::LeftButton, {}, at);
        QMouseEvent move(QEvent::MouseMove, QPointF(at + QPoint(100, 0)),
                         timeline.mapToGlobal(QPointF(at + QPoint(100, 0))), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(&timeline, &move);
        QTest::mouseRelease(&timeline, Qt::LeftButton, {}, at + QPoint(100, 0));
        QCOMPARE(clicked.size(), 1);
        QVERIFY(timeline.axis().startMs < before);
        QVERIFY(!hovered.isEmpty());
        QCOMPARE(hovered.last()[0].toLongLong(), timeline.axis().TimeAt(at.x() + 100));
    }

    // A bookmark on the folder is a tick at its instant; one outside the view leaves the picture as it was.
    void bookmarksDrawnAtTheirInstant_data()
    {
        QTest::addColumn<qint64>("at");
        QTest::addColumn<bool>("drawn");
        QTest::newRow("in a recording") << qint64(StartOf(3) + 20 * 60000) << true;
        QTest::newRow("in the gap") << qint64(StartOf(kGapAfter) - kGapMs / 2) << true;
        QTest::newRow("before the folder") << qint64(kDay - kHour) << false;
    }
    void bookmarksDrawnAtTheirInstant()
    {
        QFETCH(qint64, at);
        QFETCH(bool, drawn);
        FolderTimeline timeline;
        timeline.resize(816, 72);
        timeline.SetRecordings(Day());
        const QImage before = timeline.grab().toImage();
        timeline.SetBookmarks({at});
        const QImage after = timeline.grab().toImage();
        if (!drawn) {
            QCOMPARE(after, before);
            return;
        }
        const int x = int(std::lround(timeline.axis().XAt(at)));
        QCOMPARE(after.pixelColor(x, FolderTimeline::kRulerHeight - 6), QColor(255, 170, 30));
        QCOMPARE(after.pixelColor(x, timeline.height() - 2), QColor(255, 170, 30));
    }

    void drawsADayWithinThePaintBudget()
    {
        FolderTimeline timeline;
        timeline.resize(816, 72);
        QElapsedTimer clock;
        clock.start();
        timeline.SetRecordings(Day());
        timeline.SetPosition(StartOf(5) + 20 * 60000);
        QImage picture = timeline.grab().toImage();
        const double firstMs = clock.nsecsElapsed() / 1e6;
        QVERIFY(picture.save(QStringLiteral(PICTURES_DIR "/folder_timeline.png")));

        // Zoom in step by step to a minute about 05:20, then pan back and forth.
        const int x = int(timeline.axis().XAt(StartOf(5) + 20 * 60000));
        double worstMs = 0, sumMs = 0;
        int paints = 0;
        TimelineAxis a = timeline.axis();
        for (int step = 0; step < 120; ++step) {
            a = step < 60 ? ZoomedAbout(a, x, 1.2, timeline.wholeStart(), timeline.wholeEnd())
                          : Panned(a, step % 20 < 10 ? 12 : -12, timeline.wholeStart(), timeline.wholeEnd());
            timeline.SetAxis(a);
            clock.restart();
            timeline.grab();
            const double ms = clock.nsecsElapsed() / 1e6;
            worstMs = std::max(worstMs, ms);
            sumMs += ms;
            ++paints;
        }
        qInfo("24 one-hour recordings: first draw %.2f ms; zoom and pan paints %.2f ms on average, %.2f ms at worst",
              firstMs, sumMs / paints, worstMs);
        QVERIFY(firstMs < 100);
        QVERIFY(sumMs / paints < 16);
        QCOMPARE(timeline.axis().span(), kTimelineMinSpanMs);

        // What the picture shows: the gap empty, the bursts hot, the position marked.
        const int laneHeight = (picture.height() - FolderTimeline::kRulerHeight) / 4;
        const auto laneY = [&](int camera) { return FolderTimeline::kRulerHeight + (camera - 1) * laneHeight + 4; };
        const TimelineAxis whole = Axis(timeline.wholeStart(), timeline.wholeEnd(), FolderTimeline::kLabelWidth,
                                        816 - FolderTimeline::kLabelWidth - 1);
        const QColor background = picture.pixelColor(2, picture.height() - 1);
        const int gapX = int(whole.XAt(StartOf(12) - kGapMs / 2));
        for (int camera = 1; camera <= 4; ++camera)
            QCOMPARE(picture.pixelColor(gapX, laneY(camera)), background);
        const int burstX = int(whole.XAt(StartOf(6) + 1220000));
        QVERIFY2(picture.pixelColor(burstX, laneY(3)).red() > 200, "hour 6's burst on camera 3");
        QVERIFY2(picture.pixelColor(burstX, laneY(1)).red() < 120, "camera 1 is still then");
        const int markX = int(std::lround(whole.XAt(StartOf(5) + 20 * 60000)));
        QCOMPARE(picture.pixelColor(markX, laneY(2)), QColor(Qt::white));
    }

    // One or two cameras side by side; three or four in two rows, as the quad view, so that
    // the popup of four stays as narrow as the window.
    void thumbnailPopupLaysCamerasOutAsTheQuadView_data()
    {
        QTest::addColumn<QList<int>>("cameras");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("rows");
        QTest::newRow("one") << QList<int>{3} << 1 << 1;
        QTest::newRow("two") << QList<int>{1, 4} << 2 << 1;
        QTest::newRow("three") << QList<int>{1, 2, 3} << 2 << 2;
        QTest::newRow("four") << QList<int>{1, 2, 3, 4} << 2 << 2;
    }
    void thumbnailPopupLaysCamerasOutAsTheQuadView()
    {
        QFETCH(QList<int>, cameras);
        const std::vector<int> channels(cameras.begin(), cameras.end());
        QFETCH(int, columns);
        QFETCH(int, rows);
        const QSize picture(176, 132);
        ThumbnailPopup popup(picture);
        popup.SetCameras(channels, QStringLiteral("10:00:00"));
        const int g = ThumbnailPopup::kGap;
        QCOMPARE(popup.sizeHint(), QSize(g + columns * (picture.width() + g),
                                         g + rows * (picture.height() + g) + ThumbnailPopup::kCaptionHeight));
        const QRect last = popup.PlaceOf(channels.size() - 1);
        QCOMPARE(last.right() + g + 1, popup.sizeHint().width() - (channels.size() == 3 ? picture.width() + g : 0));
        QVERIFY(last.bottom() < popup.sizeHint().height() - ThumbnailPopup::kCaptionHeight);
    }

    void thumbnailCacheFindsByKeyFrameAndKeepsItsBound()
    {
        const auto picture = [](uint32_t key, uint32_t next, QColor colour, int side = 100) {
            QImage image(side, side, QImage::Format_RGB32);
            image.fill(colour);
            return KeyFramePicture{key, next, image};
        };
        const size_t one = 100 * 100 * 4;
        ThumbnailCache cache(2 * one + 10);
        cache.Store("a.krv", 1, picture(0, 2000, Qt::red));
        cache.Store("a.krv", 1, picture(2000, 4000, Qt::green));
        struct Row {
            const char* path;
            int channel;
            uint32_t at;
            QColor colour; // invalid: none
        };
        const Row rows[] = {
            {"a.krv", 1, 0, Qt::red},      {"a.krv", 1, 1999, Qt::red}, {"a.krv", 1, 2000, Qt::green},
            {"a.krv", 1, 3999, Qt::green}, {"a.krv", 1, 4000, {}},      {"a.krv", 2, 100, {}},
            {"b.krv", 1, 100, {}},
        };
        for (const Row& row : rows) {
            const std::optional<QImage> found = cache.Find(row.path, row.channel, row.at);
            QCOMPARE(found.has_value(), row.colour.isValid());
            if (found)
                QCOMPARE(found->pixelColor(0, 0), row.colour);
        }
        // Red was used last: green goes when blue comes.
        cache.Find("a.krv", 1, 100);
        cache.Store("a.krv", 2, picture(0, 2000, Qt::blue));
        QCOMPARE(cache.bytes(), 2 * one);
        QVERIFY(cache.Find("a.krv", 1, 100));
        QVERIFY(!cache.Find("a.krv", 1, 2500));
        QVERIFY(cache.Find("a.krv", 2, 100));
        // A picture above the bound is not kept and drops nothing; the same key frame again takes its place.
        cache.Store("a.krv", 3, picture(0, 2000, Qt::white, 200));
        QCOMPARE(cache.pictures(), size_t(2));
        cache.Store("a.krv", 1, picture(0, 1000, Qt::yellow));
        QCOMPARE(cache.bytes(), 2 * one);
        QCOMPARE(cache.Find("a.krv", 1, 1500)->pixelColor(0, 0), QColor(Qt::yellow));
    }
};

QTEST_MAIN(FolderTimelineTest)
#include "test_folder_timeline.moc"
