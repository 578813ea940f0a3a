// Working folders among several processes: the real player beside krvtool and other players,
// killed, started twice, with blocked or planted folders, and paths that are not UTF-8. Every
// process gets the fixture's private XDG folders, and TMPDIR under it.
#include <QDropEvent>
#include <QMimeData>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>

#include "krv/krv_workfolder.h"
#include "real_pipelines.h"
#include "resources/resource_ids.h"
#include "shell/instance_lock.h"
#include "shell/registry_store.h"
#include "view/video_pane.h"

using namespace vedra;
using namespace vedra::test;
namespace fs = std::filesystem;

namespace {

constexpr int kTimeoutMs = 20000;

// A program of the build started with the test's environment.
class Program {
public:
    Program(const QString& program, const QStringList& args, const QString& cwd = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process_.setProcessEnvironment(env);
        if (!cwd.isEmpty())
            process_.setWorkingDirectory(cwd);
        process_.start(program, args);
        process_.waitForStarted();
    }
    ~Program()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    void Signal(int signal) { ::kill(static_cast<pid_t>(process_.processId()), signal); }
    // Stops it (SIGSTOP) as soon as `ready` holds; polled every millisecond, as the moment may
    // be short. False when it never held while the program ran.
    bool StopWhen(const std::function<bool()>& ready)
    {
        for (int waited = 0; waited < kTimeoutMs && Running(); ++waited) {
            if (ready()) {
                Signal(SIGSTOP);
                return true;
            }
            QThread::msleep(1);
        }
        return false;
    }
    // The exit code, or 128 + the signal that ended it; -1 while it still runs.
    int Finish(int ms = kTimeoutMs)
    {
        if (!process_.waitForFinished(ms))
            return -1;
        if (process_.exitStatus() == QProcess::NormalExit)
            return process_.exitCode();
        return 128 + process_.exitCode(); // Qt gives the signal number here
    }
    QString Output() { return QString::fromUtf8(process_.readAllStandardOutput()); }
    bool Running() const { return process_.state() == QProcess::Running; }

private:
    QProcess process_;
};

Program* Player(const QStringList& recordings)
{
    return new Program(QStringLiteral(PLAYER_PATH), recordings);
}
Program* Krvtool(const QStringList& args, const QString& cwd = {})
{
    return new Program(QStringLiteral(KRVTOOL_PATH), args, cwd);
}

// Working folders holding a whole split (Video2.krv in place), anywhere under `base`, sorted.
QStringList SplitFolders(const QString& base)
{
    QStringList folders;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(base.toStdString(), ec))
        if (e.path().filename() == "Video2.krv")
            folders << QString::fromStdString(e.path().parent_path().string());
    folders.sort();
    return folders;
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

mode_t ModeOf(const QString& path)
{
    struct stat st {};
    return lstat(path.toLocal8Bit().constData(), &st) == 0 ? st.st_mode & 0777 : 07777;
}

uint32_t RunValue(const char* name)
{
    uint32_t value = 0xFFFFFFFF;
    if (auto key = RegistryKey::Open(kRunStateKey))
        key->QueryDword(name, &value);
    return value;
}

// A folder as an older krvtool left its split in the work root: no owner's marker.
QString PlantOldSplit()
{
    const QString folder = QString::fromStdString(WorkRoot()) + "/tempFile20250101000000";
    QDir().mkpath(folder);
    QFile(folder + "/Video1.krv").open(QIODevice::WriteOnly);
    return folder;
}

} // namespace

class PlayerWorkFoldersTest : public QObject {
    Q_OBJECT

    std::unique_ptr<PlayerFixture> fx_;
    QString good_, bad_;
    // The fixture's own temporary folder is made under TMPDIR: each test sets it afresh.
    const QByteArray tmpdir_ = qgetenv("TMPDIR");
    const QByteArray runtime_ = qgetenv("XDG_RUNTIME_DIR");

    QString Home(const QString& name = {}) const { return fx_->home.filePath(name); }
    // A folder of a whole split under the fixture's home that is none of `known`; empty when none.
    QString NewSplitFolder(const QStringList& known) const
    {
        for (const QString& folder : SplitFolders(Home()))
            if (!known.contains(folder))
                return folder;
        return {};
    }

private slots:
    void init()
    {
        fx_ = std::make_unique<PlayerFixture>();
        QVERIFY(fx_->home.isValid());
        qputenv("TMPDIR", Home("tmp").toUtf8());
        qputenv("XDG_CACHE_HOME", Home("cache").toUtf8());
        QDir().mkpath(Home("tmp"));
        good_ = Synth(*fx_, "good.krv", {"--seconds", "6"});
        QVERIFY(!good_.isEmpty());
    }
    void cleanup()
    {
        // Names that are not UTF-8 are beyond QTemporaryDir's removal.
        fs::remove_all(QFile::encodeName(fx_->home.path()).toStdString());
        fx_.reset();
        for (const auto& [name, value] : {std::pair{"TMPDIR", tmpdir_}, std::pair{"XDG_RUNTIME_DIR", runtime_}}) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
    }

