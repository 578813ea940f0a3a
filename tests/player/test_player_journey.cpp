// The Tool commands and the file list on real pipelines, a user's whole journey through the
// window, the quit signals on the real program, and pictures of the File menu.
#include <QCheckBox>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <csignal>

#include "player/engine/message_box.h"
#include "real_pipelines.h"
#include "resources/resource_ids.h"
#include "shell/registry_store.h"
#include "view/video_pane.h"

using namespace vedra;
using namespace vedra::test;

namespace {

void Click(CVedraPlayerDlg& d, int id)
{
    QTest::mouseClick(static_cast<QPushButton*>(d.control(id)), Qt::LeftButton);
}

void Uncheck(CVedraPlayerDlg& d, int box)
{
    d.checkBox(IDC_CHANNEL_1 + box)->setChecked(false);
    d.deck().OnChannelBox(box);
}

QAction* MenuCommand(CVedraPlayerDlg& d, int id)
{
    return d.fileMenu->findChild<QAction*>(QString::number(id));
}

// "codec_name,codec_type,width,height" per stream, as ffprobe reads the file.
QStringList Probe(const QString& path)
{
    QProcess probe;
    probe.start("ffprobe",
                {"-v", "error", "-show_entries", "stream=codec_type,codec_name,width,height", "-of", "csv=p=0", path});
    if (!probe.waitForFinished(30000) || probe.exitCode() != 0)
        return {"unreadable"};
    QStringList streams = QString::fromUtf8(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    for (QString& s : streams)
        s = s.trimmed().remove(QRegularExpression(",+$"));
    return streams;
}

QStringList FilesIn(const QString& folder, const QString& pattern)
{
    QStringList files;
    for (const QString& name : QDir(folder).entryList({pattern}, QDir::Files, QDir::Name))
        files << QDir(folder).filePath(name);
    return files;
}

QStringList WorkFoldersOnDisk()
{
    return QDir(QString::fromStdString(WorkRoot())).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

uint32_t RunValue(const char* name)
{
    uint32_t value = 0xFFFFFFFF;
    if (auto key = RegistryKey::Open(kRunStateKey))
        key->QueryDword(name, &value);
    return value;
}

void ShowTools(PlayerFixture& fx)
{
    QFile ini(fx.home.filePath("prog/Config.INI"));
    ini.open(QIODevice::WriteOnly);
    ini.write("[SYS_SETTING]\niShowTools=1\n");
}

// Runs the Avi command into folder and waits for the chain to end. Returns the channel
// numbers in the order they were exported; false in ok when the chain misbehaved.
std::vector<int> ExportAndWait(CVedraPlayerDlg& d, const QString& folder, bool* ok)
{
    *ok = true;
    QDir().mkpath(folder);
    d.chooseExportFile = [folder](QWidget*, const QString&) { return folder + "/typed-name.avi"; };
    std::vector<int> order;
    QTimer watch;
    watch.setInterval(2);
    // While a channel exports: the button is disabled and at most one file is being written.
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!d.exportJob.running)
            return;
        if (d.control(IDC_AVI)->isEnabled() || FilesIn(folder, "*.part").size() > 1)
            *ok = false;
        if (order.empty() || order.back() != d.nextExportChannel)
            order.push_back(d.nextExportChannel);
    });
    watch.start();
    Click(d, IDC_AVI);
    // The first step starts at once, inside the command.
    if (!d.exportJob.running || d.control(IDC_AVI)->isEnabled())
        *ok = false;
    order.push_back(d.nextExportChannel);
    QDeadlineTimer deadline(60000);
    while ((d.exportJob.running || !d.control(IDC_AVI)->isEnabled()) && !deadline.hasExpired())
        QTest::qWait(10);
    QTest::qWait(50); // a next step would start within the 10 ms pause
    if (d.exportJob.running)
        *ok = false;
    return order;
}

// The dialog and the open menus painted at their screen positions into one picture.
QImage Composite(CVedraPlayerDlg& d, const std::vector<QWidget*>& menus)
{
    QRect area(d.mapToGlobal(QPoint(0, 0)), d.size());
    for (QWidget* m : menus)
        area |= QRect(m->pos(), m->size());
    QImage image(area.size(), QImage::Format_RGB32);
    image.fill(Qt::darkGray);
    QPainter painter(&image);
    painter.drawPixmap(d.mapToGlobal(QPoint(0, 0)) - area.topLeft(), d.grab());
    for (QWidget* m : menus)
        painter.drawPixmap(m->pos() - area.topLeft(), m->grab());
    return image;
}

} // namespace

