// Panes, view modes, transport and the loader, on scripted graphs.
#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <QThread>
#include <QTimer>

#include "player_fixture.h"
#include "resources/resource_ids.h"
#include "shell/deck_widgets.h"
#include "shell/work_tree.h"
#include "view/video_pane.h"

using namespace vedra;
using namespace vedra::test;

namespace {

bool Checked(CVedraPlayerDlg& d, int id)
{
    return d.checkBox(id)->isChecked();
}
bool Enabled(CVedraPlayerDlg& d, int id)
{
    return d.checkBox(id)->isEnabled();
}
QString Label(CVedraPlayerDlg& d, int id)
{
    return static_cast<QLabel*>(d.control(id))->text();
}

// The user clicking a channel box (the auto box toggles, then the handler runs).
void Click(CVedraPlayerDlg& d, int box)
{
    QCheckBox* cb = d.checkBox(IDC_CHANNEL_1 + box);
    cb->setChecked(!cb->isChecked());
    d.deck().OnChannelBox(box);
}

void SetProgress(CVedraPlayerDlg& d, int p)
{
    d.trackbar(IDC_PROGRESS)->setValue(p);
    d.trackbar(IDC_PROGRESS)->setSliderPosition(p);
}

} // namespace

class PlayerViewTest : public QObject {
    Q_OBJECT

private slots:
    void rank_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("box");
        QTest::addColumn<int>("rank");
        QTest::newRow("all present, box 3") << 0x0F << 3 << 3;
        QTest::newRow("channels 2 and 4, box 1") << 0x0A << 1 << 0;
        QTest::newRow("channels 2 and 4, box 3") << 0x0A << 3 << 1;
        QTest::newRow("channels 1 and 3, box 2") << 0x05 << 2 << 1;
        QTest::newRow("box 0 always rank 0") << 0xFF << 0 << 0;
    }
    void rank()
    {
        QFETCH(int, mask);
        QFETCH(int, box);
        QFETCH(int, rank);
        QCOMPARE(ChannelDeck::Rank(static_cast<uint8_t>(mask), box), rank);
    }

    void fourChannelsOpenInQuadViewAndPlay()
    {
        PlayerFixture fx;
        for (const char* n : {"Audio1.wav", "Video1.krv", "Video2.krv", "Video3.krv", "Video4.krv"})
            fx.world.files[n] = {};
        fx.world.files["Video3.krv"].duration = 120;
        fx.Channels({"Audio1.wav", "Video1.krv", "Video2.krv", "Video3.krv", "Video4.krv"});
        auto d = fx.MakeDialog();
        const QString path = fx.MakeRecording("cam.krv", 2);
        d->OnDropFiles({path});
        QVERIFY(fx.messages.isEmpty());
        QCOMPARE(d->deck().channelMask(), uint8_t{0x0F});
        QCOMPARE(d->deck().visibleCount(), 4);
        QCOMPARE(d->deck().audioChannel(), 2);
        QCOMPARE(d->deck().maxDuration(), 120.0f);
        QCOMPARE(Label(*d, IDC_TOTAL_TIME), QString("120"));
        QCOMPARE(TitleFile(*d), path);
        QVERIFY(!d->control(IDC_PANE_1)->isHidden() && d->control(IDC_PANE_LARGE)->isHidden());
        for (int j = 0; j < 4; ++j) {
            QVERIFY(Checked(*d, IDC_CHANNEL_1 + j));
            QVERIFY(!Enabled(*d, IDC_CHANNEL_1 + j)); // locked while playing
            QCOMPARE(Fake(d->deck().ChannelSlot(j))->pane, d->pane(IDC_PANE_1 + j));
            QCOMPARE(Fake(d->deck().ChannelSlot(j))->state, FakeGraph::State::kRunning);
        }
        QVERIFY(Checked(*d, IDC_AUDIO) && d->deck().audioPresent());
        QCOMPARE(Fake(d->deck().AudioSlot())->state, FakeGraph::State::kRunning);
        QCOMPARE(d->deck().playingMask(), uint8_t{0x0F});
        QCOMPARE(d->trackbar(IDC_VOLUME)->value(), 10000);
    }

    void vgaChannelOpensInSingleView()
    {
        PlayerFixture fx;
        fx.world.files["Video1.krv"] = {true, 30, 1};
        fx.Channels({"Video1.krv"});
        auto d = fx.MakeDialog();
        d->OnDropFiles({fx.MakeRecording("one.krv")});
        QVERIFY(d->deck().recording()->singleView);
        QVERIFY(!d->control(IDC_PANE_LARGE)->isHidden());
        QVERIFY(d->control(IDC_PANE_1)->isHidden() && d->control(IDC_PANE_LABEL_1)->isHidden());
        QCOMPARE(Fake(d->deck().ChannelSlot(0))->pane, d->pane(IDC_PANE_LARGE));
    }

    // Channels 1 and 3 of the split do not render: the others keep their positions.
    void channelsTwoAndFourOnly()
    {
        PlayerFixture fx;
        fx.world.files["Video2.krv"] = {true, 50, 0};
        fx.world.files["Video4.krv"] = {true, 80, 0};
        fx.Channels({"Video1.krv", "Video2.krv", "Video3.krv", "Video4.krv"});
        auto d = fx.MakeDialog();
        d->OnDropFiles({fx.MakeRecording("two.krv", 3)});
        QCOMPARE(d->deck().channelMask(), uint8_t{0x0A});
        QCOMPARE(d->deck().visibleCount(), 2);
        FakeGraph* ch2 = Fake(d->deck().ChannelSlot(0));
        FakeGraph* ch4 = Fake(d->deck().ChannelSlot(1));
        QVERIFY(ch2->path().ends_with("Video2.krv") && ch4->path().ends_with("Video4.krv"));
        QCOMPARE(ch2->pane, d->pane(1012));
        QCOMPARE(ch4->pane, d->pane(1014));
        d->OnStop();
        d->OnTimer(); // unlocks the boxes
        QVERIFY(Enabled(*d, 1022) && Enabled(*d, 1024));
        QVERIFY(!Enabled(*d, 1021) && !Enabled(*d, 1023));

        // Unchecking 1024 moves channel 2 into the large pane; maxDuration falls to 50.
        Click(*d, 3);
        QCOMPARE(d->deck().visibleCount(), 1);
        QVERIFY(d->deck().ChannelSlot(1) == nullptr);
        QCOMPARE(ch4->pane, nullptr);
        QCOMPARE(ch2->pane, d->pane(IDC_PANE_LARGE));
        QVERIFY(!d->control(IDC_PANE_LARGE)->isHidden() && d->control(1012)->isHidden());
        QCOMPARE(d->deck().maxDuration(), 50.0f);
        QVERIFY(Checked(*d, 1022));

        // Checking it again returns both to their own panes, at the trackbar time.
        SetProgress(*d, 500);
        Click(*d, 3);
        QCOMPARE(d->deck().visibleCount(), 2);
        QCOMPARE(ch2->pane, d->pane(1012));
        QCOMPARE(ch4->pane, d->pane(1014));
        QVERIFY(d->control(IDC_PANE_LARGE)->isHidden());
        QCOMPARE(d->deck().maxDuration(), 80.0f);
        QCOMPARE(ch4->seeks.back(), 40.0);

        // Detaching a channel that is not the longest leaves maxDuration alone.
        Click(*d, 1);
        QCOMPARE(d->deck().maxDuration(), 80.0f);
        QCOMPARE(d->deck().visibleCount(), 1);
        // Unchecking the last one leaves the large pane shown and empty.
        Click(*d, 3);
        QCOMPARE(d->deck().visibleCount(), 0);
        QVERIFY(!d->control(IDC_PANE_LARGE)->isHidden());
        QCOMPARE(d->deck().maxDuration(), 0.0f);
    }

    void audioFollowsItsChannelBox()
    {
        PlayerFixture fx;
        for (const char* n : {"Audio1.wav", "Video1.krv", "Video2.krv", "Video3.krv"})
            fx.world.files[n] = {};
        fx.Channels({"Audio1.wav", "Video1.krv", "Video2.krv", "Video3.krv"});
        auto d = fx.MakeDialog();
        d->OnDropFiles({fx.MakeRecording("a.krv", 2)});
        d->OnPause();
        FakeGraph* audio = Fake(d->deck().AudioSlot());
        SetProgress(*d, 250);
        Click(*d, 2); // box 1023 carries the audio
        QVERIFY(!Checked(*d, IDC_AUDIO));
        QVERIFY(d->deck().AudioSlot() == nullptr);
        QCOMPARE(audio->state, FakeGraph::State::kStopped);
        QCOMPARE(audio->position, 0.0);
        d->trackbar(IDC_VOLUME)->setValue(3000);
        Click(*d, 2);
        QVERIFY(Checked(*d, IDC_AUDIO));
        QCOMPARE(d->deck().AudioSlot(), audio);
        QCOMPARE(d->trackbar(IDC_VOLUME)->value(), 10000);
        QCOMPARE(audio->position, 2.5); // 10 s x 250 / 1000, positioned, not started
        QCOMPARE(audio->state, FakeGraph::State::kStopped);
    }

    void transport()
    {
        PlayerFixture fx;
        fx.world.files["Audio1.wav"] = {true, 120, 0};
        fx.world.files["Video1.krv"] = {true, 120, 0};
        fx.world.files["Video2.krv"] = {true, 60, 0};
        fx.Channels({"Audio1.wav", "Video1.krv", "Video2.krv"});
        auto d = fx.MakeDialog();
        d->OnDropFiles({fx.MakeRecording("t.krv", 4)});
        FakeGraph* ch1 = Fake(d->deck().ChannelSlot(0));
        FakeGraph* ch2 = Fake(d->deck().ChannelSlot(1));
        FakeGraph* audio = Fake(d->deck().AudioSlot());
        d->OnPause();
        QCOMPARE(d->deck().playingMask(), uint8_t{0});

        // Play at 500 of 120 s starts every checked channel and the audio at 60 s, on one clock.
        SetProgress(*d, 500);
        audio->position = 3;
        d->OnPlay();
        QCOMPARE(ch1->seeks.back(), 60.0);
        QCOMPARE(ch2->seeks.back(), 60.0);
        QCOMPARE(audio->position, 60.0);
        QVERIFY(ch1->baseTime != 0);
        QCOMPARE(ch2->baseTime, ch1->baseTime);
        QCOMPARE(audio->baseTime, ch1->baseTime);
        QCOMPARE(d->deck().playingMask(), uint8_t{0x03});
        QVERIFY(!Enabled(*d, 1021));

        // The timer follows the lowest playing slot.
        ch1->position = 90;
        d->OnTimer();
        QCOMPARE(d->trackbar(IDC_PROGRESS)->value(), 750);
        QCOMPARE(Label(*d, IDC_CURRENT_TIME), QString("90"));
        QVERIFY(!Enabled(*d, 1021));

        // Pause realigns every channel and the audio at the trackbar time.
        ch2->position = 88.5;
        d->OnPause();
        QCOMPARE(ch1->position, 90.0);
        QCOMPARE(ch2->position, 90.0);
        QCOMPARE(audio->position, 90.0);
        QCOMPARE(ch1->state, FakeGraph::State::kPaused);
        QVERIFY(Enabled(*d, 1021));

        // End of one channel: the other goes on; end of the last one resets the timeline.
        d->OnPlay();
        ch1->ended = true;
        d->OnGraphNotify(0);
        QCOMPARE(d->deck().playingMask(), uint8_t{0x02});
        ch2->position = 100;
        d->OnTimer();
        QCOMPARE(Label(*d, IDC_CURRENT_TIME), QString("100"));
        ch2->ended = true;
        d->OnGraphNotify(0);
        QCOMPARE(d->deck().playingMask(), uint8_t{0});
        QCOMPARE(d->trackbar(IDC_PROGRESS)->value(), 0);
        QCOMPARE(Label(*d, IDC_CURRENT_TIME), QString("0"));
        QCOMPARE(audio->state, FakeGraph::State::kStopped);
        QCOMPARE(audio->position, 0.0);
        QVERIFY(!Enabled(*d, 1021));
        d->OnTimer();
        QVERIFY(Enabled(*d, 1021) && Enabled(*d, 1022));

        // Volume trackbar: position - 10000; Stop rewinds to 0.
        d->trackbar(IDC_VOLUME)->setValue(0);
        d->OnHScroll(IDC_VOLUME);
        QCOMPARE(audio->volume, -10000);
        SetProgress(*d, 100);
        d->OnHScroll(IDC_PROGRESS);
        QCOMPARE(ch1->position, 12.0);
        QCOMPARE(Label(*d, IDC_CURRENT_TIME), QString("12"));
        d->OnStop();
        QCOMPARE(ch1->state, FakeGraph::State::kStopped);
        QCOMPARE(d->trackbar(IDC_PROGRESS)->value(), 0);
    }

    void labelsUseSixSignificantDigits_data()
    {
        QTest::addColumn<float>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0f << "0";
        QTest::newRow("rounded") << 12.345678f << "12.3457";
        QTest::newRow("no trailing zeros") << 125.5f << "125.5";
    }
    void labelsUseSixSignificantDigits()
    {
        QFETCH(float, seconds);
        QFETCH(QString, text);
        QCOMPARE(TimeLabelText(seconds), text);
    }

    void transportWithNothingOpenDoesNothing()
    {
        PlayerFixture fx;
        auto d = fx.MakeDialog();
        d->OnPlay();
        d->OnPause();
        d->OnStop();
        d->OnReplay();
        QCOMPARE(d->deck().playingMask(), uint8_t{0});
    }

    void openingFailures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("definition");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("message");
        QTest::newRow("not a recording") << "clip.mp4" << 0 << true << "Not supported file format !!!";
        QTest::newRow("missing file") << "gone.krv" << 0 << false
                                      << "Failed to open the file to read, please check it !";
        QTest::newRow("audio channel 5") << "bad.krv" << 0x15 << true
                                         << "The Audio channel definition isn't correct, please check it !";
    }
    void openingFailures()
    {
        QFETCH(QString, name);
        QFETCH(int, definition);
        QFETCH(bool, exists);
        QFETCH(QString, message);
        PlayerFixture fx;
        auto d = fx.MakeDialog();
        const QString path = fx.MakeRecording(name, static_cast<unsigned char>(definition));
        if (!exists)
            QFile::remove(path);
        d->OnDropFiles({path});
        QCOMPARE(fx.messages, QStringList{message});
        QVERIFY((d->files().recordingCount() == 0));
        QCOMPARE(d->files().fileCount(), 1);
        // Mended: the entry does not stay open with an index nobody holds.
        QVERIFY(!d->files().IsOpenEntry(0));
        QCOMPARE(d->files().RecordingIndexOf(0), -1);
        QCOMPARE(d->files().currentFile(), -1);
    }

    void splitErrorPlaysTheFileDirectly()
    {
        PlayerFixture fx;
        fx.splitMessages = {"The KRV File Parse Error (KRV_ERROR_INVALID_STREAM_NUMBER)....."};
        const QString path = fx.MakeRecording("Movie.Krv");
        fx.world.files["Movie.Krv"] = {};
        auto d = fx.MakeDialog();
        d->OnDropFiles({path});
        QCOMPARE(fx.messages, QStringList{QString::fromStdString(fx.splitMessages[0])});
        QCOMPARE(d->files().workFolders(), QStringList{QString()});
        QCOMPARE(d->deck().channelMask(), uint8_t{1});
        QCOMPARE(d->deck().visibleCount(), 0);
        QCOMPARE(Fake(d->deck().ChannelSlot(0))->path(), path.toStdString()); // the real name, not upper-cased
        QVERIFY(d->files().IsOpenEntry(0));
    }

    void nonAsciiPathOpens()
    {
        PlayerFixture fx;
        fx.OneChannel();
        auto d = fx.MakeDialog();
        const QString path = fx.MakeRecording(QString::fromUtf8("Überwachung/Kamera 東.krv"));
        d->OnDropFiles({path});
        QVERIFY(fx.messages.isEmpty());
        QCOMPARE(d->files().recordingCount(), 1);
        QCOMPARE(TitleFile(*d), path);
    }

    void folderRecordingsInListingOrder()
    {
        PlayerFixture fx;
        fx.OneChannel();
        auto d = fx.MakeDialog();
        const QString b = fx.MakeRecording("b.krv");
        fx.MakeRecording("A.asf");
        fx.MakeRecording("c.KRV");
        fx.MakeRecording("d.Asf");
        // Only names ending in .krv or .asf are recordings.
        for (const char* other : {"notes.txt", "cam_120000.krv.expected", "x.krvx", ".krv"})
            fx.MakeRecording(other);
        QDir().mkpath(fx.home.filePath("rec/x.krv")); // a folder is not listed
        d->OnDropFiles({b});
        const QString rec = fx.home.filePath("rec/");
        QCOMPARE(d->files().folderRecordings(),
                 QStringList({rec + "A.asf", rec + "b.krv", rec + "c.KRV", rec + "d.Asf"}));
        QCOMPARE(d->files().folderIndex(), 1);
    }

    // Each recording keeps its own channel mask, visible count and audio channel.
    void viewStateIsKeptPerRecording()
    {
        PlayerFixture fx;
        for (const char* n : {"Video1.krv", "Video2.krv", "Video3.krv", "Video4.krv"})
            fx.world.files[n] = {};
        fx.Channels({"Video1.krv", "Video2.krv", "Video3.krv", "Video4.krv"});
        auto d = fx.MakeDialog();
        d->OnDropFiles({fx.MakeRecording("a.krv", 1)});
        d->OnPause();
        Click(*d, 0); // the user hides channel 1 of A
        QCOMPARE(d->deck().visibleCount(), 3);
        fx.world.files["Video1.krv"].renders = false;
        fx.world.files["Video3.krv"].renders = false;
        d->OnDropFiles({fx.MakeRecording("b.krv", 4)});
        QCOMPARE(d->deck().channelMask(), uint8_t{0x0A});
        d->deck().TakeOffScreen();
        QVERIFY(d->deck().ShowQuadView(&d->files().recording(0)));
        QCOMPARE(d->deck().channelMask(), uint8_t{0x0F});
        QCOMPARE(d->deck().visibleCount(), 3);
        QCOMPARE(d->deck().audioChannel(), 1);
    }

    void droppedFilesAreListedAndTheFirstOpens()
    {
        PlayerFixture fx;
        fx.OneChannel();
        auto d = fx.MakeDialog();
        const QStringList three = {fx.MakeRecording("x.krv"), fx.MakeRecording("y.krv"), fx.MakeRecording("z.asf")};
        d->OnDropFiles(three);
        QCOMPARE(d->files().fileCount(), 3);
        QCOMPARE(d->files().recordingCount(), 1);
        QVERIFY(d->files().IsOpenEntry(0) && !d->files().IsOpenEntry(1) && !d->files().IsOpenEntry(2));
        QCOMPARE(d->files().currentFile(), 0);
        QCOMPARE(d->files().FileIndexOf(0), 0); // the recording names its entry
    }

    // A/V-sync working folders hold only "<name>_VideoN.asf": nothing is recognised.
    void avSyncFolderOpensEmpty()
    {
        PlayerFixture fx;
        fx.world.files["rec_Video1.asf"] = {};
        fx.Channels({"rec_Video1.asf", "rec_Video2.asf"});
        auto d = fx.MakeDialog();
        d->OnDropFiles({fx.MakeRecording("rec.krv")});
        QCOMPARE(d->files().recordingCount(), 1);
        QVERIFY(d->deck().recording()->channelGraphs.empty());
        QCOMPARE(d->deck().channelMask(), uint8_t{0});
        QVERIFY(d->control(IDC_PANE_LARGE)->isHidden() && !d->control(IDC_PANE_1)->isHidden());
    }

    // The split runs off the GUI thread: the window goes on handling events meanwhile.
    void longSplitKeepsTheWindowAlive()
    {
        PlayerFixture fx;
        fx.world.files["Video1.krv"] = {};
        auto d = fx.MakeDialog();
        auto split = d->files().convertRecording;
        fx.Channels({"Video1.krv"});
        d->files().convertRecording = [split](const std::string& path) {
            QThread::msleep(700);
            return split(path);
        };
        int ticks = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&ticks] { ++ticks; });
        tick.start(50);
        d->OnDropFiles({fx.MakeRecording("slow.krv")});
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
        QCOMPARE(d->files().recordingCount(), 1);
    }

    // Closing the window while a recording splits waits for the loader, then cleans up.
    void closeDuringASplitWaitsForTheLoader()
    {
        PlayerFixture fx;
        fx.world.files["Video1.krv"] = {};
        auto d = fx.MakeDialog();
        d->show();
        auto split = d->files().convertRecording;
        fx.Channels({"Video1.krv"});
        d->files().convertRecording = [split](const std::string& path) {
            QThread::msleep(400);
            return split(path);
        };
        QTimer::singleShot(100, d.get(), [&d] { d->close(); });
        d->OnDropFiles({fx.MakeRecording("slow.krv")});
        QVERIFY(d->isVisible());
        QCOMPARE(d->files().recordingCount(), 1);
        QTRY_VERIFY(!d->isVisible());
        QVERIFY((d->files().recordingCount() == 0));
        QVERIFY(!QDir(QString::fromStdString(WorkRoot())).exists());
    }

    void loadEvictsAtFiveOrMore()
    {
        PlayerFixture fx;
        fx.OneChannel();
        auto d = fx.MakeDialog();
        QStringList six;
        for (int i = 0; i < 6; ++i)
            six << fx.MakeRecording(QString("r%1.krv").arg(i));
        d->OnDropFiles({six[0]});
        d->OnDropFiles({six[1]});
        d->OnDropFiles({six[2]});
        d->OnDropFiles({six[3]});
        d->OnDropFiles({six[4]});
        d->OnDropFiles({six[5]}); // drops skip the limit: six open
        QCOMPARE(d->files().recordingCount(), 6);
        const QString seventh = fx.MakeRecording("r6.krv");
        d->chooseFiles = [&](QWidget*) { return QStringList{seventh}; };
        d->OnLoad();
        QCOMPARE(d->files().recordingCount(), 1);
        QCOMPARE(int(d->files().workFolders().size()), 1);
        QCOMPARE(d->files().RecordingIndexOf(d->files().fileCount() - 1), 0);
        for (int i = 0; i + 1 < d->files().fileCount(); ++i)
            QVERIFY(!d->files().IsOpenEntry(i));
        QCOMPARE(d->files().FileIndexOf(0), 6);
        QCOMPARE(QDir(QString::fromStdString(WorkRoot())).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
        QCOMPARE(fx.world.alive, 1);
    }
};

QTEST_MAIN(PlayerViewTest)
#include "test_player_view.moc"
