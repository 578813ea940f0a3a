// The main window: template, start-up probe, run values, menu, shutdown sequences, screenshot.
#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <set>

#include "player_fixture.h"
#include "resources/dialog_template.h"
#include "resources/resource_ids.h"
#include "shell/registry_store.h"

using namespace vedra;
using namespace vedra::test;

namespace {

uint32_t RunValue(const char* name)
{
    uint32_t value = 0xFFFFFFFF;
    if (auto key = RegistryKey::Open(kRunStateKey))
        key->QueryDword(name, &value);
    return value;
}

} // namespace

class PlayerDialogTest : public QObject {
    Q_OBJECT

private slots:
    void templateIsBuiltAsDrawn()
    {
        PlayerFixture fx;
        auto dlg = fx.MakeDialog();
        QCOMPARE(dlg->windowTitle(), QString("Vedra Media Player"));
        QCOMPARE(dlg->size(), QSize(699, 640));
        QCOMPARE(dlg->minimumSize(), QSize(699, 640)); // the smallest; the window grows
        QVERIFY(dlg->acceptDrops());
        const std::set<int> hiddenAfterInit = {1015, 1003, 1035, 1036, 1031, 1001, 1034, 1002, 1032};
        const std::set<int> disabledAfterInit = {1021, 1022, 1023, 1024, 1025, 1032};
        int count = 0;
        for (const ControlTemplate& t : DialogTemplate()) {
            if (t.id == 0)
                continue;
            ++count;
            QWidget* w = dlg->control(t.id);
            QVERIFY2(w != nullptr, qPrintable(QString::number(t.id)));
            QCOMPARE(w->objectName(), QString::number(t.id));
            QCOMPARE(w->x(), static_cast<int>(t.x * 1.5 + 0.5));
            QCOMPARE(w->y(), static_cast<int>(t.y * 1.625 + 0.5));
            if (t.id != IDC_PLAYLIST) { // sized to its bitmap
                QVERIFY(std::abs(w->width() - t.width * 1.5) <= 1);
                QVERIFY(std::abs(w->height() - t.height * 1.625) <= 1);
            }
            QCOMPARE(w->isHidden(), hiddenAfterInit.count(t.id) == 1);
            QCOMPARE(w->isEnabled(), disabledAfterInit.count(t.id) == 0);
        }
        QCOMPARE(count, 33);
        QCOMPARE(dlg->trackbar(IDC_PROGRESS)->maximum(), 1000);
        QCOMPARE(dlg->trackbar(IDC_VOLUME)->maximum(), 10000);
        QCOMPARE(static_cast<QLabel*>(dlg->control(IDC_CURRENT_TIME))->text(), QString("0.0"));
        const std::map<int, int> icons = {{1016, 135}, {1017, 134}, {1020, 137}, {1035, 136},
                                          {1031, 133}, {1002, 141}, {1030, 146}, {1026, 147}};
        for (const auto& [id, icon] : icons) {
            QCOMPARE(dlg->control(id)->property("iconId").toInt(), icon);
            QVERIFY(!static_cast<QPushButton*>(dlg->control(id))->icon().isNull());
        }
        QCOMPARE(dlg->toolTip.size(), size_t{10});
        QCOMPARE(dlg->control(1031)->toolTip(), QString("Video File To Avi"));
        QCOMPARE(dlg->control(1029)->toolTip(), QString("Video Progress Bar"));
        QVERIFY(dlg->picFolder.endsWith("/prog/Pic/"));
        QVERIFY(QDir(dlg->picFolder).exists());
    }

    void fileMenuItemsAndPopup()
    {
        PlayerFixture fx;
        auto dlg = fx.MakeDialog();
        QStringList items;
        for (QAction* a : dlg->fileMenu->actions())
            items << (a->isSeparator() ? "-" : a->text() + (a->menu() ? "" : ":" + a->data().toString()));
        QCOMPARE(items, QStringList({"Load File..:32772", "Close File:32773", "Close All File:32776", "-", "File List",
                                     "-", "Audio Device", "-", "Exit:32771"}));
        dlg->show();
        const QPoint point(100, 120);
        dlg->PostMessage({.msg = MsgShowFileMenu, .point = point});
        QVERIFY(!dlg->fileMenu->isVisible()); // queued, not run at once
        QTRY_VERIFY(dlg->fileMenu->isVisible());
        QCOMPARE(dlg->fileMenu->pos(), dlg->mapToGlobal(point) - QPoint(3, 7));
        dlg->fileMenu->hide();
    }

