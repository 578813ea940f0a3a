// The folder archive and the thumbnails on krvsynth recordings: three
// recordings of a folder (a gap before the third, objects crossing at known
// seconds) indexed in the background and placed in time order as each is
// done; which recording covers an instant; the next and previous activity
// across them; the key frame pictures checked against ffmpeg's decode of
// krvsynth's own streams, their answer times and the cache's bound; the
// timeline and the popup drawn from them (pictures in the build's bin folder).
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cmath>
#include <fstream>

#include "engine/folder_archive.h"
#include "engine/thumbnail_source.h"
#include "folder_fixture.h"
#include "view/folder_timeline.h"
#include "view/thumbnail_hover.h"

using namespace vedra;
using namespace vedra::test;

namespace {

// ffmpeg's picture of frame `n` of an elementary stream, scaled to `size` (BGRA, as QImage::Format_RGB32).
QImage FfmpegFrame(const QString& stream, int n, QSize size)
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-i", stream, "-vf",
                            QString("select=eq(n\\,%1),scale=%2:%3").arg(n).arg(size.width()).arg(size.height()),
                            "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "bgra", "-"});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
        return {};
    const QByteArray raw = ffmpeg.readAllStandardOutput();
    if (raw.size() != size.width() * size.height() * 4)
        return {};
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        std::memcpy(image.scanLine(y), raw.constData() + y * size.width() * 4, size_t(size.width()) * 4);
    return image;
}

// Mean absolute difference of the green channels.
double MeanDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return 1e9;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            sum += std::abs(qGreen(a.pixel(x, y)) - qGreen(b.pixel(x, y)));
    return sum / (a.width() * a.height());
}

struct Answer {
    std::string path;
    int channel = 0;
    uint32_t offsetMs = 0;
    QImage picture;
};

} // namespace

class FolderArchiveTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString folder_, catalog_, thumbs_;
    std::unique_ptr<FolderArchive> archive_;

    QString Rec(int n) const { return FolderRecording(folder_, n); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        folder_ = dir_.filePath("rec");
        catalog_ = dir_.filePath("catalog.sqlite");
        QVERIFY(WriteFolderOfThree(folder_));
        std::ofstream(QString(folder_ + "/junk.krv").toStdString()) << "not a recording";
        // The pictures' recording: a moving pattern, key frames every 2 s, and krvsynth's own streams.
        thumbs_ = dir_.filePath("thumbs.krv");
        QVERIFY(SynthRecording(thumbs_, {"--channels", "1,2", "--fps", "5", "--seconds", "70", "--gop", "10",
                                         "--no-audio", "--dump-dir", dir_.filePath("dump")}));

        archive_ = std::make_unique<FolderArchive>(catalog_.toStdString());
        std::vector<ArchiveProgress> progress;
        std::vector<size_t> placed;
        bool onGuiThread = true;
        QElapsedTimer clock;
        clock.start();
        archive_->Open(folder_.toStdString(), [&](const ArchiveProgress& p) {
            onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
            progress.push_back(p);
            placed.push_back(archive_->recordings().size());
        });
        QTRY_VERIFY_WITH_TIMEOUT(archive_->finished(), 120000);
        qInfo("three recordings and a bad file indexed in %lld ms", clock.elapsed());
        QVERIFY(onGuiThread);
        // One call per file as it is done, then the end; the strip grows with each recording.
        QCOMPARE(progress.size(), size_t(5));
        QCOMPARE(progress.back().finished, true);
        QCOMPARE(progress.back().total, size_t(4));
        QCOMPARE(placed, (std::vector<size_t>{0, 1, 2, 3, 3}));
        const auto junk = std::find_if(progress.begin(), progress.end(),
                                       [](const ArchiveProgress& p) { return p.path.ends_with("junk.krv"); });
        QVERIFY(junk != progress.end() && !junk->failure.empty() && !junk->placed);
        QCOMPARE(std::count_if(progress.begin(), progress.end(), [](const ArchiveProgress& p) { return p.placed; }), 3);
    }

    void placesTheRecordingsInTimeOrder()
    {
        const std::vector<ArchivedRecording>& r = archive_->recordings();
        QCOMPARE(r.size(), size_t(3));
        for (int n = 0; n < 3; ++n) {
            QCOMPARE(r[n].path, Rec(n).toStdString());
            QCOMPARE(r[n].firstMs, FolderStartOf(n));
            QCOMPARE(r[n].lastMs, r[n].firstMs + kFolderLastFrameMs);
            QCOMPARE(r[n].cameras, 3u);
            QCOMPARE(r[n].secondScores[0].size(), size_t(60));
        }
        QCOMPARE(archive_->IndexOf(Rec(2).toStdString()), 2);
        QCOMPARE(archive_->IndexOf(folder_.toStdString() + "/junk.krv"), -1);
    }

    void opensAgainFromTheCatalog()
    {
        FolderArchive again(catalog_.toStdString());
        QElapsedTimer clock;
        clock.start();
        again.Open(folder_.toStdString(), nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(again.finished(), 30000);
        qInfo("the same folder again, from the catalog: %lld ms", clock.elapsed());
        QCOMPARE(again.recordings().size(), size_t(3));
        QCOMPARE(again.recordings()[1].spans.size(), archive_->recordings()[1].spans.size());
    }

    // Closing while a recording is being indexed leaves it at once, and what the stop cut
    // short is not kept: the folder opened again from that catalog is whole.
    void closingWhileIndexingStopsAtOnce_data()
    {
        QTest::addColumn<int>("afterMs");
        QTest::newRow("at once") << 0;
        QTest::newRow("in the first recording") << 10;
        QTest::newRow("further on") << 40;
    }
    void closingWhileIndexingStopsAtOnce()
    {
        QFETCH(int, afterMs);
        const QString catalog = dir_.filePath(QString("stopped%1.sqlite").arg(afterMs));
        FolderArchive archive(catalog.toStdString());
        archive.Open(folder_.toStdString(), nullptr);
        QThread::msleep(afterMs);
        QElapsedTimer clock;
        clock.start();
        archive.Close();
        qInfo("closed %d ms into indexing in %lld ms", afterMs, clock.elapsed());
        QVERIFY(clock.elapsed() < 200);
        archive.Open(folder_.toStdString(), nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(archive.finished(), 60000);
        QCOMPARE(archive.recordings().size(), size_t(3));
        for (size_t n = 0; n < 3; ++n) {
            QCOMPARE(archive.recordings()[n].lastMs, archive_->recordings()[n].lastMs);
            QCOMPARE(archive.recordings()[n].spans.size(), archive_->recordings()[n].spans.size());
        }
    }

    void coversAnInstantOrNamesTheNeighbours_data()
    {
        QTest::addColumn<qint64>("at");
        QTest::addColumn<int>("recording");
        QTest::addColumn<int>("offsetMs");
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("after");
        QTest::newRow("inside the second") << FolderAt(1, 30) << 1 << 29000 << -1 << -1;
        QTest::newRow("its first frame") << FolderAt(1, 1) << 1 << 0 << -1 << -1;
        QTest::newRow("a second past the last frame") << FolderAt(1, 0, 900) << 0 << 59900 << -1 << -1;
        QTest::newRow("the gap") << FolderAt(2, 30) << -1 << 0 << 1 << 2;
        QTest::newRow("before the first") << FolderAt(-1, 0) << -1 << 0 << -1 << 0;
        QTest::newRow("after the last") << FolderAt(5, 0) << -1 << 0 << 2 << -1;
    }
    void coversAnInstantOrNamesTheNeighbours()
    {
        QFETCH(qint64, at);
        const FolderPlace place = archive_->Covering(at);
        QTEST(place.recording, "recording");
        if (place.recording >= 0)
            QTEST(int(place.offsetMs), "offsetMs");
        QTEST(place.before, "before");
        QTEST(place.after, "after");
    }

    void stepsToTheNextActivityAcrossRecordings_data()
    {
        QTest::addColumn<unsigned>("cameras");
        QTest::addColumn<int>("recording");
        QTest::addColumn<int>("offsetMs");
        QTest::addColumn<bool>("forward");
        QTest::addColumn<int>("toRecording"); // -1: none
        QTest::addColumn<int>("toCamera");
        QTest::addColumn<int>("toOffsetMs");
        QTest::newRow("first span") << 1u << 0 << 0 << true << 0 << 1 << 10000;
        QTest::newRow("from a span's start, the next file's") << 1u << 0 << 10000 << true << 1 << 1 << 15000;
        QTest::newRow("across the gap") << 1u << 1 << 15000 << true << 2 << 1 << 20000;
        QTest::newRow("none after the last") << 1u << 2 << 20000 << true << -1 << 0 << 0;
        QTest::newRow("camera 2 only") << 2u << 0 << 0 << true << 2 << 2 << 30000;
        QTest::newRow("either camera") << 3u << 2 << 20000 << true << 2 << 2 << 30000;
        QTest::newRow("back into the file before") << 1u << 2 << 20000 << false << 1 << 1 << 15000;
        QTest::newRow("back from just past a start passes it") << 1u << 1 << 15500 << false << 0 << 1 << 10000;
        QTest::newRow("back from inside a span to its start") << 1u << 1 << 17000 << false << 1 << 1 << 15000;
        QTest::newRow("none before the first") << 3u << 0 << 5000 << false << -1 << 0 << 0;
        QTest::newRow("no such recording") << 3u << 7 << 0 << true << -1 << 0 << 0;
    }
    void stepsToTheNextActivityAcrossRecordings()
    {
        QFETCH(unsigned, cameras);
        QFETCH(int, recording);
        QFETCH(int, offsetMs);
        QFETCH(bool, forward);
        QFETCH(int, toRecording);
        const std::optional<ActivityStep> step =
            archive_->NextActivity(cameras, recording, uint32_t(offsetMs), forward);
        QCOMPARE(step.has_value(), toRecording >= 0);
        if (!step)
            return;
        QCOMPARE(step->recording, toRecording);
        QTEST(step->channel, "toCamera");
        QTEST(int(step->offsetMs), "toOffsetMs");
        QCOMPARE(step->unixMs, archive_->recordings()[toRecording].firstMs + step->offsetMs);
    }

    void drawsTheFolder()
    {
        FolderTimeline timeline;
        timeline.resize(720, 64);
        timeline.SetRecordings(archive_->recordings());
        timeline.SetPosition(FolderAt(3, 31));
        const QImage picture = timeline.grab().toImage();
        QVERIFY(picture.save(QStringLiteral(PICTURES_DIR "/folder_timeline_three.png")));
        // The gap's column is empty in both lanes; camera 2's object shows in the third recording.
        const int laneTop = FolderTimeline::kRulerHeight;
        const int gap = int(timeline.axis().XAt(FolderAt(2, 30)));
        QCOMPARE(picture.pixelColor(gap, laneTop + 4), picture.pixelColor(1, picture.height() - 1));
        const int object = int(timeline.axis().XAt(archive_->recordings()[2].firstMs + 32000));
        QVERIFY2(picture.pixelColor(object, picture.height() - 6).red() > 200, "camera 2's activity is hot");
    }

    void picturesAreTheKeyFrameAtOrBefore_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("offsetMs");
        QTest::addColumn<int>("keyFrame"); // frame number of the key frame at or before it
        QTest::newRow("on a key frame") << 1 << 12000 << 60;
        QTest::newRow("between key frames") << 1 << 13900 << 60;
        QTest::newRow("the second key frame of a packet") << 1 << 30000 << 150;
        QTest::newRow("the first") << 2 << 100 << 0;
        QTest::newRow("near the end") << 2 << 69000 << 340;
    }
    void picturesAreTheKeyFrameAtOrBefore()
    {
        QFETCH(int, channel);
        QFETCH(int, offsetMs);
        QFETCH(int, keyFrame);
        std::vector<Answer> answers;
        QElapsedTimer clock;
        std::vector<double> answeredMs;
        ThumbnailSource source([&](const std::string& p, int c, uint32_t t, const QImage& i) {
            answers.push_back({p, c, t, i});
            answeredMs.push_back(clock.nsecsElapsed() / 1e6);
        });
        clock.start();
        QVERIFY(!source.Request(thumbs_.toStdString(), channel, uint32_t(offsetMs)));
        QTRY_COMPARE_WITH_TIMEOUT(answers.size(), size_t(1), 5000);
        const double first = answeredMs[0];
        QCOMPARE(answers[0].offsetMs, uint32_t(offsetMs));
        const QImage& picture = answers[0].picture;
        QCOMPARE(picture.width(), ThumbnailSource::kDefaultWidth);
        const QImage truth =
            FfmpegFrame(dir_.filePath(QString("dump/ch%1.m4v").arg(channel)), keyFrame, picture.size());
        QVERIFY(!truth.isNull());
        const double near = MeanDifference(picture, truth);
        const double other =
            MeanDifference(picture, FfmpegFrame(dir_.filePath(QString("dump/ch%1.m4v").arg(channel)),
                                                keyFrame + 10 < 350 ? keyFrame + 10 : keyFrame - 10, picture.size()));
        qInfo("first answer in %.1f ms; differs from ffmpeg's frame by %.1f levels, from the next key frame by %.1f",
              first, near, other);
        QVERIFY2(first < 400, "the first picture within 400 ms");
        QVERIFY(near < 6);
        QVERIFY(near * 2 < other);
        // The minute around it is decoded ahead: another key frame 20 s on comes within 150 ms.
        QTest::qWait(300);
        const uint32_t later = uint32_t(offsetMs) + (offsetMs + 20000 < 69000 ? 20000 : -20000);
        clock.restart();
        std::optional<QImage> cached = source.Request(thumbs_.toStdString(), channel, later);
        double againMs = clock.nsecsElapsed() / 1e6;
        if (!cached) {
            QTRY_COMPARE_WITH_TIMEOUT(answers.size(), size_t(2), 2000);
            cached = answers[1].picture;
            againMs = answeredMs[1];
        }
        qInfo("a picture of the same minute in %.2f ms (%s, %zu pictures cached)", againMs,
              answers.size() == 1 ? "cached" : "decoded", source.cache().pictures());
        QVERIFY(againMs < 150);
        QVERIFY(!cached->isNull());
    }

    void badInputGivesNoPicture_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("offsetMs");
        QTest::addColumn<bool>("answered");
        QTest::newRow("not a recording") << "rec/junk.krv" << 1 << 0 << false;
        QTest::newRow("no such file") << "rec/gone.krv" << 1 << 0 << false;
        QTest::newRow("a camera not recorded") << "thumbs.krv" << 3 << 1000 << false;
        QTest::newRow("no such camera") << "thumbs.krv" << 9 << 1000 << false;
        QTest::newRow("cut short: before the cut") << "cut.krv" << 1 << 1000 << true;
        QTest::newRow("cut short: past the cut") << "cut.krv" << 1 << 9000 << true;
    }
    void badInputGivesNoPicture()
    {
        QFETCH(QString, file);
        QFETCH(int, channel);
        QFETCH(int, offsetMs);
        if (!QFile::exists(dir_.filePath("cut.krv")))
            QVERIFY(SynthRecording(dir_.filePath("cut.krv"),
                                   {"--channels", "1", "--seconds", "10", "--no-audio", "--damage", "truncated"}));
        std::vector<Answer> answers;
        ThumbnailSource source([&](const std::string& p, int c, uint32_t t, const QImage& i) {
            answers.push_back({p, c, t, i});
        });
        QVERIFY(!source.Request(dir_.filePath(file).toStdString(), channel, uint32_t(offsetMs)));
        QTest::qWait(300);
        QTEST(!answers.empty(), "answered");
        if (!answers.empty())
            QVERIFY(!answers[0].picture.isNull());
    }

    void theCacheKeepsItsBound()
    {
        const size_t onePicture = size_t(ThumbnailSource::kDefaultWidth) * 144 * 4;
        std::vector<Answer> answers;
        ThumbnailSource source(
            [&](const std::string& p, int c, uint32_t t, const QImage& i) {
                answers.push_back({p, c, t, i});
            },
            ThumbnailSource::kDefaultWidth, 3 * onePicture);
        size_t most = 0;
        // Far apart, so what one request decodes ahead is not the next one's.
        for (uint32_t t = 0; t < 70000; t += 8000) {
            const size_t before = answers.size();
            if (!source.Request(thumbs_.toStdString(), 1, t))
                QTRY_VERIFY_WITH_TIMEOUT(answers.size() > before, 5000);
            most = std::max(most, source.cache().bytes());
            QVERIFY(source.cache().bytes() <= source.cache().limit());
            QVERIFY(source.cache().pictures() <= 3);
        }
        QCOMPARE(most, 3 * onePicture);
        QTest::qWait(200);
        QVERIFY(source.cache().bytes() <= source.cache().limit());
        QVERIFY2(!source.Find(thumbs_.toStdString(), 1, 0), "the oldest picture went first");
    }

    void hoverShowsEachCheckedCamera()
    {
        ThumbnailHover hover(nullptr);
        ThumbnailPopup& popup = hover.popup();
        const auto both = [&] { return popup.HasPicture(1) && popup.HasPicture(2); };
        QElapsedTimer clock;
        clock.start();
        hover.Show(thumbs_.toStdString(), 30000, 3u, "2026-01-01 10:00:31", QPoint(100, 100));
        QTRY_VERIFY_WITH_TIMEOUT(both(), 5000);
        const qint64 first = clock.elapsed();
        QVERIFY2(first < 400, "both cameras within 400 ms the first time");
        // The same key frame is shown at once; another of the same minute comes from the cache or a decode.
        QTest::qWait(300);
        hover.Show(thumbs_.toStdString(), 31500, 3u, "2026-01-01 10:00:32", QPoint(100, 100));
        QVERIFY(both());
        clock.restart();
        hover.Show(thumbs_.toStdString(), 50000, 3u, "2026-01-01 10:00:51", QPoint(100, 100));
        QTRY_VERIFY_WITH_TIMEOUT(both(), 1000);
        qInfo("hover: both cameras in %lld ms the first time, %lld ms for another instant of the minute", first,
              clock.elapsed());
        QVERIFY(clock.elapsed() < 150);

        const QImage picture = popup.grab().toImage();
        QVERIFY(picture.save(QStringLiteral(PICTURES_DIR "/thumbnail_popup.png")));
        QCOMPARE(picture.width(), ThumbnailPopup::kGap + 2 * (ThumbnailSource::kDefaultWidth + ThumbnailPopup::kGap));
        // The second camera's picture lies in its place.
        const std::optional<QImage> second = hover.source().Find(thumbs_.toStdString(), 2, 50000);
        QVERIFY(second);
        const QPoint inSecond(ThumbnailPopup::kGap * 2 + ThumbnailSource::kDefaultWidth + 88,
                              ThumbnailPopup::kGap + 72);
        QCOMPARE(picture.pixel(inSecond), second->pixel(88, 72));
        hover.Hide();
        QVERIFY(!popup.isVisible());
    }

    void cleanupTestCase() { archive_.reset(); }
};

QTEST_MAIN(FolderArchiveTest)
#include "test_folder_archive.moc"
