// The folder's timeline in the window, on real pipelines and the folder of three krvsynth
// recordings (folder_fixture.h): N and Shift+N to the activity of the checked cameras across the
// recordings, a click on the timeline opening the recording there at that time (in the gap, the
// next one's first frame), and the pictures shown while the timeline or the trackbar is hovered.
#include <QDateTime>
#include <QMouseEvent>
#include <QSlider>
#include <QTest>

#include "folder_fixture.h"
#include "real_pipelines.h"
#include "resources/resource_ids.h"
#include "shell/folder_timeline_host.h"
#include "view/folder_timeline.h"
#include "view/thumbnail_hover.h"

using namespace vedra;
using namespace vedra::test;

namespace {

QString Clock(qint64 unixMs)
{
    return QDateTime::fromMSecsSinceEpoch(unixMs, Qt::UTC).toLocalTime().toString("HH:mm:ss");
}

void Hover(QWidget* widget, QPoint at)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(widget->mapToGlobal(at)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

} // namespace

class FolderWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<PlayerFixture> fx_;
    std::unique_ptr<CVedraPlayerDlg> d_;
    QString folder_;

    QString OnScreen() const { return QFileInfo(d_->files().filePath(d_->files().currentFile())).fileName(); }
    // Recording n on screen at `seconds`, with only `cameras` checked.
    void Start(int n, double seconds, unsigned cameras)
    {
        d_->GoToInFolder(d_->files().FolderIndexOf(FolderRecording(folder_, n)), seconds);
        d_->deck().KeepOnlyChecked(uint8_t(cameras));
    }

private slots:
    void initTestCase()
    {
        fx_ = std::make_unique<PlayerFixture>();
        folder_ = fx_->home.filePath("rec/folder");
        QVERIFY(WriteFolderOfThree(folder_));
        d_ = MakeRealDialog(*fx_);
        d_->files().openPauseMs = 0;
        QVERIFY(d_->OnInitDialog());
        d_->show();
        QVERIFY(QTest::qWaitForWindowExposed(d_.get()));
        d_->OnDropFiles({FolderRecording(folder_, 0)});
        QCOMPARE(OnScreen(), QString("cam_0.krv"));
        // The strip fills in as the folder is indexed in the background.
        QTRY_VERIFY_WITH_TIMEOUT(d_->folderTimeline().archive().finished(), 120000);
        QCOMPARE(d_->folderTimeline().archive().recordings().size(), size_t(3));
        QCOMPARE(d_->folderTimeline().timeline()->wholeStart(), FolderStartOf(0));
    }

    void cleanupTestCase()
    {
        d_->close();
        d_.reset();
        fx_.reset();
    }

