// Bookmarks and the case report from the window, on a krvsynth recording: B with the note
// answered or dropped, the list's edit and delete, the report's text, and a store the window
// must leave alone.
#include <QCheckBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>

#include <optional>

#include "catalog/bookmark_store.h"
#include "catalog/bookmark_target.h"
#include "real_pipelines.h"
#include "resources/resource_ids.h"
#include "shell/bookmark_list_window.h"
#include "shell/folder_timeline_host.h"
#include "shell/marked_slider.h"
#include "view/folder_timeline.h"

using namespace vedra;
using namespace vedra::test;

namespace {

// A two-camera recording open and paused at 2 s, camera 2 unchecked.
std::unique_ptr<CVedraPlayerDlg> OpenPaused(PlayerFixture& fx)
{
    auto d = OpenRealRecording(fx, "marks.krv", {"--channels", "1,2", "--seconds", "6", "--fps", "25"});
    if (!d)
        return nullptr;
    d->show();
    if (!QTest::qWaitForWindowExposed(d.get()) || !QTest::qWaitFor([&] { return d->deck().maxDuration() > 0; }))
        return nullptr;
    d->OnPause();
    d->deck().JumpTo(2.0);
    QTest::mouseClick(d->checkBox(IDC_CHANNEL_1 + 1), Qt::LeftButton, {}, QPoint(5, 5));
    return d;
}

BookmarkTarget TargetOf(PlayerFixture& fx, const QString& name)
{
    BookmarkTarget target;
    ReadBookmarkTarget(QFile::encodeName(fx.home.filePath("rec/" + name)).toStdString(), target);
    return target;
}

std::vector<Bookmark> Stored(PlayerFixture& fx, const QString& name = QStringLiteral("marks.krv"))
{
    return BookmarkStore().ForRecording(TargetOf(fx, name).key);
}

// B with the note the window is given.
void Mark(CVedraPlayerDlg& d, std::optional<QString> note)
{
    d.askNote = [note](QWidget*, const QString&, const QString&) { return note; };
    QTest::keyClick(d.focusWidget(), Qt::Key_B);
}

// Two bookmarks: at 2 s and at 4 s.
void MarkTwo(CVedraPlayerDlg& d, const QString& first, const QString& second)
{
    Mark(d, first);
    d.deck().JumpTo(4.0);
    Mark(d, second);
}

} // namespace

class PlayerBookmarksTest : public QObject {
    Q_OBJECT

private slots:
    void markAsked_data()
    {
        QTest::addColumn<std::optional<QString>>("note");
        QTest::addColumn<int>("kept");
        QTest::addColumn<bool>("noCamera");
        const std::optional<QString> some(QStringLiteral("gate open\u202Eevil"));
        QTest::newRow("Enter keeps the note") << some << 1 << false;
        QTest::newRow("an empty note is kept") << std::optional<QString>(QString()) << 1 << false;
        QTest::newRow("Esc keeps nothing") << std::optional<QString>() << 0 << false;
        QTest::newRow("no camera checked: nothing asked") << some << 0 << true;
    }
    void markAsked()
    {
        QFETCH(std::optional<QString>, note);
        QFETCH(int, kept);
        QFETCH(bool, noCamera);
        PlayerFixture fx;
        auto d = OpenPaused(fx);
        QVERIFY(d);
        if (noCamera)
            QTest::mouseClick(d->checkBox(IDC_CHANNEL_1), Qt::LeftButton, {}, QPoint(5, 5));
        const double shown = d->deck().timeOnScreen();
        Mark(*d, note);
        if (noCamera)
            QCOMPARE(d->noticeText(), QStringLiteral("No camera is checked: nothing to bookmark"));
        const std::vector<Bookmark> marks = Stored(fx);
        QCOMPARE(int(marks.size()), kept);
        auto* slider = qobject_cast<MarkedSlider*>(d->trackbar(IDC_PROGRESS));
        QCOMPARE(int(slider->bookmarks().size()), kept);
        QCOMPARE(int(d->folderTimeline().timeline()->bookmarks().size()), kept);
        if (kept == 0)
            return;
        QCOMPARE(QString::fromStdString(marks[0].note), *note);
        QCOMPARE(marks[0].channels, std::vector<int>{1});
        QCOMPARE(marks[0].offsetMs, uint32_t(std::llround(shown * 1000)));
        QVERIFY(fx.messages.isEmpty());
    }

    // Edit and delete from the list change the store, and the trackbar follows.
    void listEditsAndDeletes()
    {
        PlayerFixture fx;
        auto d = OpenPaused(fx);
        QVERIFY(d);
        MarkTwo(*d, QStringLiteral("first\nline two"), QStringLiteral("second"));
        QCOMPARE(int(Stored(fx).size()), 2);
        d->runBookmarkList = [&](BookmarkListWindow& list) {
            QCOMPARE(int(list.rows().size()), 2);
            QCOMPARE(list.CellText(0, 3), QStringLiteral("first\\x0aline two"));
            QCOMPARE(list.CellText(0, 2), QStringLiteral("1"));
            d->askNote = [](QWidget*, const QString&, const QString& now) {
                return std::optional<QString>(now + QStringLiteral(", edited"));
            };
            list.Edit(1);
            list.Delete(0);
            QCOMPARE(int(list.rows().size()), 1);
            // Go to: back at the bookmark's instant.
            d->deck().JumpTo(0.5);
            list.Jump(0);
        };
        QTest::keyClick(d->focusWidget(), Qt::Key_B, Qt::ControlModifier);
        const std::vector<Bookmark> marks = Stored(fx);
        QCOMPARE(int(marks.size()), 1);
        QCOMPARE(QString::fromStdString(marks[0].note), QStringLiteral("second, edited"));
        QVERIFY(marks[0].editedMs > 0);
        QCOMPARE(std::llround(d->deck().timeOnScreen() * 10), 40LL);
        QCOMPARE(int(qobject_cast<MarkedSlider*>(d->trackbar(IDC_PROGRESS))->bookmarks().size()), 1);
    }