    // A failing krvtool play deletes nothing of others': neither a running player's folder, nor
    // a finished split, nor what an older krvtool left; the player's exit then removes only its
    // own folder, while krvtool play runs on.
    void othersFoldersSurviveFailingToolsAndPlayerExit()
    {
        // Long enough to split that the failing play can be held in the middle of its run.
        // Its damage lies half-way through: the split fails there.
        bad_ = Synth(*fx_, "bad.krv", {"--size", "640x480", "--seconds", "20", "--gop", "1", "--damage", "stream6"});
        QVERIFY(!bad_.isEmpty());
        const QString old = PlantOldSplit();
        std::unique_ptr<Program> running(Krvtool({"play", good_, "--seconds", "30"}));
        QString runningFolder, playerFolder, splitOutput;
        QTRY_VERIFY_WITH_TIMEOUT(!(runningFolder = NewSplitFolder({})).isEmpty(), kTimeoutMs);

        std::unique_ptr<Program> failing(Krvtool({"play", bad_}));
        // Held in the middle of its split, so that others' folders appear while it runs.
        QVERIFY(failing->StopWhen([&] {
            return Entries(Home("tmp")).size() == 2 || Entries(QString::fromStdString(WorkRoot())).size() == 3;
        }));

        std::unique_ptr<Program> player(Player({good_}));
        QTRY_VERIFY_WITH_TIMEOUT(!(playerFolder = NewSplitFolder({runningFolder})).isEmpty(), kTimeoutMs);
        QDir().mkpath(Home("cwd"));
        std::unique_ptr<Program> split(Krvtool({"split", good_}, Home("cwd")));
        QCOMPARE(split->Finish(), 0);
        splitOutput = NewSplitFolder({runningFolder, playerFolder});
        QVERIFY(!splitOutput.isEmpty());

        failing->Signal(SIGCONT);
        QCOMPARE(failing->Finish(), 1);
        for (const QString& folder : {old, runningFolder, playerFolder, splitOutput})
            QVERIFY2(QFileInfo::exists(folder + "/Video1.krv"), qPrintable(folder + " was deleted"));

        player->Signal(SIGTERM);
        QCOMPARE(player->Finish(), 0);
        QVERIFY(!QDir(playerFolder).exists());
        for (const QString& folder : {old, runningFolder, splitOutput})
            QVERIFY2(QFileInfo::exists(folder + "/Video1.krv"), qPrintable(folder + " was emptied"));
        QVERIFY(running->Running());
    }

    // kill -9 leaves the working folder; the next start removes it, and nothing whose owner
    // lives (this test's own folder) or that has no owner's marker.
    void killedPlayersFolderGoesAtNextStart()
    {
        const QString old = PlantOldSplit();
        fs::path mine;
        QVERIFY(krv_create_work_folder(WorkRoot(), 0, mine));
        std::unique_ptr<Program> killed(Player({good_}));
        QTRY_VERIFY_WITH_TIMEOUT(SplitFolders(QString::fromStdString(WorkRoot())).size() == 1, kTimeoutMs);
        const QString stale = SplitFolders(QString::fromStdString(WorkRoot()))[0];
        killed->Signal(SIGKILL);
        killed->Finish();
        QVERIFY(QDir(stale).exists());
        RegistryKey::Open(kRunStateKey)->SetDword("APPActive", 0); // the next copy sets it again

        std::unique_ptr<Program> next(Player({}));
        QTRY_COMPARE_WITH_TIMEOUT(RunValue("APPActive"), 1u, kTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(stale).exists(), kTimeoutMs);
        QVERIFY(QDir(old).exists());
        QVERIFY(fs::exists(mine));
        next->Signal(SIGTERM);
        QCOMPARE(next->Finish(), 0);
        krv_remove_owned_folder(mine);
    }

    // Without XDG_RUNTIME_DIR, a link planted at the shared fallback of the lock is not used: the
    // lock moves to the user's cache, a second copy still ends at once, and nothing lands in the
    // planted folder.
    void plantedLinkAtTheFallbackLockKeepsOneInstance()
    {
        qunsetenv("XDG_RUNTIME_DIR");
        const QString planted = Home("tmp/vedra-" + QString::number(getuid()));
        QDir().mkpath(Home("attacker"));
        chmod(Home("attacker").toLocal8Bit().constData(), 0777);
        QVERIFY(QFile::link(Home("attacker"), planted));
        std::unique_ptr<Program> first(Player({good_}));
        QTRY_VERIFY_WITH_TIMEOUT(SplitFolders(QString::fromStdString(WorkRoot())).size() == 1, kTimeoutMs);
        std::unique_ptr<Program> second(Player({}));
        QCOMPARE(second->Finish(5000), 0);
        QVERIFY(Entries(Home("attacker")).isEmpty());
        QVERIFY(QFileInfo::exists(Home("cache/Vedra Media Player/run/Vedra Media Player.lock")));
        QVERIFY(first->Running());
        first->Signal(SIGTERM);
        QCOMPARE(first->Finish(), 0);
    }

