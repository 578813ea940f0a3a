// The file list on scripted graphs: Close File, Close All File, switching, Pre and Next, the
// three window messages and the File List submenu, with the list invariants after each step.
#include <QCheckBox>
#include <QElapsedTimer>
#include <QMenu>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSlider>
#include <QTest>

#include <set>

#include "player_fixture.h"
#include "resources/resource_ids.h"

using namespace vedra;
using namespace vedra::test;

namespace {

void SetProgress(CVedraPlayerDlg& d, int p)
{
    d.trackbar(IDC_PROGRESS)->setValue(p);
    d.trackbar(IDC_PROGRESS)->setSliderPosition(p);
}

QStringList WorkFoldersOnDisk()
{
    return QDir(QString::fromStdString(WorkRoot())).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

QStringList Names(const CVedraPlayerDlg& d)
{
    QStringList names;
    for (int i = 0; i < d.files().fileCount(); ++i)
        names << QFileInfo(d.files().filePath(i)).fileName();
    return names;
}

// The invariants every operation keeps; empty when they hold.
QString Broken(const CVedraPlayerDlg& d)
{
    const OpenRecordings& f = d.files();
    std::set<int> used;
    for (int i = 0; i < f.fileCount(); ++i) {
        const int r = f.RecordingIndexOf(i);
        if (r < 0)
            continue;
        if (f.FileIndexOf(r) != i)
            return "recording and entry disagree";
        if (!used.insert(r).second)
            return "two entries share a recording";
    }
    if (static_cast<int>(used.size()) != f.recordingCount())
        return "recording without entry";
    if (f.currentFile() != -1) {
        const int r = f.RecordingIndexOf(f.currentFile());
        if (r < 0 || &f.recording(r) != d.deck().recording())
            return "currentFile not on screen";
    }
    int named = 0;
    for (const QString& folder : f.workFolders()) {
        if (!folder.isEmpty() && !QDir(folder).exists())
            return "working folder missing: " + folder;
        named += folder.isEmpty() ? 0 : 1;
    }
    if (WorkFoldersOnDisk().size() != named)
        return "stray working folders on disk";
    return {};
}

// A folder of recordings a.krv, b.krv, ... that split into one channel file each.
struct FolderFixture : PlayerFixture {
    explicit FolderFixture(int count)
    {
        world.files["Video1.krv"] = {};
        Channels({"Video1.krv"});
        for (int i = 0; i < count; ++i)
            paths << MakeRecording(QString(QChar('a' + i)) + ".krv");
    }
    QStringList paths;
};

// Closes the only recording with its working-folder string replaced by named.
void DeleteTreeOf(CVedraPlayerDlg& d, const QString& named)
{
    const QString real = d.files().recording(0).workFolder;
    d.files().recording(0).workFolder = named;
    d.CloseFile();
    QDir(real).removeRecursively();
}

} // namespace

class PlayerFilesTest : public QObject {
    Q_OBJECT

private slots:
    void closeFileWithNothingOnScreenDoesNothing()
    {
        FolderFixture fx(2);
        auto d = fx.MakeDialog();
        d->PostMessage({.msg = MsgAddFile, .path = "/x/y.krv"});
        QTRY_COMPARE(d->files().fileCount(), 1);
        d->CloseFile();
        QCOMPARE(d->files().fileCount(), 1);
        QCOMPARE(fx.world.rendered.size(), size_t{1}); // the probe only
    }

    void closeFileOnTheOnlyEntry()
    {
        FolderFixture fx(1);
        auto d = fx.MakeDialog();
        d->OnDropFiles({fx.paths[0]});
        QCOMPARE(WorkFoldersOnDisk().size(), 1);
        d->CloseFile();
        QVERIFY((d->files().fileCount() == 0) && (d->files().recordingCount() == 0) &&
                d->files().workFolders().isEmpty());
        QCOMPARE(d->files().currentFile(), -1);
        QVERIFY(d->deck().recording() == nullptr);
        QVERIFY(WorkFoldersOnDisk().isEmpty());
        QCOMPARE(fx.world.alive, 0);
        QCOMPARE(d->windowTitle(), QString("Vedra Media Player"));
        QVERIFY(fx.messages.isEmpty());
    }