    // The probe's reinstall hint: the flag is written before the probe, so the second start
    // of a user whose decoder is missing gets the returning-user wording.
    void probeAndRunFlag()
    {
        PlayerFixture fx;
        fx.world.files["test.krv"].renders = false; // decoder missing
        {
            auto first = fx.MakeDialog();
            QTest::qWait(20);
        }
        {
            auto second = fx.MakeDialog();
            QTest::qWait(20);
        }
        QCOMPARE(fx.world.hints, std::vector<bool>({false, true}));
        QVERIFY(fx.world.rendered[0].ends_with("/prog/test.krv"));
        QCOMPARE(fx.world.alive, 0); // the probes are gone
    }

    void probeFailureClosesTheWindow()
    {
        PlayerFixture fx;
        fx.world.files.erase("test.krv"); // no sample beside the program
        auto dlg = fx.MakeDialog(false);
        QSignalSpy finished(dlg.get(), &QDialog::finished);
        dlg->show();
        QVERIFY(!dlg->OnInitDialog());
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(!dlg->isVisible());
        QVERIFY(fx.messages.isEmpty());      // silent when the sample is missing
        QCOMPARE(RunValue("APPActive"), 0u); // the window-close sequence ran
        QVERIFY(dlg->fileMenu == nullptr);   // the remaining steps were skipped
    }

    void runValuesAfterCloseAndExit_data()
    {
        QTest::addColumn<bool>("viaExit");
        QTest::newRow("window close") << false;
        QTest::newRow("File > Exit") << true;
    }
    void runValuesAfterCloseAndExit()
    {
        QFETCH(bool, viaExit);
        PlayerFixture fx;
        fx.OneChannel();
        auto dlg = fx.MakeDialog();
        dlg->show();
        const uint32_t handle = static_cast<uint32_t>(dlg->winId());
        QCOMPARE(RunValue("APPActive"), 1u);
        QCOMPARE(RunValue("APPHandle"), handle);
        dlg->OnDropFiles({fx.MakeRecording("a.krv")});
        QCOMPARE(int(dlg->files().workFolders().size()), 1);
        QVERIFY(QDir(dlg->files().workFolders()[0]).exists());
        if (viaExit)
            dlg->OnFileExit();
        else
            dlg->close();
        QVERIFY(!dlg->isVisible());
        QCOMPARE(RunValue("APPActive"), viaExit ? 1u : 0u);
        QCOMPARE(RunValue("APPHandle"), viaExit ? handle : 0u);
        QVERIFY(!QDir(QString::fromStdString(WorkRoot())).exists());
        QVERIFY((dlg->files().recordingCount() == 0) && (dlg->files().fileCount() == 0) &&
                dlg->files().workFolders().isEmpty());
        QCOMPARE(fx.world.alive, 0);
    }

    // A quit signal while a message box is up: the box ends first, then the window closes
    // with the full clean-up.
    void quitSignalEndsAnOpenBoxThenTheWindow()
    {
        PlayerFixture fx;
        fx.OneChannel();
        auto dlg = fx.MakeDialog();
        dlg->show();
        dlg->OnDropFiles({fx.MakeRecording("a.krv")});
        bool boxEnded = false;
        QTimer::singleShot(0, dlg.get(), [&] {
            QMessageBox box(QMessageBox::Information, "VedraPlayer", "text", QMessageBox::Ok, dlg.get());
            QTimer::singleShot(50, dlg.get(), [&] { dlg->OnQuitSignal(); });
            box.exec();
            boxEnded = true;
            QVERIFY(dlg->isVisible()); // the close waits for the event loop
        });
        QTRY_VERIFY(boxEnded);
        QTRY_VERIFY(!dlg->isVisible());
        QCOMPARE(RunValue("APPActive"), 0u);
        QVERIFY(!QDir(QString::fromStdString(WorkRoot())).exists());
    }

