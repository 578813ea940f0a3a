// The deck on real pipelines under the offscreen platform: the panes of a recording show one
// instant (load, seeks, Pause and Play, a box toggle, a channel that starts late), a pane that
// holds no channel is black after every change of what is on screen, and Esc ends the real
// program through its close sequence.
#include <QCheckBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSlider>
#include <QStandardPaths>
#include <QTest>

#include "real_pipelines.h"
#include "resources/resource_ids.h"
#include "shell/registry_store.h"
#include "view/video_pane.h"

using namespace vedra;
using namespace vedra::test;

namespace {

constexpr qint64 kFrame = 40'000'000; // ns, at 25 frames a second

// Largest gap between the frames the panes in use hold (ns); panes showing nothing (a channel
// that has not started yet) are left out.
qint64 PaneSpread(CVedraPlayerDlg& d)
{
    qint64 lo = INT64_MAX, hi = INT64_MIN;
    for (int j = 0; j < 4; ++j) {
        const qint64 t = d.pane(IDC_PANE_1 + j)->pictureTime();
        if (t < 0)
            continue;
        lo = std::min(lo, t);
        hi = std::max(hi, t);
    }
    return hi >= lo ? hi - lo : 0;
}

// Largest gap over `count` instants 50 ms apart.
qint64 SampledSpread(CVedraPlayerDlg& d, int count)
{
    qint64 worst = 0;
    for (int n = 0; n < count; ++n) {
        QTest::qWait(50);
        worst = std::max(worst, PaneSpread(d));
    }
    return worst;
}

void MoveThumb(CVedraPlayerDlg& d, int p)
{
    d.trackbar(IDC_PROGRESS)->setValue(p);
    d.trackbar(IDC_PROGRESS)->setSliderPosition(p);
    d.OnHScroll(IDC_PROGRESS);
}

void ClickBox(CVedraPlayerDlg& d, int box)
{
    QTest::mouseClick(d.checkBox(IDC_CHANNEL_1 + box), Qt::LeftButton, {}, QPoint(5, 5));
}

// Black or not, pane by pane (0-3 quad, 4 large), as the window paints them.
QString Lit(CVedraPlayerDlg& d)
{
    const QImage image = d.grab().toImage();
    QString lit;
    for (int id = IDC_PANE_1; id <= IDC_PANE_LARGE; ++id) {
        QWidget* pane = d.control(id);
        if (pane->isHidden()) {
            lit += '-';
            continue;
        }
        const QRect r = pane->geometry().adjusted(6, 6, -6, -6);
        bool any = false;
        for (int y = r.top(); y <= r.bottom() && !any; y += 5)
            for (int x = r.left(); x <= r.right() && !any; x += 5)
                any = (image.pixel(x, y) & 0xFFFFFF) != 0;
        lit += any ? 'L' : 'b';
    }
    return lit;
}

// The presentation times (ms) of krvsynth's dump of a channel, one line per frame.
QList<qint64> DumpedFrameTimes(const QString& path)
{
    QFile file(path);
    QList<qint64> times;
    if (!file.open(QIODevice::ReadOnly))
        return times;
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().split(' ');
        if (fields.size() > 1)
            times << fields[1].toLongLong();
    }
    return times;
}

int WorkFolders()
{
    return QDir(QString::fromStdString(WorkRoot())).entryList({"tempFile*"}, QDir::Dirs | QDir::NoDotAndDotDot).size();
}

} // namespace

