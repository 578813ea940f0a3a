// The Tool commands and the Audio Device menu on scripted graphs: which graphs are asked for
// snapshots and under which names, the device list and its command, the "iShowTools" opt-in.
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include "player_fixture.h"
#include "resources/resource_ids.h"

using namespace vedra;
using namespace vedra::test;

namespace {

void Uncheck(CVedraPlayerDlg& d, int box)
{
    d.checkBox(IDC_CHANNEL_1 + box)->setChecked(false);
    d.deck().OnChannelBox(box);
}

struct FourChannels : PlayerFixture {
    FourChannels()
    {
        for (const char* n : {"Audio1.wav", "Video1.krv", "Video2.krv", "Video3.krv", "Video4.krv"})
            world.files[n] = {};
        Channels({"Audio1.wav", "Video1.krv", "Video2.krv", "Video3.krv", "Video4.krv"});
    }
};

} // namespace

class PlayerCommandsTest : public QObject {
    Q_OBJECT

private slots:
    // Channels 1 and 3 checked: two requests, distinct names of this second in the snapshot
    // folder; unchecked channels get none. A paused graph is nudged to decode its frame again.
    void snapshotsArmTheCheckedChannels_data()
    {
        QTest::addColumn<bool>("jpeg");
        QTest::newRow("JPG") << true;
        QTest::newRow("BMP") << false;
    }
    void snapshotsArmTheCheckedChannels()
    {
        QFETCH(bool, jpeg);
        FourChannels fx;
        auto d = fx.MakeDialog();
        d->OnDropFiles({fx.MakeRecording("a.krv")});
        d->OnPause();
        Uncheck(*d, 1);
        Uncheck(*d, 3);
        std::vector<FakeGraph*> graphs;
        for (auto& g : d->files().recording(0).channelGraphs)
            graphs.push_back(Fake(g.get()));
        for (FakeGraph* g : graphs)
            g->seeks.clear();
        QTest::mouseClick(static_cast<QPushButton*>(d->control(jpeg ? IDC_JPG : IDC_BMP)), Qt::LeftButton);
        QCOMPARE(graphs[0]->snapshots.size(), size_t{1});
        QCOMPARE(graphs[2]->snapshots.size(), size_t{1});
        QVERIFY(graphs[1]->snapshots.empty() && graphs[3]->snapshots.empty());
        const QString first = QString::fromStdString(graphs[0]->snapshots[0]);
        const QString third = QString::fromStdString(graphs[2]->snapshots[0]);
        const QString prefix = (jpeg ? "jpg:" : "bmp:") + d->picFolder;
        QVERIFY2(first.startsWith(prefix), qPrintable(first));
        const QString name = first.mid(prefix.size());
        QVERIFY2(QRegularExpression(jpeg ? "^\\d{14}\\.jpg$" : "^\\d{14}\\.bmp$").match(name).hasMatch(),
                 qPrintable(name));
        QVERIFY(third != first); // no channel's picture replaces another's
        QCOMPARE(graphs[0]->seeks.size(), size_t{1});
        QCOMPARE(d->deck().AudioSlot()->IsPaused(), true);
    }

    void snapshotWithNothingOpenDoesNothing()
    {
        PlayerFixture fx;
        auto d = fx.MakeDialog();
        d->OnJpg();
        d->OnBmp();
        d->OnAvi(); // no recording shown: not even the save dialog
        QVERIFY(QDir(d->picFolder).entryList(QDir::Files).isEmpty());
    }

    void aviWithNothingCheckedExportsNothing()
    {
        FourChannels fx;
        auto d = fx.MakeDialog();
        d->OnDropFiles({fx.MakeRecording("a.krv")});
        d->OnPause();
        for (int i = 0; i < 4; ++i)
            Uncheck(*d, i);
        int asked = 0;
        d->chooseExportFile = [&](QWidget*, const QString& proposed) {
            ++asked;
            [&] { QVERIFY(QRegularExpression("^\\d{14}$").match(proposed).hasMatch()); }();
            return fx.home.filePath("out/x.avi");
        };
        d->OnAvi();
        QCOMPARE(asked, 1);
        QVERIFY(d->control(IDC_AVI)->isEnabled());
        QVERIFY(!d->exportJob.running);
        d->chooseExportFile = [](QWidget*, const QString&) { return QString(); }; // cancelled
        d->OnAvi();
        QVERIFY(d->control(IDC_AVI)->isEnabled());
    }