    // Esc, and Enter away from any button, end the program through the close sequence: no
    // copy of the footage stays behind. Enter on a button presses it. While a dialog of the
    // moment is open (an export), the keys are its own even when they reach the window, and a
    // held key that closed such a dialog repeats into the window without ending the program.
    void escapeAndEnterEndThroughTheCloseSequence_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("focus");
        QTest::addColumn<bool>("dialogOpen");
        QTest::addColumn<bool>("held");
        QTest::addColumn<bool>("closes");
        QTest::newRow("Esc on a button") << int(Qt::Key_Escape) << IDC_PAUSE << false << false << true;
        QTest::newRow("Enter on a box") << int(Qt::Key_Return) << IDC_AUDIO << false << false << true;
        QTest::newRow("Enter on Pause") << int(Qt::Key_Return) << IDC_PAUSE << false << false << false;
        QTest::newRow("Esc beside a dialog") << int(Qt::Key_Escape) << IDC_PAUSE << true << false << false;
        QTest::newRow("Esc held") << int(Qt::Key_Escape) << IDC_PAUSE << false << true << false;
        QTest::newRow("Enter held") << int(Qt::Key_Return) << IDC_AUDIO << false << true << false;
    }
    void escapeAndEnterEndThroughTheCloseSequence()
    {
        QFETCH(int, key);
        QFETCH(int, focus);
        QFETCH(bool, dialogOpen);
        QFETCH(bool, held);
        QFETCH(bool, closes);
        PlayerFixture fx;
        fx.OneChannel();
        auto dlg = fx.MakeDialog();
        dlg->show();
        dlg->OnDropFiles({fx.MakeRecording("a.krv")});
        const QString folder = dlg->files().workFolders()[0];
        QVERIFY(dlg->deck().playingMask() != 0);
        dlg->control(focus)->setFocus();
        QDialog other(dlg.get());
        if (dialogOpen) {
            other.setModal(true);
            other.show();
        }
        // A held key: a marked repeat, then one the window system left unmarked; later, a press.
        const auto press = [&](bool marked, quint64 ms) {
            QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, QString(), marked);
            event.setTimestamp(ms);
            QApplication::sendEvent(dlg.get(), &event);
        };
        if (held) {
            press(true, 10000);
            press(false, 10040);
        } else {
            QTest::keyClick(dlg.get(), static_cast<Qt::Key>(key));
        }
        QCOMPARE(dlg->isVisible(), !closes);
        QCOMPARE(QDir(folder).exists(), !closes);
        QCOMPARE(RunValue("APPActive"), closes ? 0u : 1u);
        if (!closes && !dialogOpen && !held)
            QCOMPARE(dlg->deck().playingMask(), uint8_t{0}); // Pause was pressed
        if (held) {
            // Long after the last repeat, a press is the window's again.
            press(false, 12000);
            QVERIFY(!dlg->isVisible());
        }
    }

    void muteToggles()
    {
        PlayerFixture fx;
        fx.world.files["Audio1.wav"] = {};
        fx.world.files["Video1.krv"] = {};
        fx.Channels({"Audio1.wav", "Video1.krv"});
        auto dlg = fx.MakeDialog();
        dlg->OnMute(); // nothing open: nothing happens
        QCOMPARE(dlg->control(IDC_MUTE)->property("iconId").toInt(), IDI_SOUND_ON);
        dlg->OnDropFiles({fx.MakeRecording("a.krv")});
        FakeGraph* audio = Fake(dlg->deck().AudioSlot());
        audio->volume = -2500;
        dlg->OnMute();
        QCOMPARE(audio->volume, -10000);
        QCOMPARE(dlg->control(IDC_MUTE)->property("iconId").toInt(), IDI_SOUND_OFF);
        dlg->OnMute();
        QCOMPARE(audio->volume, 0); // full, whatever it was before muting
        QCOMPARE(dlg->control(IDC_MUTE)->property("iconId").toInt(), IDI_SOUND_ON);
    }

    void playListSwapsBitmaps()
    {
        PlayerFixture fx;
        auto dlg = fx.MakeDialog();
        QCOMPARE(dlg->playListButton->property("bitmapId").toInt(), IDB_PLAYLIST);
        dlg->OnPlayList();
        QCOMPARE(dlg->playListButton->property("bitmapId").toInt(), IDB_PLAYLIST_SELECTED);
        dlg->OnPlayList();
        QCOMPARE(dlg->playListButton->property("bitmapId").toInt(), IDB_PLAYLIST);
    }

    void fileListCheckMarkFollowsCurrentFile()
    {
        PlayerFixture fx;
        fx.OneChannel();
        auto dlg = fx.MakeDialog();
        QMenu* list = dlg->fileMenu->findChild<QMenu*>("File List");
        QVERIFY(list);
        dlg->OnDropFiles({fx.MakeRecording("a.krv"), fx.MakeRecording("b.krv")});
        emit list->aboutToShow();
        QVERIFY(list->actions().at(0)->isChecked());
        dlg->OpenFileEntry(1);
        emit list->aboutToShow();
        QVERIFY(!list->actions().at(0)->isChecked() && list->actions().at(1)->isChecked());
    }

    void screenshotOfTheEmptyWindow()
    {
        PlayerFixture fx;
        auto dlg = fx.MakeDialog();
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        const QImage shot = dlg->grab().toImage();
        QCOMPARE(shot.size(), QSize(699, 640));
        // The quad panes are black inside their borders.
        const QRect p1 = dlg->control(IDC_PANE_1)->geometry();
        QCOMPARE(shot.pixelColor(p1.center()), QColor(Qt::black));
        QVERIFY(shot.save(QCoreApplication::applicationDirPath() + "/player_empty.png"));
    }
};

QTEST_MAIN(PlayerDialogTest)
#include "test_player_dialog.moc"