class PlayerDeckPipelinesTest : public QObject {
    Q_OBJECT

private slots:
    void panesShowOneInstant()
    {
        PlayerFixture fx;
        auto d =
            OpenRealRecording(fx, "late.krv", {"--seconds", "8", "--fps", "25", "--late-start", "3:7", "--gop", "25"});
        QVERIFY(d);
        QTRY_VERIFY_WITH_TIMEOUT(d->pane(1013)->pictureTime() >= 0, 5000); // the late channel began
        QVERIFY2(SampledSpread(*d, 10) <= kFrame, "after loading");

        MoveThumb(*d, 600);
        QVERIFY2(SampledSpread(*d, 10) <= kFrame, "after a seek while playing");

        // Pause leaves every pane on the frame of the time the labels show.
        d->OnPause();
        QTest::qWait(300);
        const qint64 shown = d->pane(IDC_PANE_1)->pictureTime();
        for (int j = 0; j < 4; ++j)
            QCOMPARE(d->pane(IDC_PANE_1 + j)->pictureTime(), shown);
        const double label = d->deck().currentTime();
        QVERIFY(shown <= qint64(label * 1e9) + 1'000'000 && qint64(label * 1e9) < shown + kFrame);

        // A channel ticked off and on again while paused comes back on the same frame.
        ClickBox(*d, 1);
        ClickBox(*d, 1);
        QTest::qWait(300);
        for (int j = 0; j < 4; ++j)
            QCOMPARE(d->pane(IDC_PANE_1 + j)->pictureTime(), shown);

        d->OnPlay();
        QVERIFY2(SampledSpread(*d, 10) <= kFrame, "after Pause then Play");
        // Seeking back to before the late channel's first frame: its pane waits, black.
        d->OnPause();
        MoveThumb(*d, 0);
        QTest::qWait(300);
        QCOMPARE(d->pane(1013)->pictureTime(), qint64(-1));
        QVERIFY(d->pane(IDC_PANE_1)->pictureTime() >= 0);
    }

    // Frame steps: every pane one frame on (or back), all on one instant; ten quick presses are
    // ten frames.
    void framesStepOnEveryPane()
    {
        PlayerFixture fx;
        auto d = OpenRealRecording(fx, "steps.krv", {"--seconds", "6", "--fps", "25", "--gop", "25"});
        QVERIFY(d);
        QTest::qWait(800);
        d->OnPause();
        QTest::qWait(300);
        const qint64 before = d->pane(IDC_PANE_1)->pictureTime();
        auto all = [&d](qint64 t) {
            for (int j = 0; j < 4; ++j)
                if (d->pane(IDC_PANE_1 + j)->pictureTime() != t)
                    return false;
            return true;
        };
        QVERIFY(all(before));
        QCOMPARE(before % kFrame, 0); // the frame's own time, not where the pause fell in it
        QTest::keyClick(d.get(), Qt::Key_Period);
        QTRY_VERIFY(all(before + kFrame));
        for (int n = 0; n < 10; ++n)
            QTest::keyClick(d.get(), Qt::Key_Period);
        QTRY_VERIFY(all(before + 11 * kFrame));
        QTest::keyClick(d.get(), Qt::Key_Comma);
        QTRY_VERIFY(all(before + 10 * kFrame));
        QCOMPARE(qint64(std::llround(d->deck().timeOnScreen() * 1e9)), before + 10 * kFrame);
    }

