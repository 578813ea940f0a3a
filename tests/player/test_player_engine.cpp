// The window on real pipelines: krvsynth recordings, split by the conversion core, played by
// the engine, under the offscreen platform. Message boxes are recorded, never shown.
#include <QCheckBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include "player/engine/cdxgraph.h"
#include "real_pipelines.h"
#include "resources/resource_ids.h"
#include "shell/engine_setup.h"
#include "view/engine_graph.h"
#include "view/video_pane.h"

using namespace vedra;
using namespace vedra::test;

namespace {

// Mean colour of the central part of rect in image.
QColor Mean(const QImage& image, QRect rect)
{
    rect = rect.adjusted(rect.width() / 4, rect.height() / 4, -rect.width() / 4, -rect.height() / 4);
    qint64 r = 0, g = 0, b = 0, n = 0;
    for (int y = rect.top(); y <= rect.bottom(); y += 3)
        for (int x = rect.left(); x <= rect.right(); x += 3) {
            const QRgb p = image.pixel(x, y);
            r += qRed(p), g += qGreen(p), b += qBlue(p), ++n;
        }
    return n ? QColor(int(r / n), int(g / n), int(b / n)) : QColor();
}

int Distance(const QImage& a, const QImage& b, QRect rect)
{
    int diff = 0;
    for (int y = rect.top(); y <= rect.bottom(); y += 4)
        for (int x = rect.left(); x <= rect.right(); x += 4) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            diff += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return diff;
}

} // namespace