    // The report written from the window holds the notes as text; the window stays responsive.
    void reportHasTheNotes()
    {
        PlayerFixture fx;
        auto d = OpenPaused(fx);
        QVERIFY(d);
        MarkTwo(*d, QStringLiteral("van at the gate"), QStringLiteral("driver leaves"));
        const QString pdf = fx.home.filePath("case"); // ".pdf" is added
        d->chooseReportFile = [&](QWidget*, const QString&) { return pdf; };
        QTest::keyClick(d->focusWidget(), Qt::Key_R, Qt::ControlModifier);
        QVERIFY(d->reportRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!d->reportRunning() && d->noticeText().startsWith("Report written"), 60000);
        QVERIFY2(d->noticeText().contains("2 bookmark(s), 2 picture(s)"), qPrintable(d->noticeText()));
        QVERIFY2(fx.messages.isEmpty(), qPrintable(fx.messages.join('\n')));
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {pdf + ".pdf", QStringLiteral("-")});
        QVERIFY(text.waitForFinished(30000));
        const QString words = QString::fromUtf8(text.readAllStandardOutput());
        QVERIFY2(words.contains("van at the gate") && words.contains("driver leaves"), qPrintable(words));
        // The pictures' split folder is gone with the report.
        QCOMPARE(QDir(QDir::tempPath()).entryList({"vedra-report-*"}).size(), 0);
    }

    // Go to on another recording of the folder opens it there, and its bookmarks go on the trackbar.
    void listGoesToAnotherRecordingOfTheFolder()
    {
        PlayerFixture fx;
        QVERIFY(!Synth(fx, "other.krv",
                       {"--channels", "1", "--seconds", "6", "--fps", "25", "--creation-date", "1767315600"})
                     .isEmpty());
        auto d = OpenPaused(fx);
        QVERIFY(d);
        Mark(*d, QStringLiteral("here"));
        const BookmarkTarget other = TargetOf(fx, "other.krv");
        Bookmark there;
        there.fileId = other.key.fileId;
        there.pathHint = other.key.path;
        there.offsetMs = 3000;
        there.channels = {1};
        there.note = "there";
        std::string error;
        QVERIFY(BookmarkStore().Add(there, error));
        d->runBookmarkList = [&](BookmarkListWindow& list) {
            QCOMPARE(int(list.rows().size()), 2);
            QCOMPARE(list.CellText(1, 1), QStringLiteral("other.krv")); // an hour later
            list.Jump(1);
        };
        QTest::keyClick(d->focusWidget(), Qt::Key_B, Qt::ControlModifier);
        QCOMPARE(TitleFile(*d), fx.home.filePath("rec/other.krv"));
        QCOMPARE(std::llround(d->deck().timeOnScreen() * 10), 30LL);
        // The marks follow the recording on screen: at 3 s of its own length.
        const std::vector<int> marks = qobject_cast<MarkedSlider*>(d->trackbar(IDC_PROGRESS))->bookmarks();
        QVERIFY(std::find(marks.begin(), marks.end(), int(3000.0 / d->deck().maxDuration())) != marks.end());
    }

    // Cancel while the report is written: no PDF, no pictures' folder left.
    void reportCancelledLeavesNothing()
    {
        PlayerFixture fx;
        auto d = OpenPaused(fx);
        QVERIFY(d);
        Mark(*d, QStringLiteral("van"));
        const QString pdf = fx.home.filePath("case.pdf");
        d->chooseReportFile = [&](QWidget*, const QString&) { return pdf; };
        d->OnReport();
        auto* progress = d->findChild<QProgressDialog*>();
        QVERIFY(progress && progress->findChild<QPushButton*>());
        QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(d->noticeText().startsWith("Report"), 30000);
        QCOMPARE(d->noticeText(), QStringLiteral("Report cancelled: nothing was written"));
        QVERIFY(!QFileInfo::exists(pdf));
        QCOMPARE(QDir(QDir::tempPath()).entryList({"vedra-report-*"}).size(), 0);
    }

    // A damaged store is said once, never written, and B asks no note.
    void damagedStoreLeftAlone()
    {
        PlayerFixture fx;
        const QString storePath = QString::fromStdString(DefaultBookmarkStorePath().string());
        QDir().mkpath(QFileInfo(storePath).absolutePath());
        const QByteArray garbage = QByteArray("SQLite format 3") + QByteArray(4096, '\x5a');
        QFile f(storePath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(garbage);
        f.close();
        auto d = OpenPaused(fx);
        QVERIFY(d);
        bool asked = false;
        d->askNote = [&](QWidget*, const QString&, const QString&) {
            asked = true;
            return std::optional<QString>(QStringLiteral("lost"));
        };
        QTest::keyClick(d->focusWidget(), Qt::Key_B);
        QTest::keyClick(d->focusWidget(), Qt::Key_B);
        QVERIFY(!asked);
        QCOMPARE(fx.messages.size(), 1);
        QVERIFY2(fx.messages[0].contains(QFileInfo(storePath).fileName()), qPrintable(fx.messages[0]));
        QVERIFY(d->noticeText().startsWith("Bookmarks are off"));
        QFile back(storePath);
        QVERIFY(back.open(QIODevice::ReadOnly));
        QCOMPARE(back.readAll(), garbage);
        QVERIFY(!QFileInfo::exists(storePath + "-wal") && !QFileInfo::exists(storePath + "-journal"));
    }
};

QTEST_MAIN(PlayerBookmarksTest)
#include "test_player_bookmarks.moc"
