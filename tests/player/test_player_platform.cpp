// Platform layer of the player: registry store, run flags, instance lock, paths, the removal of
// working folders.
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "krv/krv_workfolder.h"
#include "shell/app_paths.h"
#include "shell/instance_lock.h"
#include "shell/message_box.h"
#include "shell/registry_store.h"
#include "shell/run_flags.h"
#include "shell/work_tree.h"

namespace fs = std::filesystem;
using vedra::RegistryKey;

namespace {

void WriteFile(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

class PlayerPlatformTest : public QObject {
    Q_OBJECT

    QTemporaryDir home_;
    QStringList messages_;
    vedra::MessageBoxHook previousBox_;
    const QByteArray home0_ = qgetenv("HOME");

    fs::path Home() const { return home_.path().toStdString(); }

private slots:
    void init()
    {
        QVERIFY(home_.isValid());
        for (const auto& entry : fs::directory_iterator(Home()))
            fs::remove_all(entry.path());
        qputenv("XDG_CONFIG_HOME", home_.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", home_.filePath("data").toUtf8());
        qputenv("XDG_RUNTIME_DIR", home_.filePath("run").toUtf8());
        qputenv("XDG_CACHE_HOME", home_.filePath("cache").toUtf8());
        qputenv("TMPDIR", home_.filePath("tmp").toUtf8());
        fs::create_directories(Home() / "run");
        fs::create_directories(Home() / "tmp");
        messages_.clear();
        previousBox_ = vedra::SetMessageBoxHook(
            [this](const std::string& text, const std::string&, void*) { messages_ << QString::fromStdString(text); });
    }
    void cleanup()
    {
        vedra::SetMessageBoxHook(previousBox_);
        qputenv("HOME", home0_);
    }

    void pathsFollowXdg()
    {
        QCOMPARE(vedra::WorkRoot(), (Home() / "data" / "Vedra Media Player").string());
        QCOMPARE(vedra::ConfigFolder(), (Home() / "config" / "Vedra Media Player").string());
        qputenv("XDG_DATA_HOME", "relative/ignored");
        qputenv("HOME", home_.path().toUtf8());
        QCOMPARE(vedra::WorkRoot(), (Home() / ".local/share/Vedra Media Player").string());
    }

    void registryKeepsTypesAndOtherKeys()
    {
        WriteFile(RegistryKey::StorePath(), "[Software\\Other]\n\"Keep\"=hex:01,02\n\n"
                                            "[Software\\Vedra Media Player]\n\"IsRunAPAgain\"=\"1\"\n"
                                            "\"Broken\"=dword:12\ngarbage line\n");
        auto key = RegistryKey::Open(vedra::kRunStateKey);
        QVERIFY(key);
        uint32_t v = 7;
        QCOMPARE(key->QueryDword("IsRunAPAgain", &v), RegistryKey::Query::kNotDword);
        QCOMPARE(key->QueryDword("Broken", &v), RegistryKey::Query::kNotDword);
        QCOMPARE(key->QueryDword("Absent", &v), RegistryKey::Query::kMissing);
        QCOMPARE(v, 7u);
        QVERIFY(key->SetDword("APPHandle", 0xDEADBEEF));

        auto again = RegistryKey::Open(vedra::kRunStateKey);
        QCOMPARE(again->QueryDword("APPHandle", &v), RegistryKey::Query::kDword);
        QCOMPARE(v, 0xDEADBEEFu);
        const std::string text = ReadFile(RegistryKey::StorePath());
        QVERIFY(text.find("\"Keep\"=hex:01,02") != std::string::npos);
        QVERIFY(text.find("\"APPHandle\"=dword:deadbeef") != std::string::npos);
    }

    void registryUnavailable()
    {
        // A file where the store's folder should be: the key cannot be opened.
        WriteFile(Home() / "config" / "Vedra Media Player", "x");
        QVERIFY(!RegistryKey::Open(vedra::kRunStateKey));
        uint32_t previous = 9;
        QVERIFY(!vedra::CheckRunFlag(nullptr, &previous));
        QCOMPARE(previous, 0u);
        QVERIFY(!vedra::SetRunState(nullptr, true));
        QCOMPARE(messages_, QStringList({"ToCheckRunFlag2Registry is failed!", "ToKeepAPPHanle2Registry is failed!"}));
    }

    void checkRunFlag_data()
    {
        QTest::addColumn<QString>("stored"); // store content before the call, "" = no file
        QTest::addColumn<uint>("previous");
        QTest::newRow("very first start") << "" << 0u;
        QTest::newRow("returning user") << "\"IsRunAPAgain\"=dword:00000001\n" << 1u;
        QTest::newRow("stored as a string") << "\"IsRunAPAgain\"=\"1\"\n" << 0u;
        QTest::newRow("other number") << "\"IsRunAPAgain\"=dword:00000005\n" << 5u;
    }
    void checkRunFlag()
    {
        QFETCH(QString, stored);
        QFETCH(uint, previous);
        if (!stored.isEmpty())
            WriteFile(RegistryKey::StorePath(), "[Software\\Vedra Media Player]\n" + stored.toStdString());
        uint32_t got = 99;
        QVERIFY(vedra::CheckRunFlag(nullptr, &got));
        QCOMPARE(got, previous);
        uint32_t now = 0;
        QCOMPARE(RegistryKey::Open(vedra::kRunStateKey)->QueryDword("IsRunAPAgain", &now), RegistryKey::Query::kDword);
        QCOMPARE(now, 1u);
        QVERIFY(messages_.isEmpty());
    }

    void setRunState()
    {
        QWidget window;
        QVERIFY(vedra::SetRunState(&window, true));
        uint32_t active = 0, handle = 0;
        auto key = RegistryKey::Open(vedra::kRunStateKey);
        key->QueryDword("APPActive", &active);
        key->QueryDword("APPHandle", &handle);
        QCOMPARE(active, 1u);
        QCOMPARE(handle, static_cast<uint32_t>(window.winId()));
        QVERIFY(vedra::SetRunState(&window, false));
        key = RegistryKey::Open(vedra::kRunStateKey);
        key->QueryDword("APPActive", &active);
        key->QueryDword("APPHandle", &handle);
        QCOMPARE(active, 0u);
        QCOMPARE(handle, 0u);
    }

    // A second process of the same user is refused while the first holds the lock. The lock
    // lives in the runtime folder, else the fallback: a folder of this user's own that is no
    // link, else one under the cache. Whatever another user planted is never used.
    void instanceLockIsPerUserAndExclusive_data()
    {
        QTest::addColumn<QString>("planted"); // what stands where the lock would go
        QTest::addColumn<bool>("xdgRuntime"); // XDG_RUNTIME_DIR set (to the planted place)
        QTest::newRow("runtime folder") << "" << true;
        QTest::newRow("runtime folder is a link") << "link" << true;
        QTest::newRow("fallback is a link") << "link" << false;
        QTest::newRow("fallback is another user's folder") << "foreign" << false;
        QTest::newRow("fallback is open to all") << "open" << false;
    }
    void instanceLockIsPerUserAndExclusive()
    {
        QFETCH(QString, planted);
        QFETCH(bool, xdgRuntime);
        const fs::path place = xdgRuntime ? Home() / "run" : Home() / "tmp" / ("vedra-" + std::to_string(getuid()));
        const fs::path elsewhere = Home() / "elsewhere";
        fs::create_directories(elsewhere);
        chmod(elsewhere.c_str(), 0777);
        fs::remove_all(place);
        if (planted == "link")
            fs::create_directory_symlink(elsewhere, place);
        else
            fs::create_directories(place);
        if (planted == "open")
            chmod(place.c_str(), 0777);
        if (planted == "foreign" && chown(place.c_str(), 65534, 65534) != 0)
            QSKIP("needs root to plant");
        if (!xdgRuntime)
            qunsetenv("XDG_RUNTIME_DIR");

        vedra::InstanceLock first;
        QCOMPARE(first.Acquire(), vedra::InstanceLock::Result::kAcquired);
        const fs::path lock = vedra::InstanceLock::LockPath();
        struct stat st {};
        QCOMPARE(lstat(lock.parent_path().c_str(), &st), 0);
        QVERIFY(S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0);
        QVERIFY(fs::is_empty(elsewhere));
        if (planted == "foreign")
            QVERIFY(fs::is_empty(place));
        if (planted.isEmpty() || planted == "open")
            QCOMPARE(lock.parent_path(), place); // ours: private
        const pid_t child = fork();
        if (child == 0) {
            vedra::InstanceLock second;
            _exit(second.Acquire() == vedra::InstanceLock::Result::kAlreadyRunning ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    // With HOME unset the player and krvtool find the same home, the passwd entry's; never a
    // folder under /tmp that anyone could have made first.
    void homeUnsetUsesThePasswdEntry()
    {
        qunsetenv("HOME");
        qunsetenv("XDG_DATA_HOME");
        const passwd* pw = getpwuid(getuid());
        QVERIFY(pw != nullptr);
        QCOMPARE(vedra::WorkRoot(), std::string(pw->pw_dir) + "/.local/share/Vedra Media Player");
        QCOMPARE(vedra::WorkRoot(), krv_work_root().string());
    }

    // The store is private whatever the umask; two writers never share a temporary file.
    void registryIsPrivate()
    {
        const mode_t previous = umask(0);
        QVERIFY(vedra::SetRunState(nullptr, true));
        umask(previous);
        struct stat st {};
        QCOMPARE(stat(RegistryKey::StorePath().c_str(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t{0600});
        QCOMPARE(stat(vedra::ConfigFolder().c_str(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t{0700});
        QCOMPARE(std::distance(fs::directory_iterator(vedra::ConfigFolder()), {}), 1);
    }

    // Shutdown removes this player's folders and leaves everyone else's, and the work root only
    // when nothing else is in it.
    void removeWorkRootKeepsOthersFolders()
    {
        const fs::path root = vedra::WorkRoot();
        fs::path own;
        QVERIFY(krv_create_work_folder(root, 0, own));
        WriteFile(own / "Video1.krv", "v");
        WriteFile(root / "tempFile20260101000000" / "Video1.krv", "split output of an older krvtool");
        vedra::RemoveWorkFolder((root / "tempFile20260101000000").string());
        vedra::RemoveWorkRoot();
        QVERIFY(!fs::exists(own));
        QVERIFY(fs::exists(root / "tempFile20260101000000" / "Video1.krv"));
        fs::remove_all(root / "tempFile20260101000000");
        QVERIFY(krv_create_work_folder(root, 0, own));
        vedra::RemoveWorkRoot();
        QVERIFY(!fs::exists(root));
    }
};

QTEST_MAIN(PlayerPlatformTest)
#include "test_player_platform.moc"