    // Footage, its folders, the lock and the registry store are the user's alone, whatever the
    // umask the player starts with.
    void everythingCreatedIsPrivate()
    {
        const mode_t previous = umask(0);
        std::unique_ptr<Program> player(Player({good_}));
        umask(previous);
        QTRY_VERIFY_WITH_TIMEOUT(SplitFolders(QString::fromStdString(WorkRoot())).size() == 1, kTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(RunValue("APPActive"), 1u, kTimeoutMs);
        const QString folder = SplitFolders(QString::fromStdString(WorkRoot()))[0];
        QStringList privateFiles{RegistryKey::StorePath().c_str(), InstanceLock::LockPath().c_str()};
        for (const QString& name : Entries(folder))
            privateFiles << folder + "/" + name;
        QCOMPARE(privateFiles.size(), 2 + 6); // five channel and audio files and the owner's marker
        for (const QString& file : privateFiles)
            QVERIFY2(ModeOf(file) == 0600, qPrintable(file));
        for (const QString& dir : {folder, QString::fromStdString(WorkRoot()), QString::fromStdString(ConfigFolder())})
            QVERIFY2(ModeOf(dir) == 0700, qPrintable(dir));
        player->Signal(SIGTERM);
        QCOMPARE(player->Finish(), 0);
    }

    // A quit signal while a message box of the start-up is up (the registry store cannot be
    // written) ends the program; before, the window came up afterwards and stayed.
    void quitSignalDuringAStartUpBoxEndsThePlayer()
    {
        QFile blocker(Home("config"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        std::unique_ptr<Program> player(Player({}));
        QTest::qWait(2500);
        QVERIFY(player->Running());
        player->Signal(SIGTERM);
        QVERIFY(player->Finish(10000) != -1);
    }

    // The data folder cannot hold the work root: the split goes to a private folder in the
    // cache. When no folder can be made at all, one message says so and the recording plays
    // directly, its first channel on screen.
    void unwritableDataFolder_data()
    {
        QTest::addColumn<bool>("cacheBlocked");
        QTest::newRow("cache takes the working folder") << false;
        QTest::newRow("no folder at all: direct play") << true;
    }
    void unwritableDataFolder()
    {
        QFETCH(bool, cacheBlocked);
        for (const QString& name : cacheBlocked ? QStringList{"data", "cache"} : QStringList{"data"}) {
            QFile blocker(Home(name));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        auto d = MakeRealDialog(*fx_);
        QVERIFY(d->OnInitDialog());
        d->OnDropFiles({good_});
        if (!cacheBlocked) {
            QVERIFY2(fx_->messages.isEmpty(), qPrintable(fx_->messages.join(" | ")));
            QCOMPARE(d->deck().channelMask(), uint8_t{0x0F});
            QVERIFY(d->files().workFolders()[0].startsWith(Home("cache/Vedra Media Player/work/tempFile")));
            QTRY_VERIFY_WITH_TIMEOUT(!d->pane(IDC_PANE_1)->picture().isNull(), 5000);
            d->close();
            QVERIFY(!QDir(Home("cache/Vedra Media Player/work")).exists());
            return;
        }
        QCOMPARE(fx_->messages, QStringList{"Create Dir error!"});
        QCOMPARE(d->files().workFolders(), QStringList{QString()});
        QCOMPARE(d->deck().channelMask(), uint8_t{1});
        QTRY_VERIFY_WITH_TIMEOUT(!d->pane(IDC_PANE_1)->picture().isNull(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(d->deck().currentTime() > 0.5f, 5000);
    }

    // A name that is not UTF-8 opens from the command line and from a drop: the bytes reach the
    // file open unchanged.
    void nonUtf8NamesOpen()
    {
        const QByteArray name = QFile::encodeName(Home("rec/")) + "Kamera \xff\xfe.krv";
        QVERIFY(std::rename(QFile::encodeName(good_).constData(), name.constData()) == 0);
        // The shell hands the player the name's bytes (a glob matching the one file).
        std::unique_ptr<Program> player(
            new Program("/bin/sh", {"-c", "exec \"$0\" \"$1\"/*.krv", PLAYER_PATH, Home("rec")}));
        QTRY_VERIFY_WITH_TIMEOUT(SplitFolders(QString::fromStdString(WorkRoot())).size() == 1, kTimeoutMs);
        player->Signal(SIGTERM);
        QCOMPARE(player->Finish(), 0);

        fx_->Channels({"Video1.krv"});
        fx_->world.files["Video1.krv"] = {};
        auto d = fx_->MakeDialog();
        std::string converted;
        d->files().convertRecording = [&, split = d->files().convertRecording](const std::string& path) {
            converted = path;
            return split(path);
        };
        QMimeData mime;
        mime.setUrls({QUrl::fromEncoded("file://" + name.toPercentEncoding("/"))});
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        // Straight to the window, past the drag manager that no drag went through.
        static_cast<QObject*>(d.get())->event(&drop);
        QVERIFY2(fx_->messages.isEmpty(), qPrintable(fx_->messages.join(" | ")));
        QCOMPARE(d->files().recordingCount(), 1);
        QCOMPARE(QByteArray::fromStdString(converted), name);
    }
};

QTEST_MAIN(PlayerWorkFoldersTest)
#include "test_player_workfolders.moc"