class PlayerEngineTest : public QObject {
    Q_OBJECT

private slots:
    // Four channels play in the four panes: four different pictures that move.
    void quadViewShowsFourMovingPictures()
    {
        PlayerFixture fx;
        // The sample recording the build writes: four channels with audio.
        const QString path = fx.home.filePath("rec/sample.krv");
        QVERIFY(QFile::copy(QStringLiteral(SAMPLE_PATH), path));
        auto d = MakeRealDialog(fx);
        QVERIFY(d->OnInitDialog());
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.get()));

        QElapsedTimer clock;
        clock.start();
        d->OnDropFiles({path});
        QTRY_VERIFY_WITH_TIMEOUT(!d->pane(IDC_PANE_1)->picture().isNull() && !d->pane(1014)->picture().isNull(), 10000);
        const qint64 firstFrameMs = clock.elapsed();
        qInfo("sample recording, load to first frame in all four panes: %lld ms (500 ms of it the pause)",
              firstFrameMs);
        QVERIFY(fx.messages.isEmpty());
        QCOMPARE(d->deck().channelMask(), uint8_t{0x0F});
        QCOMPARE(d->deck().playingMask(), uint8_t{0x0F});

        QTest::qWait(700);
        const QImage first = d->grab().toImage();
        QTest::qWait(900);
        const QImage second = d->grab().toImage();
        QVERIFY(second.save(QCoreApplication::applicationDirPath() + "/player_quad.png"));
        QColor means[4];
        for (int j = 0; j < 4; ++j) {
            const QRect rect = d->control(IDC_PANE_1 + j)->geometry();
            means[j] = Mean(second, rect);
            QVERIFY2(means[j] != QColor(Qt::black), qPrintable(QString("pane %1 is black").arg(j + 1)));
            QVERIFY2(Distance(first, second, rect) > 0, qPrintable(QString("pane %1 still").arg(j + 1)));
        }
        for (int a = 0; a < 4; ++a)
            for (int b = a + 1; b < 4; ++b)
                QVERIFY(means[a] != means[b]);
        QVERIFY(d->deck().currentTime() > 0);
        QVERIFY(d->trackbar(IDC_PROGRESS)->value() > 0);
        d->close();
        QVERIFY(!QDir(QString::fromStdString(WorkRoot())).exists());
    }

    void vgaRecordingOpensInSingleView()
    {
        PlayerFixture fx;
        auto d = OpenRealRecording(fx, "vga.krv", {"--channels", "3", "--size", "640x480"});
        QVERIFY(d);
        QVERIFY(d->deck().recording()->singleView);
        QVERIFY(!d->control(IDC_PANE_LARGE)->isHidden());
        QVERIFY(d->checkBox(IDC_CHANNEL_1)->isChecked()); // box 1 whichever channel it is
        QTRY_VERIFY_WITH_TIMEOUT(!d->pane(IDC_PANE_LARGE)->picture().isNull(), 5000);
        // The large pane (the template's video area less the folder's timeline) gets frames fitted
        // inside it with the picture's 4:3 shape, even sides.
        QCOMPARE(d->pane(IDC_PANE_LARGE)->picture().size(), QSize(570, 426));
    }

    void nonAsciiPathOpens()
    {
        PlayerFixture fx;
        const QString path = Synth(fx, QString::fromUtf8("Überwachung/Kamera östlich 東.krv"), {"--channels", "1,2"});
        QVERIFY(!path.isEmpty());
        auto d = MakeRealDialog(fx);
        QVERIFY(d->OnInitDialog());
        d->OnDropFiles({path});
        QVERIFY(fx.messages.isEmpty());
        QCOMPARE(d->deck().channelMask(), uint8_t{0x03});
        QCOMPARE(TitleFile(*d), path);
        QTRY_VERIFY_WITH_TIMEOUT(!d->pane(1012)->picture().isNull(), 5000);
    }

    void channelsTwoAndFourOnlyUseSlotsZeroAndOne()
    {
        PlayerFixture fx;
        auto d = OpenRealRecording(fx, "c24.krv", {"--channels", "2,4", "--seconds", "4"});
        QVERIFY(d);
        QCOMPARE(d->deck().channelMask(), uint8_t{0x0A});
        QVERIFY(d->checkBox(1022)->isChecked() && d->checkBox(1024)->isChecked());
        QVERIFY(!d->checkBox(1021)->isChecked() && !d->checkBox(1023)->isChecked());
        QVERIFY(EngineGraphOf(d->deck().ChannelSlot(0))->filePath.ends_with("Video2.krv"));
        QVERIFY(EngineGraphOf(d->deck().ChannelSlot(1))->filePath.ends_with("Video4.krv"));
        QTRY_VERIFY_WITH_TIMEOUT(!d->pane(1012)->picture().isNull(), 5000);
        QVERIFY(d->pane(1011)->picture().isNull());
    }

    void transportOnRealPipelines()
    {
        PlayerFixture fx;
        auto d = OpenRealRecording(fx, "t.krv", {"--channels", "1,2", "--seconds", "6"});
        QVERIFY(d);
        d->OnPause();
        const float total = d->deck().maxDuration();
        QVERIFY(total > 5 && total < 7);
        d->trackbar(IDC_PROGRESS)->setValue(500);
        d->OnPlay();
        for (int k = 1; k <= 2; ++k)
            QVERIFY(std::abs(d->deck().ChannelSlot(k - 1)->GetPositionSeconds() - total / 2) < 0.5);
        QTest::qWait(400);
        d->OnTimer();
        const int p = d->trackbar(IDC_PROGRESS)->value();
        QVERIFY(p > 500);
        d->OnPause();
        const double t = total * p / 1000.0;
        for (int k = 1; k <= 2; ++k)
            QVERIFY(std::abs(d->deck().ChannelSlot(k - 1)->GetPositionSeconds() - t) < 0.2);
        QVERIFY(d->checkBox(1021)->isEnabled());

        // Play to the end: the last channel's end resets the timeline and stops the audio.
        d->trackbar(IDC_PROGRESS)->setValue(900);
        d->OnPlay();
        QVERIFY(!d->checkBox(1021)->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(d->deck().playingMask(), uint8_t{0}, 5000);
        QCOMPARE(d->trackbar(IDC_PROGRESS)->value(), 0);
        QCOMPARE(d->deck().currentTime(), 0.0f);
        if (d->deck().AudioSlot() != nullptr)
            QVERIFY(!d->deck().AudioSlot()->IsRunning());
        QTRY_VERIFY(d->checkBox(1021)->isEnabled()); // the timer unlocks the boxes
    }

    // A missing decoder: first run and returning user get different wording; the window closes.
    void missingDecoderWording()
    {
        PlayerFixture fx;
        QStringList expected = {QString::fromLatin1(CDXGraph::kMissingDecoderRestart),
                                QString::fromLatin1(CDXGraph::kMissingDecoderReinstall)};
        for (int run = 0; run < 2; ++run) {
            auto d = MakeRealDialog(fx);
            d->files().graphFactory = [] {
                auto graph = MakeEngineGraph();
                EngineGraphOf(graph.get())->videoDecoderFactory = "vedra_no_such_decoder";
                return graph;
            };
            QSignalSpy finished(d.get(), &QDialog::finished);
            d->show();
            QVERIFY(!d->OnInitDialog());
            QTRY_COMPARE(finished.count(), 1);
        }
        QCOMPARE(fx.messages, expected);
    }

    // File managers start the player with the recording's path.
    void commandLinePathOpensLikeADrop()
    {
        PlayerFixture fx;
        QProcess player;
        StartOffscreen(player, QStringLiteral(PLAYER_PATH), {QStringLiteral(SAMPLE_PATH)});
        QVERIFY(player.waitForStarted());
        const QDir root(QString::fromStdString(WorkRoot()));
        QTRY_VERIFY_WITH_TIMEOUT(root.entryList(QDir::Dirs | QDir::NoDotAndDotDot).filter("tempFile").size() == 1,
                                 10000);
        const QString folder = root.filePath(root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)[0]);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(folder + "/Video4.krv"), 10000);
        player.kill();
        player.waitForFinished(5000);
    }

    void secondInstanceExitsAtOnce()
    {
        PlayerFixture fx;
        QProcess first;
        StartOffscreen(first, QStringLiteral(PLAYER_PATH), {});
        QVERIFY(first.waitForStarted());
        const QString store = fx.home.filePath("config/Vedra Media Player/registry.ini");
        auto readStore = [&store] {
            QFile f(store);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        // The first copy is up once it has announced itself.
        QTRY_VERIFY_WITH_TIMEOUT(readStore().contains("APPActive"), 10000);
        const QByteArray before = readStore();
        QProcess second;
        QElapsedTimer clock;
        clock.start();
        StartOffscreen(second, QStringLiteral(PLAYER_PATH), {});
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitCode(), 0);
        qInfo("second copy ended after %lld ms", clock.elapsed());
        QCOMPARE(readStore(), before);
        first.kill();
        first.waitForFinished(5000);
    }
};

QTEST_MAIN(PlayerEngineTest)
#include "test_player_engine.moc"
