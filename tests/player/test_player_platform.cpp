// Platform layer of the player: registry store, run flags, instance lock, tree removal.
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "shell/app_paths.h"
#include "shell/instance_lock.h"
#include "shell/message_box.h"
#include "shell/registry_store.h"
#include "shell/run_flags.h"
#include "shell/work_tree.h"

namespace fs = std::filesystem;
using vedra::RegistryKey;

namespace {

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

class PlayerPlatformTest : public QObject {
  Q_OBJECT

  QTemporaryDir home_;
  QStringList messages_;
  vedra::MessageBoxHook previousBox_;

  fs::path Home() const { return home_.path().toStdString(); }

 private slots:
  void init() {
    QVERIFY(home_.isValid());
    for (const auto& entry : fs::directory_iterator(Home())) fs::remove_all(entry.path());
    qputenv("XDG_CONFIG_HOME", home_.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", home_.filePath("data").toUtf8());
    qputenv("XDG_RUNTIME_DIR", home_.filePath("run").toUtf8());
    fs::create_directories(Home() / "run");
    messages_.clear();
    previousBox_ = vedra::SetMessageBoxHook(
        [this](const std::string& text, const std::string&, void*) {
          messages_ << QString::fromStdString(text);
        });
  }
  void cleanup() { vedra::SetMessageBoxHook(previousBox_); }

  void pathsFollowXdg() {
    QCOMPARE(vedra::WorkRoot(), (Home() / "data" / "Vedra Media Player").string());
    QCOMPARE(vedra::ConfigFolder(), (Home() / "config" / "Vedra Media Player").string());
    qputenv("XDG_DATA_HOME", "relative/ignored");
    qputenv("HOME", home_.path().toUtf8());
    QCOMPARE(vedra::WorkRoot(), (Home() / ".local/share/Vedra Media Player").string());
  }

  void registryKeepsTypesAndOtherKeys() {
    WriteFile(RegistryKey::StorePath(),
              "[Software\\Other]\n\"Keep\"=hex:01,02\n\n"
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

  void registryUnavailable() {
    // A file where the store's folder should be: the key cannot be opened.
    WriteFile(Home() / "config" / "Vedra Media Player", "x");
    QVERIFY(!RegistryKey::Open(vedra::kRunStateKey));
    uint32_t previous = 9;
    QVERIFY(!vedra::CheckRunFlag(nullptr, &previous));
    QCOMPARE(previous, 0u);
    QVERIFY(!vedra::SetRunState(nullptr, true));
    QCOMPARE(messages_, QStringList({"ToCheckRunFlag2Registry is failed!",
                                     "ToKeepAPPHanle2Registry is failed!"}));
  }

  void checkRunFlag_data() {
    QTest::addColumn<QString>("stored");  // store content before the call, "" = no file
    QTest::addColumn<uint>("previous");
    QTest::newRow("very first start") << "" << 0u;
    QTest::newRow("returning user") << "\"IsRunAPAgain\"=dword:00000001\n" << 1u;
    QTest::newRow("stored as a string") << "\"IsRunAPAgain\"=\"1\"\n" << 0u;
    QTest::newRow("other number") << "\"IsRunAPAgain\"=dword:00000005\n" << 5u;
  }
  void checkRunFlag() {
    QFETCH(QString, stored);
    QFETCH(uint, previous);
    if (!stored.isEmpty())
      WriteFile(RegistryKey::StorePath(),
                "[Software\\Vedra Media Player]\n" + stored.toStdString());
    uint32_t got = 99;
    QVERIFY(vedra::CheckRunFlag(nullptr, &got));
    QCOMPARE(got, previous);
    uint32_t now = 0;
    QCOMPARE(RegistryKey::Open(vedra::kRunStateKey)->QueryDword("IsRunAPAgain", &now),
             RegistryKey::Query::kDword);
    QCOMPARE(now, 1u);
    QVERIFY(messages_.isEmpty());
  }

  void setRunState() {
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

  void instanceLockIsPerUserAndExclusive() {
    vedra::InstanceLock first;
    QCOMPARE(first.Acquire(), vedra::InstanceLock::Result::kAcquired);
    // A second process of the same user is refused while the first holds the lock.
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

  void instanceLockRefusesForeignFolder() {
    // A symlink in place of the runtime folder is not ours to use.
    fs::remove_all(Home() / "run");
    fs::create_directories(Home() / "elsewhere");
    fs::create_directory_symlink(Home() / "elsewhere", Home() / "run");
    vedra::InstanceLock lock;
    QCOMPARE(lock.Acquire(), vedra::InstanceLock::Result::kUnavailable);
    QVERIFY(fs::is_empty(Home() / "elsewhere"));
  }

  void deleteTreeNeverFollowsLinks() {
    const fs::path root = vedra::WorkRoot();
    const fs::path outside = Home() / "precious";
    WriteFile(outside / "keep.txt", "keep");
    WriteFile(root / "tempFile20260101000000" / "Video1.krv", "v");
    WriteFile(root / "tempFile20260101000000" / "deep" / "Audio1.wav", "a");
    fs::create_directory_symlink(outside, root / "tempFile20260101000000" / "linkdir");
    fs::create_symlink(outside / "keep.txt", root / "linkfile");

    vedra::RemoveWorkRoot();
    QVERIFY(!fs::exists(fs::symlink_status(root)));
    QCOMPARE(ReadFile(outside / "keep.txt"), std::string("keep"));
  }

  void deleteTreeLeavesALinkedRootAlone() {
    const fs::path target = Home() / "target";
    WriteFile(target / "keep.txt", "keep");
    fs::create_directories(Home() / "data");
    fs::create_directory_symlink(target, vedra::WorkRoot());
    QVERIFY(!vedra::DeleteTree(vedra::WorkRoot()));
    QVERIFY(fs::exists(target / "keep.txt"));
    QVERIFY(fs::is_symlink(vedra::WorkRoot()));
    QVERIFY(!vedra::DeleteTree(""));
    QVERIFY(!vedra::DeleteTree((Home() / "missing").string()));
  }

  void insideWorkRoot_data() {
    QTest::addColumn<QString>("relative");  // to the work root's parent
    QTest::addColumn<bool>("inside");
    QTest::newRow("working folder") << "Vedra Media Player/tempFile20260101000000" << true;
    QTest::newRow("root itself") << "Vedra Media Player" << false;
    QTest::newRow("root with slash") << "Vedra Media Player/" << false;
    QTest::newRow("climbing out") << "Vedra Media Player/../other" << false;
    QTest::newRow("sibling with same prefix") << "Vedra Media Player2/x" << false;
    QTest::newRow("parent") << "." << false;
  }
  void insideWorkRoot() {
    QFETCH(QString, relative);
    QFETCH(bool, inside);
    const std::string path = (Home() / "data").string() + "/" + relative.toStdString();
    QCOMPARE(vedra::IsInsideWorkRoot(path), inside);
    QVERIFY(!vedra::IsInsideWorkRoot("relative/path"));
  }
};

QTEST_MAIN(PlayerPlatformTest)
#include "test_player_platform.moc"