class PlayerJourneyTest : public QObject {
    Q_OBJECT

private slots:
    // Channels 1 and 3 checked: two pictures of the channel's size; 2 and 4 give none.
    void snapshotsOfChannelsOneAndThree_data()
    {
        QTest::addColumn<bool>("jpeg");
        QTest::addColumn<bool>("paused");
        QTest::newRow("JPG while paused") << true << true;
        QTest::newRow("BMP while playing") << false << false;
    }
    void snapshotsOfChannelsOneAndThree()
    {
        QFETCH(bool, jpeg);
        QFETCH(bool, paused);
        PlayerFixture fx;
        auto d = OpenRealRecording(fx, "s.krv", {"--channels", "1,2,3,4", "--seconds", "4"});
        QVERIFY(d);
        d->OnPause();
        Uncheck(*d, 1);
        Uncheck(*d, 3);
        if (!paused)
            d->OnPlay();
        if (jpeg)
            d->OnJpg();
        else
            d->OnBmp();
        const QString pattern = jpeg ? "*.jpg" : "*.bmp";
        QTRY_COMPARE_WITH_TIMEOUT(FilesIn(d->picFolder, pattern).size(), 2, 10000);
        QTest::qWait(300);
        QCOMPARE(FilesIn(d->picFolder, "*").size(), 2); // nothing for channels 2 and 4
        for (const QString& file : FilesIn(d->picFolder, pattern)) {
            QImage picture;
            QVERIFY2(picture.load(file), qPrintable(file));
            QCOMPARE(picture.size(), QSize(352, 288));
            if (!jpeg)
                QCOMPARE(QFileInfo(file).size(), qint64{352 * 288 * 3 + 54});
        }
        QVERIFY(fx.messages.isEmpty());
    }

    // Channels 1 and 3 checked: two AVI files, channel 1's first, each with the channel's
    // video and the recording's audio; the button is disabled until the chain ends.
    void aviExportOfChannelsOneAndThree()
    {
        PlayerFixture fx;
        auto d = OpenRealRecording(fx, "e.krv", {"--channels", "1,2,3,4", "--seconds", "3"});
        QVERIFY(d);
        d->OnPause();
        Uncheck(*d, 1);
        Uncheck(*d, 3);
        bool ok = false;
        const std::vector<int> order = ExportAndWait(*d, fx.home.filePath("out"), &ok);
        QVERIFY(ok);
        QCOMPARE(order, std::vector<int>({1, 3})); // channel 1 ran first, then channel 3
        const QStringList files = FilesIn(fx.home.filePath("out"), "*");
        QCOMPARE(files.size(), 2);
        QCOMPARE(d->exportJob.outputFolder, (fx.home.filePath("out") + "/").toStdString());
        QByteArray digests[2];
        for (int i = 0; i < 2; ++i) {
            QVERIFY2(QRegularExpression("/\\d{14}(_\\d+)?\\.avi$").match(files[i]).hasMatch(), qPrintable(files[i]));
            QCOMPARE(Probe(files[i]), QStringList({"mpeg4,video,352,288", "adpcm_ms,audio"}));
            QFile f(files[i]);
            QVERIFY(f.open(QIODevice::ReadOnly));
            digests[i] = QCryptographicHash::hash(f.readAll(), QCryptographicHash::Md5);
        }
        QVERIFY(digests[0] != digests[1]); // two channels, not one twice
        QVERIFY(fx.messages.isEmpty());
    }