    // A, B, C listed: with A on screen Close File opens A's folder neighbour as a new entry;
    // with B on screen it only closes B.
    void closeFileRunsNextOnlyWithTwoEntriesAfter()
    {
        {
            FolderFixture fx(3);
            auto d = fx.MakeDialog();
            d->OnDropFiles(fx.paths);
            d->CloseFile();
            QCOMPARE(Names(*d), QStringList({"b.krv", "c.krv", "b.krv"}));
            QCOMPARE(d->files().currentFile(), 2);
            QVERIFY(!d->files().IsOpenEntry(0) && d->files().IsOpenEntry(2));
            QCOMPARE(d->files().folderIndex(), 1);
            QCOMPARE(TitleFile(*d), fx.paths[1]);
            QCOMPARE(Broken(*d), QString());
        }
        {
            FolderFixture fx(3);
            auto d = fx.MakeDialog();
            d->OnDropFiles(fx.paths);
            d->OpenFileEntry(1);
            QCOMPARE(d->files().currentFile(), 1);
            d->CloseFile();
            QCOMPARE(Names(*d), QStringList({"a.krv", "c.krv"}));
            QCOMPARE(d->files().currentFile(), -1);
            QCOMPARE(d->files().recordingCount(), 1);
            QCOMPARE(d->files().RecordingIndexOf(0), 0);
            QCOMPARE(Broken(*d), QString());
        }
    }

    // Closing a recording played directly removes its empty string, so the recording after it
    // keeps its own working folder.
    void closingADirectRecordingKeepsTheNextFolder()
    {
        FolderFixture fx(2);
        fx.world.files["a.krv"] = {};
        auto d = fx.MakeDialog();
        fx.Channels({}); // a is played directly
        d->OnDropFiles({fx.paths[0]});
        fx.Channels({"Video1.krv"});
        d->OnDropFiles({fx.paths[1]});
        QCOMPARE(int(d->files().workFolders().size()), 2);
        QVERIFY(d->files().workFolders()[0].isEmpty());
        const QString folderOfB = d->files().workFolders()[1];
        d->OpenFileEntry(0);
        d->CloseFile();
        QCOMPARE(d->files().workFolders(), QStringList{folderOfB});
        QVERIFY(QDir(folderOfB).exists());
        QCOMPARE(d->files().RecordingIndexOf(0), 0);
        QCOMPARE(Broken(*d), QString());
    }

    // A working-folder string that names something else than a folder of the work root
    // deletes nothing: a folder outside, a climb out with "..", a link to a folder outside.
    void closingDeletesOnlyInsideTheWorkRoot_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("outside") << "outside";
        QTest::newRow("dot-dot") << "dotdot";
        QTest::newRow("link") << "link";
    }
    void closingDeletesOnlyInsideTheWorkRoot()
    {
        QFETCH(QString, kind);
        FolderFixture fx(1);
        auto d = fx.MakeDialog();
        d->OnDropFiles({fx.paths[0]});
        const QString precious = fx.home.filePath("precious");
        QDir().mkpath(precious);
        QFile keep(precious + "/keep.txt");
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.close();
        const QString root = QString::fromStdString(WorkRoot());
        QString named = precious;
        if (kind == "dotdot")
            named = root + "/../../precious";
        if (kind == "link") {
            named = root + "/tempFile20260101999999";
            QVERIFY(QFile::link(precious, named));
        }
        DeleteTreeOf(*d, named);
        QVERIFY(QFile::exists(precious + "/keep.txt"));
    }

    void closeAllFileLeavesNextAndPreUsable()
    {
        FolderFixture fx(3);
        auto d = fx.MakeDialog();
        d->OnDropFiles({fx.paths[1]});
        d->NextInFolder();
        SetProgress(*d, 300);
        d->CloseAllFiles();
        QVERIFY((d->files().fileCount() == 0) && (d->files().recordingCount() == 0) &&
                d->files().workFolders().isEmpty());
        QCOMPARE(d->files().currentFile(), -1);
        QCOMPARE(d->windowTitle(), QString("Vedra Media Player"));
        QVERIFY(WorkFoldersOnDisk().isEmpty());
        QCOMPARE(fx.world.alive, 0);
        QCOMPARE(d->files().folderIndex(), 2);
        d->PreviousInFolder();
        QCOMPARE(Names(*d), QStringList({"b.krv"}));
        QCOMPARE(d->files().folderIndex(), 1);
        QCOMPARE(Broken(*d), QString());
    }

    void nextWithFiveOpenClosesAllFive()
    {
        FolderFixture fx(6);
        auto d = fx.MakeDialog();
        for (int i = 0; i < 5; ++i)
            d->OnDropFiles({fx.paths[i]});
        QCOMPARE(d->files().recordingCount(), 5);
        d->NextInFolder();
        QCOMPARE(d->files().recordingCount(), 1);
        QCOMPARE(d->files().fileCount(), 6);
        for (int i = 0; i < 5; ++i)
            QVERIFY(!d->files().IsOpenEntry(i));
        QCOMPARE(d->files().RecordingIndexOf(5), 0);
        QCOMPARE(d->files().FileIndexOf(0), 5);
        QCOMPARE(WorkFoldersOnDisk().size(), 1);
        QCOMPARE(Broken(*d), QString());
    }

