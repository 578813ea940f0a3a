// The open recordings without a window: a deck on plain controls, a host that records what the
// window would show, scripted graphs and a scripted split.
#include <QTest>

#include "deck_fixture.h"
#include "player_fixture.h"
#include "shell/open_recordings.h"

using namespace vedra;
using namespace vedra::test;

namespace {

struct RecordingHost : RecordingsHost {
    void Tell(const QString& text, const QString&) override { told << text; }
    ConversionOutcome Split(const std::function<ConversionOutcome()>& job) override { return job(); }
    void Notice(const QString& text) override { notices << text; }
    void Pause(int) override {}
    void CurrentChanged() override { ++changes; }
    int TrackbarPosition() const override { return position; }
    void SetTrackbarPosition(int p) override { position = p; }
    QStringList told;
    QStringList notices;
    int changes = 0;
    int position = 0;
};

// Recordings a.krv ... of one channel each, split by the window fixture's scripted split.
struct ModelFixture : PlayerFixture {
    explicit ModelFixture(int count, int failing = -1)
    {
        OneChannel();
        for (int i = 0; i < count; ++i)
            paths << MakeRecording(QString(QChar('a' + i)) + ".krv", i == failing ? 200 : 0);
        model.graphFactory = MakeFactory(&world);
        model.openPauseMs = 0;
        dialogSplit = MakeDialog(false);
        model.convertRecording = dialogSplit->files().convertRecording;
    }
    int Open(const QString& path)
    {
        const int entry = model.AddFileEntry(path);
        model.OpenFileEntry(entry);
        return entry;
    }
    QStringList paths;
    FakeDeckControls controls;
    ChannelDeck deck{controls, nullptr};
    RecordingHost host;
    OpenRecordings model{deck, host};
    std::unique_ptr<CVedraPlayerDlg> dialogSplit; // lends its scripted split only
};

} // namespace

class OpenRecordingsTest : public QObject {
    Q_OBJECT

private slots:
    // Each row: recordings opened, then one operation; what stays open, on screen and on disk.
    void operations_data()
    {
        QTest::addColumn<int>("opened");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("open");    // recordings open afterwards
        QTest::addColumn<int>("current"); // entry on screen, -1 none
        QTest::addColumn<int>("entries");
        QTest::newRow("open one") << 1 << "" << 1 << 0 << 1;
        QTest::newRow("switch to the first") << 2 << "switch 0" << 2 << 0 << 2;
        QTest::newRow("switch to none") << 2 << "switch 5" << 2 << 1 << 2;
        QTest::newRow("evict") << 3 << "evict" << 0 << -1 << 3;
        QTest::newRow("a sixth makes room") << 6 << "" << 1 << 5 << 6;
        QTest::newRow("close the one on screen") << 2 << "close" << 1 << -1 << 1;
        QTest::newRow("close all") << 3 << "close all" << 0 << -1 << 0;
        QTest::newRow("remove one not on screen") << 3 << "remove 0" << 2 << 1 << 2;
        QTest::newRow("next in the folder") << 1 << "next" << 2 << 1 << 2;
        QTest::newRow("previous of the first") << 1 << "previous" << 1 << 0 << 1;
    }
    void operations()
    {
        QFETCH(int, opened);
        QFETCH(QString, operation);
        QFETCH(int, open);
        QFETCH(int, current);
        QFETCH(int, entries);
        ModelFixture fx(6);
        OpenRecordings& m = fx.model;
        for (int i = 0; i < opened; ++i)
            fx.Open(fx.paths[i]);
        const QStringList words = operation.split(' ');
        const int n = words.size() > 1 ? words.last().toInt() : 0;
        if (words[0] == "switch")
            m.SwitchToRecording(n);
        if (words[0] == "evict")
            m.EvictRecordings();
        if (operation == "close")
            m.CloseFile();
        if (operation == "close all")
            m.CloseFiles(true);
        if (words[0] == "remove")
            m.RemoveFileEntry(n);
        if (words[0] == "next")
            m.NextInFolder();
        if (words[0] == "previous")
            m.PreviousInFolder();
        QCOMPARE(m.recordingCount(), open);
        QCOMPARE(m.currentFile(), current);
        QCOMPARE(m.fileCount(), entries);
        const int r = m.RecordingIndexOf(current);
        QCOMPARE(fx.deck.recording(), r >= 0 ? static_cast<Recording*>(&m.recording(r)) : nullptr);
        for (int k = 0; k < m.recordingCount(); ++k)
            QVERIFY(QDir(m.recording(k).workFolder).exists());
        QCOMPARE(QDir(QString::fromStdString(WorkRoot())).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), open);
        QCOMPARE(fx.world.alive, open);
        QVERIFY(fx.host.told.isEmpty());
    }

    // A file that does not open leaves the one on screen and tells why; nothing is kept of it.
    void failingFileLeavesTheScreen_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("told");
        QTest::newRow("not a recording's name") << "a.txt"
                                                << "Not supported file format !!!";
        QTest::newRow("missing") << "gone.krv"
                                 << "Failed to open the file to read, please check it !";
        QTest::newRow("nothing renders") << "b.krv"
                                         << "";
    }
    void preparedOneLeavesNothingBehind();
    void goingToThePreparedOneTakesIt();
    void playThroughGoesOnInFolderOrder_data();
    void playThroughGoesOnInFolderOrder();
    void failingFileLeavesTheScreen()
    {
        QFETCH(QString, name);
        QFETCH(QString, told);
        ModelFixture fx(2);
        fx.Open(fx.paths[0]);
        Recording* shown = fx.deck.recording();
        fx.Channels({}); // played directly, and nothing renders it
        fx.world.files.erase("b.krv");
        const int entry = fx.Open(name == "b.krv" ? fx.paths[1] : fx.home.filePath("rec/" + name));
        QCOMPARE(fx.host.told, told.isEmpty() ? QStringList() : QStringList{told});
        QVERIFY(!fx.model.IsOpenEntry(entry));
        QCOMPARE(fx.model.recordingCount(), 1);
        QCOMPARE(fx.deck.recording(), shown);
        QCOMPARE(fx.model.currentFile(), 0);
        QCOMPARE(QDir(QString::fromStdString(WorkRoot())).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
    }
};