    // Exports that write nothing say so, one message per channel, and the chain still ends
    // with the button enabled.
    void failedExportsAreReported()
    {
        FourChannels fx;
        auto d = fx.MakeDialog();
        d->OnDropFiles({fx.MakeRecording("a.krv")});
        d->OnPause();
        Uncheck(*d, 1);
        Uncheck(*d, 3);
        QFile notAFolder(fx.home.filePath("file"));
        QVERIFY(notAFolder.open(QIODevice::WriteOnly));
        d->chooseExportFile = [&](QWidget*, const QString&) { return notAFolder.fileName() + "/x.avi"; };
        d->OnAvi();
        QVERIFY(!d->control(IDC_AVI)->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(fx.messages.size(), 2, 10000);
        QTRY_VERIFY(d->control(IDC_AVI)->isEnabled() && !d->exportJob.running);
        QCOMPARE(d->nextExportChannel, 3);
        QCOMPARE(fx.messages[0], QString("Failed to write the AVI file, please check it !"));
    }

    // The names the machine reports, "Default..." and "Direct..." aliases left out, as items
    // 1740 + i; the check mark follows the choice; the command pauses everything at channel
    // 1's position.
    void audioDeviceMenu()
    {
        FourChannels fx;
        auto d = fx.MakeDialog(false);
        d->enumerateAudioDevices = [](std::vector<AudioDevice>& devices) {
            for (const char* name : {"Default DirectSound Device", "DirectSound: Speakers", "Speakers",
                                     "default waveout device", "USB Headset (DEFAULT profile)"})
                if (IsListedAudioDeviceName(name))
                    devices.push_back(AudioDevice{name, {}});
        };
        QVERIFY(d->OnInitDialog());
        QMenu* menu = d->fileMenu->findChild<QMenu*>("Audio Device");
        emit menu->aboutToShow();
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(menu->actions()[0]->text(), QString("Speakers"));
        QCOMPARE(menu->actions()[1]->text(), QString("USB Headset (DEFAULT profile)"));
        QCOMPARE(menu->actions()[0]->data().toInt(), 1740);
        QCOMPARE(menu->actions()[1]->data().toInt(), 1741);
        QVERIFY(menu->actions()[0]->isChecked() && !menu->actions()[1]->isChecked());

        menu->actions()[1]->trigger(); // nothing loaded: nothing happens
        QCOMPARE(d->selectedAudioDevice, 0);

        d->OnDropFiles({fx.MakeRecording("a.krv")});
        FakeGraph* channel1 = Fake(d->deck().ChannelSlot(0));
        channel1->position = 1.25;
        menu->actions()[1]->trigger();
        QCOMPARE(d->selectedAudioDevice, 1);
        FakeGraph* audio = Fake(d->deck().AudioSlot());
        QCOMPARE(audio->device, std::string("USB Headset (DEFAULT profile)"));
        QVERIFY(audio->IsPaused());
        QCOMPARE(audio->position, 1.25);
        for (int k = 1; k <= 4; ++k)
            QVERIFY(d->deck().ChannelSlot(k - 1)->IsPaused());
        emit menu->aboutToShow();
        QVERIFY(!menu->actions()[0]->isChecked() && menu->actions()[1]->isChecked());
        d->OnAudioDevice(1760); // outside the list
        QCOMPARE(d->selectedAudioDevice, 1);
    }

    void noAudioDeviceKeepsThePlaceholder()
    {
        PlayerFixture fx;
        auto d = fx.MakeDialog();
        QMenu* menu = d->fileMenu->findChild<QMenu*>("Audio Device");
        QCOMPARE(menu->actions().size(), 1);
        QVERIFY(!menu->actions()[0]->isEnabled());
    }

    // "iShowTools" = 1 shows the Tool group and opens the File menu on a right-click; without
    // it (or with any other value) both stay as the template has them.
    void showToolsOptIn_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("shown");
        QTest::newRow("no Config.INI") << QByteArray() << false;
        QTest::newRow("iShowTools=1") << QByteArray("[SYS_SETTING]\niShowTools=1\n") << true;
        QTest::newRow("iShowTools=0") << QByteArray("[SYS_SETTING]\niShowTools=0\n") << false;
        QTest::newRow("other section") << QByteArray("[OTHER]\niShowTools=1\n") << false;
    }
    void showToolsOptIn()
    {
        QFETCH(QByteArray, ini);
        QFETCH(bool, shown);
        PlayerFixture fx;
        if (!ini.isEmpty()) {
            QFile f(fx.home.filePath("prog/Config.INI"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(ini);
        }
        auto d = fx.MakeDialog();
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.get()));
        for (int id : {IDC_TOOL_GROUP, IDC_BMP, IDC_JPG, IDC_AVI})
            QCOMPARE(d->control(id)->isVisible(), shown);
        const QPoint at(200, 300);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, d->mapToGlobal(at));
        QApplication::sendEvent(d.get(), &event);
        QCOMPARE(d->fileMenu->isVisible(), shown);
        if (shown)
            QCOMPARE(d->fileMenu->pos(), d->mapToGlobal(at) - QPoint(3, 7));
        d->fileMenu->hide();
    }
};

QTEST_MAIN(PlayerCommandsTest)
#include "test_player_commands.moc"