    void stepsToActivityAcrossTheFolder_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<unsigned>("cameras");
        QTest::addColumn<bool>("forward");
        QTest::addColumn<int>("to");           // the recording on screen after the key
        QTest::addColumn<double>("toSeconds"); // and its time there
        QTest::addColumn<QString>("notice");
        const auto at = [](int n, int s) {
            return QString("Camera 1 active at ") + Clock(FolderStartOf(n) + s * 1000);
        };
        QTest::newRow("N: the first span") << 0 << 0.0 << 1u << true << 0 << 10.0 << at(0, 10);
        QTest::newRow("N from a span's start: the next file's") << 0 << 10.0 << 1u << true << 1 << 15.0 << at(1, 15);
        QTest::newRow("N across the gap") << 1 << 15.0 << 1u << true << 2 << 20.0 << at(2, 20);
        QTest::newRow("N, camera 2 checked")
            << 0 << 0.0 << 2u << true << 2 << 30.0 << "Camera 2 active at " + Clock(FolderStartOf(2) + 30000);
        QTest::newRow("Shift+N back into the file before") << 2 << 20.0 << 1u << false << 1 << 15.0 << at(1, 15);
        QTest::newRow("N after the last: nothing moves")
            << 2 << 20.0 << 1u << true << 2 << 20.0 << "No activity of the checked cameras after this in the folder";
        QTest::newRow("Shift+N before the first: nothing moves")
            << 0 << 5.0 << 3u << false << 0 << 5.0 << "No activity of the checked cameras before this in the folder";
    }
    void stepsToActivityAcrossTheFolder()
    {
        QFETCH(int, from);
        QFETCH(double, seconds);
        QFETCH(unsigned, cameras);
        QFETCH(bool, forward);
        QFETCH(int, to);
        QFETCH(double, toSeconds);
        Start(from, seconds, cameras);
        d_->OnPause();
        QTest::keyClick(d_.get(), Qt::Key_N, forward ? Qt::NoModifier : Qt::ShiftModifier);
        QCOMPARE(OnScreen(), QString("cam_%1.krv").arg(to));
        QVERIFY2(std::abs(d_->deck().timeOnScreen() - toSeconds) < 0.3,
                 qPrintable(QString::number(d_->deck().timeOnScreen())));
        QTEST(d_->noticeText(), "notice");
    }

    void clickOpensTheRecordingThere_data()
    {
        QTest::addColumn<qint64>("at");
        QTest::addColumn<int>("to");
        QTest::addColumn<double>("toSeconds");
        QTest::newRow("in the one on screen") << FolderStartOf(0) + 30000 << 0 << 30.0;
        QTest::newRow("in the next") << FolderStartOf(1) + 12000 << 1 << 12.0;
        QTest::newRow("in the gap: the next one's first frame") << FolderAt(2, 30) << 2 << 0.0;
        QTest::newRow("late in the third") << FolderStartOf(2) + 45000 << 2 << 45.0;
    }
    void clickOpensTheRecordingThere()
    {
        QFETCH(qint64, at);
        QFETCH(double, toSeconds);
        Start(0, 0, 3u);
        d_->OnPause();
        FolderTimeline* timeline = d_->folderTimeline().timeline();
        timeline->ShowWhole();
        const QPoint point(int(std::lround(timeline->axis().XAt(at))), timeline->height() - 4);
        QTest::mouseClick(timeline, Qt::LeftButton, {}, point);
        QFETCH(int, to);
        QCOMPARE(OnScreen(), QString("cam_%1.krv").arg(to));
        // A pixel of the strip is half a second of the folder.
        const double slack = double(timeline->axis().span()) / timeline->axis().width / 1000.0 + 0.3;
        QVERIFY2(std::abs(d_->deck().timeOnScreen() - toSeconds) < slack,
                 qPrintable(QString::number(d_->deck().timeOnScreen())));
    }

    // A recording of another folder loaded since: the strip still shows the folder on screen, and
    // a click there opens that folder's recording.
    void clickAfterAnotherFolderWasLoaded()
    {
        const QString other = fx_->home.filePath("rec/other/elsewhere.krv");
        QVERIFY(QDir().mkpath(QFileInfo(other).absolutePath()));
        QVERIFY(SynthRecording(other, {"--channels", "1", "--seconds", "2"}));
        Start(0, 0, 3u);
        d_->OnDropFiles({other});
        QCOMPARE(OnScreen(), QString("elsewhere.krv"));
        for (int r = 0; r < d_->files().recordingCount(); ++r)
            if (d_->files().filePath(d_->files().FileIndexOf(r)) == FolderRecording(folder_, 0))
                d_->SwitchToRecording(r);
        QCOMPARE(OnScreen(), QString("cam_0.krv"));
        FolderTimeline* timeline = d_->folderTimeline().timeline();
        QCOMPARE(timeline->wholeStart(), FolderStartOf(0));
        timeline->ShowWhole();
        const QPoint point(int(std::lround(timeline->axis().XAt(FolderStartOf(1) + 12000))), timeline->height() - 4);
        QTest::mouseClick(timeline, Qt::LeftButton, {}, point);
        QCOMPARE(OnScreen(), QString("cam_1.krv"));
        // Next in the folder now goes on from there.
        d_->NextInFolder();
        QCOMPARE(OnScreen(), QString("cam_2.krv"));
    }

    void hoverShowsTheCheckedCameras_data()
    {
        // Each row opens another recording, so that its boxes start checked.
        QTest::addColumn<int>("recording");
        QTest::addColumn<bool>("onTimeline");
        QTest::addColumn<unsigned>("cameras");
        QTest::newRow("timeline, both cameras") << 1 << true << 3u;
        QTest::newRow("timeline, camera 2") << 0 << true << 2u;
        QTest::newRow("trackbar, camera 1") << 2 << false << 1u;
    }
    void hoverShowsTheCheckedCameras()
    {
        QFETCH(int, recording);
        QFETCH(bool, onTimeline);
        QFETCH(unsigned, cameras);
        Start(recording, 0, cameras);
        ThumbnailHover& hover = d_->folderTimeline().hover();
        if (onTimeline) {
            FolderTimeline* timeline = d_->folderTimeline().timeline();
            Hover(timeline,
                  QPoint(int(timeline->axis().XAt(FolderStartOf(recording) + 20000)), timeline->height() - 4));
        } else {
            QTRY_VERIFY(d_->deck().maxDuration() > 0);
            QSlider* track = d_->trackbar(IDC_PROGRESS);
            Hover(track, QPoint(track->width() / 3, track->height() / 2));
        }
        QVERIFY(hover.popup().isVisible());
        for (int c = 1; c <= 2; ++c) {
            if (cameras & (1u << (c - 1)))
                QTRY_VERIFY_WITH_TIMEOUT(hover.popup().HasPicture(c), 5000);
            else
                QVERIFY(!hover.popup().HasPicture(c));
        }
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(d_->folderTimeline().timeline(), &leave);
        QVERIFY(!hover.popup().isVisible());
    }
};

QTEST_MAIN(FolderWindowTest)
#include "test_folder_window.moc"