void OpenRecordingsTest::playThroughGoesOnInFolderOrder_data()
{
    QTest::addColumn<int>("failing"); // folder position that does not open, -1 none
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("every one") << -1 << QStringList{"a.krv", "b.krv", "c.krv", "d.krv"};
    QTest::newRow("a failing one skipped") << 1 << QStringList{"a.krv", "c.krv", "d.krv"};
}

// Each end goes on with the next of the folder and closes the one left behind; never more than
// two working folders; a file that fails is skipped with a notice, never a box; at the last
// one's end nothing follows.
void OpenRecordingsTest::playThroughGoesOnInFolderOrder()
{
    QFETCH(int, failing);
    QFETCH(QStringList, shown);
    ModelFixture fx(4, failing);
    OpenRecordings& m = fx.model;
    fx.Open(fx.paths[0]);
    m.SetPlayThrough(true);
    QStringList seen{QFileInfo(m.filePath(m.currentFile())).fileName()};
    const QString root = QString::fromStdString(WorkRoot());
    for (int step = 0; step < 5; ++step) {
        for (int tick = 0; tick < 3; ++tick)
            m.Prepare();
        QVERIFY(QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() <= 2);
        if (!m.PlayOnAfterEnd())
            break;
        seen << QFileInfo(m.filePath(m.currentFile())).fileName();
        QCOMPARE(m.recordingCount(), 1);
        QCOMPARE(fx.deck.recording(), static_cast<Recording*>(&m.recording(0)));
    }
    QCOMPARE(seen, shown);
    QVERIFY(fx.host.told.isEmpty());
    QCOMPARE(fx.host.notices.size(), failing < 0 ? 0 : 1);
    m.SetPlayThrough(false);
    QCOMPARE(QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
    QCOMPARE(fx.world.alive, 1);
}

// A next one made ready and no longer wanted (another load rescans the folder, or everything
// closes) leaves no working folder behind, also while its split still runs.
void OpenRecordingsTest::preparedOneLeavesNothingBehind()
{
    for (const bool closeAll : {false, true}) {
        ModelFixture fx(3);
        fx.Open(fx.paths[0]);
        fx.model.SetPlayThrough(true); // b's split starts
        const QString root = QString::fromStdString(WorkRoot());
        auto folders = [&root] { return QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(); };
        if (closeAll) {
            fx.model.CloseFiles(true);
            QCOMPARE(folders(), 0);
            continue;
        }
        fx.model.SetPlayThrough(false);
        fx.Open(fx.paths[2]);
        // b's split may not have made its folder yet: what it wrote goes once it has ended.
        QTRY_VERIFY((fx.model.Prepare(), fx.model.abandonedSplits() == 0));
        QCOMPARE(folders(), 2); // a and c
        QCOMPARE(fx.model.workFolders().size(), 2);
    }
}

// Next, Ctrl+G or a click onto the one made ready for playing on takes it as it is: no second
// split, and its working folder is the one shown.
void OpenRecordingsTest::goingToThePreparedOneTakesIt()
{
    ModelFixture fx(3);
    fx.Open(fx.paths[0]);
    fx.model.SetPlayThrough(true); // b's split starts
    QTRY_COMPARE(fx.splits, 2);
    fx.model.NextInFolder();
    QCOMPARE(fx.splits, 2);
    QCOMPARE(QFileInfo(fx.model.filePath(fx.model.currentFile())).fileName(), QString("b.krv"));
    QCOMPARE(fx.model.workFolders().size(), 2);
    QVERIFY(fx.host.told.isEmpty());
}

QTEST_MAIN(OpenRecordingsTest)
#include "test_open_recordings.moc"