    void navigationAtTheEnds_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<bool>("next");
        QTest::addColumn<int>("opened"); // folder position opened, -1 none
        QTest::newRow("Next on the last") << 2 << true << -1;
        QTest::newRow("Pre on the first") << 0 << false << -1;
        QTest::newRow("Next in the middle") << 1 << true << 2;
        QTest::newRow("Pre in the middle") << 1 << false << 0;
    }
    void navigationAtTheEnds()
    {
        QFETCH(int, start);
        QFETCH(bool, next);
        QFETCH(int, opened);
        FolderFixture fx(3);
        auto d = fx.MakeDialog();
        d->OnDropFiles({fx.paths[start]});
        const size_t renders = fx.world.rendered.size();
        if (next) {
            QTest::mouseClick(static_cast<QPushButton*>(d->control(IDC_NEXT)), Qt::LeftButton);
        } else {
            QTest::mouseClick(static_cast<QPushButton*>(d->control(IDC_PREVIOUS)), Qt::LeftButton);
        }
        if (opened < 0) {
            QCOMPARE(fx.world.rendered.size(), renders);
            QCOMPARE(d->files().fileCount(), 1);
            QCOMPARE(d->files().folderIndex(), start);
        } else {
            QCOMPARE(d->files().fileCount(), 2);
            QCOMPARE(d->files().filePath(1), fx.paths[opened]);
            QCOMPARE(d->files().folderIndex(), opened);
            QCOMPARE(d->files().currentFile(), 1);
        }
        QVERIFY(fx.messages.isEmpty());
    }

    // A file that does not open leaves the recording on screen playing, its entry and title
    // current; Next goes on past it.
    void failedOpenLeavesTheRecordingPlaying_data()
    {
        QTest::addColumn<bool>("next"); // else dropped
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::newRow("Next onto a file nothing of which plays") << true << "b.krv"
                                                                 << "";
        QTest::newRow("dropped, no recording's name") << false << "cam_120000.krv.expected"
                                                      << "Not supported file format !!!";
        QTest::newRow("dropped folder") << false << "dir.krv"
                                        << "Not supported file format !!!";
    }
    void failedOpenLeavesTheRecordingPlaying()
    {
        QFETCH(bool, next);
        QFETCH(QString, name);
        QFETCH(QString, message);
        FolderFixture fx(3);
        auto d = fx.MakeDialog();
        d->OnDropFiles({fx.paths[0]});
        FakeGraph* a = Fake(d->deck().ChannelSlot(0));
        QVERIFY(a != nullptr);
        fx.Channels({}); // played directly, and nothing renders it
        if (next) {
            d->NextInFolder();
        } else {
            QDir().mkpath(fx.home.filePath("rec/dir.krv"));
            d->OnDropFiles({name == "dir.krv" ? fx.home.filePath("rec/dir.krv") : fx.MakeRecording(name)});
        }
        QCOMPARE(fx.messages, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(d->deck().ChannelSlot(0), static_cast<PlaybackGraph*>(a));
        QCOMPARE(a->state, FakeGraph::State::kRunning);
        QCOMPARE(d->files().currentFile(), 0);
        QCOMPARE(TitleFile(*d), fx.paths[0]);
        QCOMPARE(d->deck().maxDuration(), 10.0f);
        QCOMPARE(Broken(*d), QString());
        if (next) {
            fx.OneChannel();
            d->NextInFolder();
            QCOMPARE(TitleFile(*d), fx.paths[2]);
        }
    }

    // An open entry is shown again from memory and restarts at the trackbar's fraction.
    void openFileEntryForAnOpenEntrySwitches()
    {
        FolderFixture fx(2);
        fx.world.files["Video2.krv"] = {true, 20};
        auto d = fx.MakeDialog();
        d->OnDropFiles({fx.paths[0]}); // a: one channel of 10 s
        fx.Channels({"Video2.krv"});
        d->OnDropFiles({fx.paths[1]}); // b: one channel of 20 s
        SetProgress(*d, 500);
        const size_t renders = fx.world.rendered.size();
        const int splits = fx.splits;
        d->PostMessage({.msg = MsgOpenFileEntry, .index = 0});
        QTRY_COMPARE(d->files().currentFile(), 0);
        QCOMPARE(fx.world.rendered.size(), renders);
        QCOMPARE(fx.splits, splits);
        QCOMPARE(d->trackbar(IDC_PROGRESS)->value(), 500);
        FakeGraph* a = Fake(d->files().recording(0).channelGraphs[0].get());
        QCOMPARE(d->deck().ChannelSlot(0), static_cast<PlaybackGraph*>(a));
        QCOMPARE(a->state, FakeGraph::State::kRunning);
        QCOMPARE(a->seeks.back(), 5.0);
        QCOMPARE(d->deck().maxDuration(), 10.0f);
        QCOMPARE(TitleFile(*d), fx.paths[0]);
        FakeGraph* b = Fake(d->files().recording(1).channelGraphs[0].get());
        QVERIFY(b->pane == nullptr && b->state != FakeGraph::State::kRunning);
        QCOMPARE(Broken(*d), QString());
    }

    // The switch pauses the new recording's channels at the trackbar time, waits, plays them.
    void switchToRecordingKeepsTheFraction()
    {
        FolderFixture fx(2);
        fx.world.files["Video2.krv"] = {true, 40};
        auto d = fx.MakeDialog();
        fx.Channels({"Video2.krv"});
        d->OnDropFiles({fx.paths[0]}); // a: 40 s
        fx.Channels({"Video1.krv"});
        d->OnDropFiles({fx.paths[1]}); // b: 10 s, on screen
        SetProgress(*d, 250);
        FakeGraph* a = Fake(d->files().recording(0).channelGraphs[0].get());
        a->seeks.clear();
        QElapsedTimer clock;
        clock.start();
        d->SwitchToRecording(0);
        QVERIFY(clock.elapsed() >= 100);
        QCOMPARE(d->files().currentFile(), 0);
        QCOMPARE(a->seeks, std::vector<double>({10.0, 10.0})); // pause at 25 %, then play there
        QCOMPARE(a->state, FakeGraph::State::kRunning);
        QCOMPARE(d->trackbar(IDC_PROGRESS)->value(), 250);
        d->SwitchToRecording(2); // no such recording
        QCOMPARE(d->files().currentFile(), 0);
        QCOMPARE(Broken(*d), QString());
    }

    void openFileEntryForAClosedEntryOpensAndRescans()
    {
        FolderFixture fx(3);
        auto d = fx.MakeDialog();
        d->OnDropFiles({fx.paths[0]});
        d->PostMessage({.msg = MsgAddFile, .path = fx.paths[2]});
        QTRY_COMPARE(d->files().fileCount(), 2);
        d->files().SetFolderIndex(0);
        d->OpenFileEntry(1);
        QCOMPARE(d->files().currentFile(), 1);
        QCOMPARE(d->files().RecordingIndexOf(1), 1);
        QCOMPARE(d->files().FileIndexOf(1), 1);
        QCOMPARE(d->files().folderIndex(), 2); // rescanned
        d->OpenFileEntry(7);                   // outside the list
        QCOMPARE(d->files().currentFile(), 1);
        QCOMPARE(Broken(*d), QString());
    }

    void openFileEntryWithFiveOpenReopensFromDisk()
    {
        FolderFixture fx(5);
        auto d = fx.MakeDialog();
        for (int i = 0; i < 5; ++i)
            d->OnDropFiles({fx.paths[i]});
        const int splits = fx.splits;
        d->OpenFileEntry(2);
        QCOMPARE(fx.splits, splits + 1);
        QCOMPARE(d->files().recordingCount(), 1);
        QCOMPARE(d->files().RecordingIndexOf(2), 0);
        QCOMPARE(d->files().currentFile(), 2);
        QCOMPARE(Broken(*d), QString());
    }

    void removeFileEntryRenumbers()
    {
        FolderFixture fx(3);
        auto d = fx.MakeDialog();
        for (int i = 0; i < 3; ++i)
            d->OnDropFiles({fx.paths[i]});
        const QString folderOfA = d->files().workFolders()[0];
        // Remove a (open, before the one on screen): c moves to index 1, b and c to recordings 0, 1.
        d->PostMessage({.msg = MsgRemoveFileEntry, .index = 0});
        QTRY_COMPARE(d->files().fileCount(), 2);
        QCOMPARE(d->files().currentFile(), 1);
        QCOMPARE(d->files().RecordingIndexOf(0), 0);
        QCOMPARE(d->files().RecordingIndexOf(1), 1);
        QVERIFY(!QDir(folderOfA).exists());
        QCOMPARE(Broken(*d), QString());
        d->RemoveFileEntry(5); // outside the list
        QCOMPARE(d->files().fileCount(), 2);
        // Removing the one on screen is Close File.
        d->RemoveFileEntry(1);
        QCOMPARE(Names(*d), QStringList({"b.krv"}));
        QCOMPARE(d->files().currentFile(), -1);
        QCOMPARE(Broken(*d), QString());
    }

    void addFileTwiceGivesTwoEntries()
    {
        FolderFixture fx(1);
        auto d = fx.MakeDialog();
        QString path = fx.paths[0];
        d->PostMessage({.msg = MsgAddFile, .path = path});
        d->PostMessage({.msg = MsgAddFile, .path = path});
        path.fill(u'x'); // the sender's string may change once posted
        QTRY_COMPARE(d->files().fileCount(), 2);
        d->AddFileEntry(QString()); // no path, no entry
        QCOMPARE(d->files().fileCount(), 2);
        QCOMPARE(d->files().filePath(0), fx.paths[0]);
        QCOMPARE(d->files().filePath(1), fx.paths[0]);
        QVERIFY(!d->files().IsOpenEntry(0) && !d->files().IsOpenEntry(1));
        QVERIFY((d->files().recordingCount() == 0));
    }

    // One item per entry with its file name and id 1640 + i; the mark on currentFile; choosing
    // an item opens its entry.
    void fileListSubmenu()
    {
        FolderFixture fx(3);
        auto d = fx.MakeDialog();
        d->OnDropFiles(fx.paths);
        for (int i = 0; i < 10; ++i)
            d->AddFileEntry("/r/more.krv");
        QMenu* list = d->fileMenu->findChild<QMenu*>("File List");
        emit list->aboutToShow();
        QCOMPARE(list->actions().size(), 11);
        QCOMPARE(list->actions()[1]->text(), QString("b.krv"));
        for (int i = 0; i < 11; ++i) {
            QCOMPARE(list->actions()[i]->data().toInt(), 1640 + i);
            QCOMPARE(list->actions()[i]->isChecked(), i == 0);
        }
        list->actions()[2]->trigger();
        QTRY_COMPARE(d->files().currentFile(), 2);
        emit list->aboutToShow();
        QVERIFY(list->actions()[2]->isChecked() && !list->actions()[0]->isChecked());
        d->CloseAllFiles();
        emit list->aboutToShow();
        QCOMPARE(list->actions().size(), 1);
        QVERIFY(!list->actions()[0]->isEnabled());
    }

    // Any sequence of opens, switches, closes and removals keeps the invariants, and Close All
    // File or the window close leaves no working folder of the run on disk.
    void randomSequencesLeaveNoWorkingFolder_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<bool>("windowClose");
        for (quint32 seed : {1u, 2u, 3u, 4u}) {
            QTest::addRow("seed %u, Close All File", seed) << seed << false;
            QTest::addRow("seed %u, window close", seed) << seed + 100 << true;
        }
    }
    void randomSequencesLeaveNoWorkingFolder()
    {
        QFETCH(quint32, seed);
        QFETCH(bool, windowClose);
        FolderFixture fx(4);
        fx.world.files["c.krv"] = {};
        auto d = fx.MakeDialog();
        QRandomGenerator random(seed);
        for (int step = 0; step < 40; ++step) {
            const int n = static_cast<int>(d->files().fileCount());
            const int pick = n > 0 ? random.bounded(n) : 0;
            // c.krv is played directly: mixes empty working-folder strings in.
            switch (random.bounded(9)) {
            case 0: d->OnDropFiles({fx.paths[random.bounded(4)]}); break;
            case 1:
                d->chooseFiles = [&](QWidget*) { return QStringList{fx.paths[1]}; };
                d->OnLoad();
                break;
            case 2: d->NextInFolder(); break;
            case 3: d->PreviousInFolder(); break;
            case 4: d->CloseFile(); break;
            case 5: d->OpenFileEntry(pick); break;
            case 6: d->RemoveFileEntry(pick); break;
            case 7: d->AddFileEntry(fx.paths[3]); break;
            case 8:
                if (random.bounded(4) == 0)
                    d->CloseAllFiles();
                break;
            }
            fx.Channels(random.bounded(5) == 0 ? std::vector<std::string>{} : std::vector<std::string>{"Video1.krv"});
            const QString broken = Broken(*d);
            QVERIFY2(broken.isEmpty(), qPrintable(QString("step %1: %2").arg(step).arg(broken)));
        }
        if (windowClose) {
            d->show();
            d->close();
        } else {
            d->CloseAllFiles();
        }
        QVERIFY(WorkFoldersOnDisk().isEmpty());
        QCOMPARE(fx.world.alive, 0);
    }
};

QTEST_MAIN(PlayerFilesTest)
#include "test_player_files.moc"