    // A user's session from loading to closing the window.
    void journey()
    {
        PlayerFixture fx;
        ShowTools(fx);
        QStringList rec;
        for (const char* name : {"a.krv", "b.krv", "c.krv"}) {
            rec << Synth(fx, name, {"--channels", "1,2", "--seconds", "3"});
            QVERIFY(!rec.back().isEmpty());
        }
        auto d = MakeRealDialog(fx);
        QVERIFY(d->OnInitDialog());
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.get()));
        QVERIFY(d->control(IDC_JPG)->isVisible());

        // Load b from the folder of three and watch it play.
        d->chooseFiles = [&](QWidget*) { return QStringList{rec[1]}; };
        Click(*d, IDC_LOAD);
        QCOMPARE(TitleFile(*d), rec[1]);
        QCOMPARE(d->files().folderRecordings(), rec);
        QTRY_VERIFY_WITH_TIMEOUT(!d->pane(IDC_PANE_1)->picture().isNull(), 10000);
        QTest::qWait(400);
        Click(*d, IDC_PAUSE);
        QVERIFY(d->deck().playingMask() == 0);

        // A JPG of both channels, then both channels to AVI.
        Click(*d, IDC_JPG);
        QTRY_COMPARE_WITH_TIMEOUT(FilesIn(d->picFolder, "*.jpg").size(), 2, 10000);
        for (const QString& file : FilesIn(d->picFolder, "*.jpg"))
            QCOMPARE(QImage(file).size(), QSize(352, 288));
        bool ok = false;
        ExportAndWait(*d, fx.home.filePath("exports"), &ok);
        QVERIFY(ok);
        const QStringList avis = FilesIn(fx.home.filePath("exports"), "*");
        QCOMPARE(avis.size(), 2);
        for (const QString& avi : avis)
            QCOMPARE(Probe(avi), QStringList({"mpeg4,video,352,288", "adpcm_ms,audio"}));
        QVERIFY(d->grab().save(QCoreApplication::applicationDirPath() + "/player_tools.png"));

        // Next and Pre: c, then b again, each as a new entry.
        Click(*d, IDC_NEXT);
        QCOMPARE(TitleFile(*d), rec[2]);
        Click(*d, IDC_PREVIOUS);
        QCOMPARE(TitleFile(*d), rec[1]);
        QCOMPARE(d->files().fileCount(), 3);
        QCOMPARE(d->files().recordingCount(), 3);
        QCOMPARE(WorkFoldersOnDisk().size(), 3);

        // Through the File List: c (open, shown from memory), then the first b.
        QMenu* list = d->fileMenu->findChild<QMenu*>("File List");
        const int splits = WorkFoldersOnDisk().size();
        emit list->aboutToShow();
        QCOMPARE(list->actions().size(), 3);
        list->actions()[1]->trigger();
        QTRY_COMPARE(d->files().currentFile(), 1);
        QCOMPARE(TitleFile(*d), rec[2]);
        QTRY_VERIFY_WITH_TIMEOUT(d->deck().playingMask() != 0, 5000);
        emit list->aboutToShow();
        list->actions()[0]->trigger();
        QTRY_COMPARE(d->files().currentFile(), 0);
        QCOMPARE(WorkFoldersOnDisk().size(), splits); // nothing was split again

        // Close File: the first b goes with its folder (and Next opens c as a new entry).
        const QString folderOfB = d->files().workFolders()[d->files().RecordingIndexOf(0)];
        MenuCommand(*d, ID_FILE_CLOSE)->trigger();
        QVERIFY(!QDir(folderOfB).exists());
        QCOMPARE(int(d->files().workFolders().size()), d->files().recordingCount());

        // Close All File, then the window.
        MenuCommand(*d, ID_FILE_CLOSE_ALL)->trigger();
        QVERIFY((d->files().fileCount() == 0) && (d->files().recordingCount() == 0));
        QCOMPARE(d->windowTitle(), QString("Vedra Media Player"));
        QVERIFY(WorkFoldersOnDisk().isEmpty());
        d->close();
        QVERIFY(!QDir(QString::fromStdString(WorkRoot())).exists());
        QCOMPARE(RunValue("APPActive"), 0u);
        // What the user asked for is all there and valid.
        QCOMPARE(FilesIn(d->picFolder, "*").size(), 2);
        for (const QString& avi : avis)
            QVERIFY(QFileInfo(avi).size() > 0);
        QVERIFY2(fx.messages.isEmpty(), qPrintable(fx.messages.join(" | ")));
    }

    // Logout, kill and Ctrl+C run the window-close sequence: no working folder of the run
    // stays, "APPActive" is 0, the program ends normally.
    void quitSignalsCloseTheWindow_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("afterMs"); // after the working folder appears
        QTest::newRow("SIGTERM while playing") << int(SIGTERM) << 1500;
        QTest::newRow("SIGINT while playing") << int(SIGINT) << 1500;
        QTest::newRow("SIGHUP during the loader's pause") << int(SIGHUP) << 0;
    }
    void quitSignalsCloseTheWindow()
    {
        QFETCH(int, signal);
        QFETCH(int, afterMs);
        PlayerFixture fx;
        QProcess player;
        StartOffscreen(player, QStringLiteral(PLAYER_PATH), {QStringLiteral(SAMPLE_PATH)});
        QVERIFY(player.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(WorkFoldersOnDisk().size() == 1, 15000);
        QCOMPARE(RunValue("APPActive"), 1u);
        QTest::qWait(afterMs);
        ::kill(static_cast<pid_t>(player.processId()), signal);
        QVERIFY(player.waitForFinished(15000));
        QCOMPARE(player.exitStatus(), QProcess::NormalExit);
        QCOMPARE(player.exitCode(), 0);
        QVERIFY(!QDir(QString::fromStdString(WorkRoot())).exists());
        QCOMPARE(RunValue("APPActive"), 0u);
    }

    // What cmake --install puts down: the program with its sample in a folder of their own, the
    // command linked to it, the desktop entry and the mime type; the installed program starts
    // (its probe finds the sample) and opens a recording given on the command line.
    void installedProgramOpensRecordings()
    {
        PlayerFixture fx;
        const QString prefix = fx.home.filePath("usr");
        QProcess install;
        install.start(QStringLiteral(CMAKE_COMMAND_PATH),
                      {"--install", QStringLiteral(BUILD_DIR), "--prefix", prefix, "--component", "player"});
        QVERIFY(install.waitForFinished(60000));
        QCOMPARE(install.exitCode(), 0);
        QCOMPARE(QFileInfo(prefix + "/bin/VedraPlayer").symLinkTarget(), prefix + "/libexec/vedra-player/VedraPlayer");
        QVERIFY(QFileInfo::exists(prefix + "/libexec/vedra-player/test.krv"));
        QFile desktop(prefix + "/share/applications/vedra-player.desktop");
        QVERIFY(desktop.open(QIODevice::ReadOnly));
        const QByteArray entry = desktop.readAll();
        QVERIFY(entry.contains("MimeType=application/x-krv;"));
        QVERIFY(entry.contains("Exec=" + (prefix + "/bin/VedraPlayer %F").toUtf8()));
        QVERIFY(QFileInfo::exists(prefix + "/share/mime/packages/vedra-player.xml"));
        QFile globs(prefix + "/share/mime/globs2"); // written by update-mime-database, if present
        if (globs.open(QIODevice::ReadOnly))
            QVERIFY(globs.readAll().contains("application/x-krv:*.krv"));

        QProcess player;
        StartOffscreen(player, prefix + "/bin/VedraPlayer", {QStringLiteral(SAMPLE_PATH)});
        QVERIFY(player.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(WorkFoldersOnDisk().size() == 1, 15000);
        QTest::qWait(1000);
        QCOMPARE(player.state(), QProcess::Running);
        ::kill(static_cast<pid_t>(player.processId()), SIGTERM);
        QVERIFY(player.waitForFinished(15000));
        QCOMPARE(player.exitCode(), 0);
        QVERIFY(WorkFoldersOnDisk().isEmpty());
    }

    // The File menu with its File List and Audio Device submenus open, as pictures.
    void pictureOfTheFileMenu()
    {
        PlayerFixture fx;
        QStringList rec;
        for (const char* name : {"lobby.krv", "parking.krv", "entrance.krv"})
            rec << Synth(fx, name, {"--channels", "1,2,3,4", "--seconds", "3"});
        auto d = MakeRealDialog(fx);
        // Headless machines have no audio output: the list is made up for the picture.
        d->enumerateAudioDevices = [](std::vector<AudioDevice>& devices) {
            for (const char* name : {"Built-in Audio Analog Stereo", "USB Headset", "HDMI Output"})
                devices.push_back(AudioDevice{name, {}});
        };
        QVERIFY(d->OnInitDialog());
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.get()));
        d->OnDropFiles(rec);
        d->OpenFileEntry(1);
        QTRY_VERIFY_WITH_TIMEOUT(!d->pane(1014)->picture().isNull(), 10000);
        QTest::qWait(500);
        struct Shot {
            const char* submenu;
            const char* file;
        };
        for (const Shot& shot :
             {Shot{"File List", "player_menu_file_list.png"}, Shot{"Audio Device", "player_menu_audio_device.png"}}) {
            const QPoint at(120, 240);
            d->OnShowFileMenu(at);
            QTRY_VERIFY(d->fileMenu->isVisible());
            QMenu* sub = d->fileMenu->findChild<QMenu*>(shot.submenu);
            d->fileMenu->setActiveAction(sub->menuAction());
            QTRY_VERIFY(sub->isVisible());
            QTest::qWait(100);
            const QImage image = Composite(*d, {d->fileMenu.get(), sub});
            QVERIFY(image.save(QCoreApplication::applicationDirPath() + "/" + shot.file));
            // On a real X server (Xvfb) the screen itself as well.
            if (QGuiApplication::platformName() == "xcb")
                QVERIFY(QGuiApplication::primaryScreen()->grabWindow(0).save(QCoreApplication::applicationDirPath() +
                                                                             "/screen_" + shot.file));
            if (QByteArray(shot.submenu) == "File List") {
                QCOMPARE(sub->actions().size(), 3);
                QCOMPARE(sub->actions()[1]->text(), QString("parking.krv"));
                QVERIFY(sub->actions()[1]->isChecked());
            } else {
                QCOMPARE(sub->actions().size(), 3);
                QVERIFY(sub->actions()[0]->isChecked());
            }
            sub->hide();
            d->fileMenu->hide();
        }
        d->close();
    }
};

QTEST_MAIN(PlayerJourneyTest)
#include "test_player_journey.moc"