    // End and a frame step forward reach the last frame of the longest channel, whatever the
    // length and rate; the counter shows that frame's time. krvsynth's dump of the channel is
    // the oracle of where that frame lies.
    void endReachesTheLastFrame_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("longest"); // channel, 1-4
        QTest::newRow("10 s at 10 fps") << QStringList{"--seconds", "10", "--fps", "10"} << 1;
        QTest::newRow("60 s at 25 fps") << QStringList{"--seconds", "60", "--fps", "25"} << 1;
        QTest::newRow("7 s at 30 fps") << QStringList{"--seconds", "7", "--fps", "30"} << 1;
        QTest::newRow("channel 1 ends early")
            << QStringList{"--seconds", "10", "--fps", "25", "--drop", "1:240-249"} << 2;
    }
    void endReachesTheLastFrame()
    {
        QFETCH(QStringList, options);
        QFETCH(int, longest);
        PlayerFixture fx;
        const QString dump = fx.home.filePath("dump");
        auto d = OpenRealRecording(fx, "end.krv", options + QStringList{"--channels", "1,2", "--dump-dir", dump});
        QVERIFY(d);
        const QList<qint64> times = DumpedFrameTimes(dump + QString("/ch%1.txt").arg(longest));
        QVERIFY(times.size() > 2);
        d->OnPause();
        QTest::keyClick(d.get(), Qt::Key_Home);
        CVideoPane* pane = d->pane(IDC_PANE_1 + longest - 1);
        QTRY_VERIFY(pane->pictureTime() >= 0);
        const qint64 last = pane->pictureTime() + (times.last() - times.first()) * 1'000'000;
        const qint64 before = pane->pictureTime() + (times[times.size() - 2] - times.first()) * 1'000'000;
        auto onScreen = [&](qint64 t) {
            return pane->pictureTime() == t && std::llabs(std::llround(d->deck().timeOnScreen() * 1e9) - t) < 1'000'000;
        };
        QTest::keyClick(d.get(), Qt::Key_End);
        QTRY_VERIFY2(onScreen(last), qPrintable(QString("End shows %1").arg(pane->pictureTime())));
        QTest::keyClick(d.get(), Qt::Key_Comma);
        QTRY_VERIFY2(onScreen(before), qPrintable(QString(", shows %1").arg(pane->pictureTime())));
        QTest::keyClick(d.get(), Qt::Key_Period);
        QTRY_VERIFY2(onScreen(last), qPrintable(QString(". shows %1").arg(pane->pictureTime())));
        QTest::keyClick(d.get(), Qt::Key_Period); // nothing after the last frame
        QTest::qWait(200);
        QVERIFY(onScreen(last));
    }

    // At 2x and 8x the pictures run through the recording two and eight times as fast as the
    // clock, the panes on one instant.
    void speedRunsThePicturesFaster_data()
    {
        QTest::addColumn<double>("rate");
        QTest::newRow("2x") << 2.0;
        QTest::newRow("8x") << 8.0;
    }
    void speedRunsThePicturesFaster()
    {
        QFETCH(double, rate);
        PlayerFixture fx;
        auto d = OpenRealRecording(fx, "fast.krv", {"--channels", "1,2", "--seconds", "30", "--fps", "25"});
        QVERIFY(d);
        QTest::qWait(500);
        d->deck().SetSpeed(rate);
        QTest::qWait(300);
        const qint64 from = d->pane(IDC_PANE_1 + 1)->pictureTime();
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(1500);
        const double media = (d->pane(IDC_PANE_1 + 1)->pictureTime() - from) / 1e9;
        const double seen = media / (wall.elapsed() / 1000.0);
        QVERIFY2(qAbs(seen / rate - 1.0) < 0.1, qPrintable(QString("%1x seen").arg(seen)));
        QVERIFY(SampledSpread(*d, 5) <= kFrame);
    }

    // The recorder's time of the pictures: creation date plus the time in the recording, also
    // for a recording that starts late.
    void titleShowsTheRecordersTime()
    {
        PlayerFixture fx;
        qputenv("TZ", "UTC");
        auto d = OpenRealRecording(fx, "late.krv",
                                   {"--seconds", "4", "--start-ms", "5000", "--creation-date", "1796665711"});
        QVERIFY(d);
        d->OnPause();
        d->trackbar(IDC_PROGRESS)->setValue(0);
        d->trackbar(IDC_PROGRESS)->setSliderPosition(0);
        d->OnHScroll(IDC_PROGRESS);
        d->OnTimer();
        QCOMPARE(d->deck().recording()->timeBaseMs, 5000u);
        QVERIFY2(d->windowTitle().endsWith("2026-12-07 17:48:36.000"), qPrintable(d->windowTitle()));
    }

    // After every change of what is on screen, panes that hold no channel are black and the
    // others show their channel.
    void panesHoldingNothingAreBlack()
    {
        PlayerFixture fx;
        const QString four = Synth(fx, "a.krv", {"--seconds", "6"});
        const QString two = Synth(fx, "b.krv", {"--channels", "2,4", "--seconds", "6"});
        const QString vga = Synth(fx, "c.krv", {"--channels", "3", "--size", "640x480", "--seconds", "6"});
        QVERIFY(!four.isEmpty() && !two.isEmpty() && !vga.isEmpty());
        auto d = MakeRealDialog(fx);
        QVERIFY(d->OnInitDialog());
        d->show();
        d->OnDropFiles({four});
        QTRY_COMPARE_WITH_TIMEOUT(Lit(*d), QString("LLLL-"), 5000);

        d->OnPause();
        ClickBox(*d, 2);
        QTRY_COMPARE(Lit(*d), QString("LLbL-"));
        ClickBox(*d, 2);
        QTRY_COMPARE(Lit(*d), QString("LLLL-"));

        d->NextInFolder(); // channels 2 and 4 only
        QTRY_COMPARE_WITH_TIMEOUT(Lit(*d), QString("bLbL-"), 5000);
        d->NextInFolder(); // one 640 x 480 channel: the large pane
        QTRY_COMPARE_WITH_TIMEOUT(Lit(*d), QString("----L"), 5000);
        d->PreviousInFolder();
        QTRY_COMPARE_WITH_TIMEOUT(Lit(*d), QString("bLbL-"), 5000);
        d->OpenFileEntry(0); // back to the four channels from the file list
        QTRY_COMPARE_WITH_TIMEOUT(Lit(*d), QString("LLLL-"), 5000);
        d->CloseAllFiles();
        QTRY_COMPARE(Lit(*d), QString("bbbb-"));
        QCOMPARE(WorkFolders(), 0);

        d->OnDropFiles({vga});
        QTRY_COMPARE_WITH_TIMEOUT(Lit(*d), QString("----L"), 5000);
        d->CloseFile();
        QTRY_VERIFY(!Lit(*d).contains('L'));
    }

    // Pictures of the reviewing features, written beside the test to be looked at: the list of
    // keys, one camera large, full screen with the controls shown by the mouse.
    void picturesOfReviewing()
    {
        PlayerFixture fx;
        auto d = OpenRealRecording(fx, "look.krv", {"--seconds", "6", "--fps", "25"});
        QVERIFY(d);
        d->show();
        QTRY_COMPARE_WITH_TIMEOUT(Lit(*d), QString("LLLL-"), 5000);
        d->OnPause();
        const QString dir = QCoreApplication::applicationDirPath() + "/";
        QTest::keyClick(d.get(), Qt::Key_F1);
        QVERIFY(d->grab().save(dir + "review_key_list.png"));
        QTest::keyClick(d.get(), Qt::Key_Escape);

        QTest::mouseDClick(d->control(IDC_PANE_1 + 1), Qt::LeftButton);
        QTRY_COMPARE(Lit(*d), QString("----L"));
        QCOMPARE(d->deck().enlargedBox(), 1);
        QVERIFY(d->grab().save(dir + "review_one_camera_large.png"));
        QTest::mouseDClick(d->control(IDC_PANE_LARGE), Qt::LeftButton);
        QTRY_COMPARE(Lit(*d), QString("LLLL-"));

        QTest::keyClick(d.get(), Qt::Key_F);
        QTRY_VERIFY(d->isFullScreen());
        QVERIFY(d->control(IDC_PLAY)->isHidden());
        QTest::mouseMove(d->control(IDC_PANE_1 + 3), QPoint(10, d->control(IDC_PANE_1 + 3)->height() - 2));
        QTRY_VERIFY(!d->control(IDC_PLAY)->isHidden());
        QVERIFY(d->grab().save(dir + "review_full_screen.png"));
        QTest::keyClick(d.get(), Qt::Key_Escape);
        QTRY_VERIFY(!d->isFullScreen());
        QVERIFY(d->isVisible());
        QVERIFY(!d->control(IDC_PLAY)->isHidden());
    }

    // I and O mark a range; Ctrl+E hands it on as one Matroska file of every checked camera and
    // the sound, with a checksum that verifies; Cancel leaves nothing.
    void exportOfTheMarkedRange()
    {
        PlayerFixture fx;
        // Long enough that the export is still at work when Cancel comes.
        auto d = OpenRealRecording(fx, "hand.krv", {"--seconds", "10", "--fps", "25", "--gop", "25", "--repeat", "12"});
        QVERIFY(d);
        d->OnPause();
        ClickBox(*d, 2); // camera 3 stays out
        d->deck().JumpTo(2.0);
        QTest::keyClick(d.get(), Qt::Key_I);
        d->deck().JumpTo(6.0);
        QTest::keyClick(d.get(), Qt::Key_O);
        QCOMPARE(d->deck().markIn(), 2.0);
        QCOMPARE(d->deck().markOut(), 6.0);
        const QString out = fx.home.filePath("handed");
        QString asked;
        d->askExport = [&](QWidget*, const QString& range, const QString& cameras, bool hasAudio,
                           const ExportChoice&) -> std::optional<ExportChoice> {
            asked = range + " | " + cameras + (hasAudio ? " | sound" : "");
            return ExportChoice{ExportFormat::Mkv, true, true, out};
        };
        QTest::keyClick(d.get(), Qt::Key_E, Qt::ControlModifier);
        QVERIFY2(asked.endsWith("| 1, 2, 4 | sound"), qPrintable(asked));
        QTRY_VERIFY2_WITH_TIMEOUT(d->noticeText().startsWith("Saved "), qPrintable(fx.messages.join(" / ")), 20000);
        const QStringList files = QDir(out).entryList(QDir::Files, QDir::Name);
        // The manifest signed by default and its signature, then the medium and its checksum.
        QCOMPARE(files.size(), 4);
        QVERIFY2(files[0].endsWith(".manifest.json") && files[1] == files[0] + ".sig", qPrintable(files.join(" ")));
        QCOMPARE(files[2], files[0].chopped(14) + ".mkv");
        QCOMPARE(files[3], files[2] + ".sha256");
        QVERIFY(d->noticeText().endsWith(", signed: " + files[0]));
        QProcess check;
        check.setWorkingDirectory(out);
        check.start("sha256sum", {"-c", files[3]});
        QVERIFY(check.waitForFinished(10000));
        QCOMPARE(check.exitCode(), 0);
        QProcess probe;
        probe.start("ffprobe",
                    {"-v", "error", "-show_entries", "stream=codec_type", "-of", "csv=p=0", out + "/" + files[2]});
        QVERIFY(probe.waitForFinished(10000));
        QCOMPARE(QString::fromUtf8(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
                 QStringList({"video", "video", "video", "audio", "subtitle"}));

        // The whole recording burned in (the slow way), cancelled at once: nothing written, and the window says so.
        QTest::keyClick(d.get(), Qt::Key_Home);
        QTest::keyClick(d.get(), Qt::Key_O); // an out mark before the in mark clears that
        QTest::keyClick(d.get(), Qt::Key_End);
        QTest::keyClick(d.get(), Qt::Key_O);
        const QString cancelled = fx.home.filePath("cancelled");
        d->askExport = [&](QWidget*, const QString&, const QString&, bool, const ExportChoice&) {
            return std::optional<ExportChoice>(ExportChoice{ExportFormat::Mp4, false, true, cancelled, true, true});
        };
        QTest::keyClick(d.get(), Qt::Key_E, Qt::ControlModifier);
        auto* progress = d->findChild<QProgressDialog*>();
        QVERIFY(progress);
        emit progress->canceled(); // the Cancel button
        QTRY_VERIFY_WITH_TIMEOUT(d->noticeText().startsWith("Export cancelled"), 20000);
        QVERIFY(QDir(cancelled).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    // Esc in the real program under X: the close sequence runs, no copy of the footage stays.
    void escapeClosesTheRealProgram()
    {
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        const QString xdotool = QStandardPaths::findExecutable("xdotool");
        if (xvfb.isEmpty() || xdotool.isEmpty())
            QSKIP("needs Xvfb and xdotool");
        PlayerFixture fx;
        // A display of its own, unlikely to be taken.
        const QString display = QString(":%1").arg(200 + QCoreApplication::applicationPid() % 500);
        QProcess server;
        server.start(xvfb, {display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        QVERIFY(server.waitForStarted());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        env.remove("QT_QPA_PLATFORM");
        QProcess player;
        player.setProcessEnvironment(env);
        player.start(QStringLiteral(PLAYER_PATH), {QStringLiteral(SAMPLE_PATH)});
        QVERIFY(player.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(WorkFolders() == 1, 15000);
        QProcess key;
        key.setProcessEnvironment(env);
        key.start(xdotool, {"search", "--sync", "--onlyvisible", "--name", "test.krv", "windowfocus", "--sync", "key",
                            "Escape"});
        QVERIFY(key.waitForFinished(15000));
        QVERIFY(player.waitForFinished(15000));
        QCOMPARE(player.exitCode(), 0);
        QCOMPARE(WorkFolders(), 0);
        uint32_t active = 0xFFFFFFFF;
        if (auto store = RegistryKey::Open(kRunStateKey))
            store->QueryDword("APPActive", &active);
        QCOMPARE(active, 0u);
        server.terminate();
        server.waitForFinished(5000);
    }

    // Three consecutive recordings of 4 s, 2 s apart: playing through shows every frame of each
    // in order (krvsynth's dump is the oracle), one change each, the gap skipped with a notice,
    // and no more than two working folders at once.
    void playThroughShowsEveryFrameOfEach()
    {
        PlayerFixture fx;
        QStringList dumps;
        for (int i = 0; i < 3; ++i) {
            dumps << fx.home.filePath(QString("dump%1").arg(i));
            QVERIFY(!Synth(fx, QString("%1.krv").arg(char('a' + i)),
                           {"--channels", "1", "--seconds", "4", "--fps", "10", "--creation-date",
                            QString::number(1796665711 + 6 * i), "--dump-dir", dumps.last()})
                         .isEmpty());
        }
        auto d = MakeRealDialog(fx);
        QVERIFY(d->OnInitDialog());
        d->TogglePlayThrough();
        d->OnDropFiles({fx.home.filePath("rec/a.krv")});
        QVERIFY(d->files().playThrough());
        // Every new picture of pane 1, with the recording it came from and when it came.
        struct Shown {
            QString file;
            qint64 time;
            qint64 at;
        };
        std::vector<Shown> shown;
        QStringList notices;
        QElapsedTimer wall;
        wall.start();
        int mostFolders = 0;
        while (wall.elapsed() < 25000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            const int current = d->files().currentFile();
            const qint64 t = d->pane(IDC_PANE_1)->pictureTime();
            const QString file = current < 0 ? QString() : QFileInfo(d->files().filePath(current)).fileName();
            if (t >= 0 && !shown.empty() && shown.back().file != file)
                notices << d->noticeText(); // as the next one begins
            if (t >= 0 && (shown.empty() || shown.back().time != t || shown.back().file != file))
                shown.push_back({file, t, wall.elapsed()});
            mostFolders = std::max(mostFolders, WorkFolders());
            if (file == "c.krv" && d->deck().playingMask() == 0)
                break;
        }
        QStringList order;
        QString changes;
        for (int i = 0; i < 3; ++i) {
            const QString file = QString("%1.krv").arg(char('a' + i));
            QList<qint64> times;
            for (const Shown& s : shown)
                if (s.file == file)
                    times << s.time;
            const QList<qint64> expected = DumpedFrameTimes(dumps[i] + "/ch1.txt");
            QVERIFY2(times.size() >= expected.size(),
                     qPrintable(QString("%1: %2 of %3 frames").arg(file).arg(times.size()).arg(expected.size())));
            for (int k = 0; k < expected.size(); ++k)
                QCOMPARE(times[k] - times[0], (expected[k] - expected[0]) * 1'000'000);
        }
        for (size_t k = 1; k < shown.size(); ++k) {
            QVERIFY2(shown[k].file >= shown[k - 1].file, "pictures out of order");
            if (shown[k].file != shown[k - 1].file) {
                order << shown[k].file;
                // From the moment the last frame's own time ran out to the first of the next.
                changes += QString(" %1").arg(shown[k].at - shown[k - 1].at - 100);
            }
        }
        qInfo("play-through changes, last frame over to first of the next (ms):%s", qPrintable(changes));
        QCOMPARE(order, QStringList({"b.krv", "c.krv"}));
        QVERIFY2(notices.filter("gap of 00:00:02 skipped").size() == 2, qPrintable(notices.join(" | ")));
        QVERIFY(mostFolders <= 2);
    }

    // Ctrl+G with a time of day of another recording of the folder opens it there; a time in
    // none names the nearest before and after and nothing moves.
    void goToTimeAcrossTheFolder()
    {
        PlayerFixture fx;
        const qint64 start = 1796665711;
        for (int i = 0; i < 3; ++i)
            QVERIFY(!Synth(fx, QString("%1.krv").arg(char('a' + i)),
                           {"--channels", "1", "--seconds", "4", "--creation-date", QString::number(start + 10 * i)})
                         .isEmpty());
        auto d = MakeRealDialog(fx);
        QVERIFY(d->OnInitDialog());
        d->OnDropFiles({fx.home.filePath("rec/a.krv")});
        auto clock = [&](qint64 seconds) {
            return QDateTime::fromSecsSinceEpoch(start + seconds, Qt::UTC).toLocalTime().toString("HH:mm:ss");
        };
        // The first frame lies 1 s after the creation date.
        QString typed = clock(20 + 3);
        d->askTime = [&typed](QWidget*, const QString&) { return typed; };
        d->OnGoToTime();
        QCOMPARE(QFileInfo(TitleFile(*d)).fileName(), QString("c.krv"));
        QTRY_VERIFY(std::abs(d->deck().timeOnScreen() - 2.0) < 0.2);
        typed = clock(17);
        d->OnGoToTime();
        QCOMPARE(QFileInfo(TitleFile(*d)).fileName(), QString("c.krv"));
        QVERIFY2(d->noticeText().contains("before: b.krv") && d->noticeText().contains("after: c.krv"),
                 qPrintable(d->noticeText()));
    }
};

QTEST_MAIN(PlayerDeckPipelinesTest)
#include "test_player_deck_pipelines.moc"
