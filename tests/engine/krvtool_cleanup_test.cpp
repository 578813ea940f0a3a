// krvtool's engine commands leave nothing behind, however they end: a quit
// signal runs the normal clean-up and then ends the process by that signal,
// and the folders of a command killed outright go with the next command.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>

#include "../tools/tool_runner.h"

namespace {

namespace fs = std::filesystem;

class KrvtoolCleanup : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new ScratchDir;
        synthesize(*dir_ / "vga.krv", {"--channels", "2,4", "--size", "640x480", "--seconds", "6"});
    }
    static void TearDownTestSuite() { delete dir_; }

    void SetUp() override { fs::create_directories(work_ / "tmp"); }
    std::vector<std::string> Env() const
    {
        return {"TMPDIR=" + (work_ / "tmp").string(), "XDG_DATA_HOME=" + (work_ / "xdg").string()};
    }
    // A channel file of a finished split, wherever the command put it.
    fs::path SplitFile() const
    {
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(work_.path(), ec))
            if (e.path().filename() == "Video2.krv")
                return e.path();
        return {};
    }
    std::vector<std::string> Command(const std::string& name) const
    {
        const std::string rec = (*dir_ / "vga.krv").string();
        if (name == "play")
            return {"play", rec, "--seconds", "30"};
        return {"snapshot", rec, "--channel", "2", "--at", "3", (work_ / "a.jpg").string()};
    }

    static ScratchDir* dir_;
    ScratchDir work_;
};
ScratchDir* KrvtoolCleanup::dir_ = nullptr;

struct SignalRow {
    const char* name;
    const char* command;
    int signal;
    const char* playing; // stdout text to wait for before the signal; "" for right after the split
};

void PrintTo(const SignalRow& row, std::ostream* os)
{
    *os << row.name;
}

class KrvtoolSignals : public KrvtoolCleanup, public ::testing::WithParamInterface<SignalRow> {};

TEST_P(KrvtoolSignals, EndByTheSignalAndLeaveNoFolder)
{
    const SignalRow& row = GetParam();
    const mode_t previous = umask(0);
    Background tool(KRVTOOL_PATH, Command(row.command), Env());
    umask(previous);
    if (*row.playing) {
        ASSERT_TRUE(eventually([&] { return tool.output().find(row.playing) != std::string::npos; })) << tool.output();
    }
    ASSERT_TRUE(tool.stopWhen([&] { return !SplitFile().empty(); })) << "the split never finished";

    // Private whatever the umask: the temporary folder, the working folder, the files.
    const fs::path file = SplitFile();
    for (const fs::path& p : {file, file.parent_path(), file.parent_path().parent_path()}) {
        struct stat st {};
        ASSERT_EQ(lstat(p.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, S_ISDIR(st.st_mode) ? 0700u : 0600u) << p;
    }
    tool.signal(row.signal);
    tool.signal(SIGCONT);
    const ToolRun r = tool.finish();
    EXPECT_EQ(r.exitCode, 128 + row.signal) << r.out << r.err;
    EXPECT_TRUE(entriesOf(work_ / "tmp").empty()) << entriesOf(work_ / "tmp")[0];
    EXPECT_FALSE(fs::exists(work_ / "xdg"));
}

INSTANTIATE_TEST_SUITE_P(Rows, KrvtoolSignals,
                         ::testing::Values(SignalRow{"PlaySigterm", "play", SIGTERM, "1 s:"},
                                           SignalRow{"PlaySigint", "play", SIGINT, "2 s:"},
                                           SignalRow{"PlaySighupBeforePlaying", "play", SIGHUP, ""},
                                           SignalRow{"SnapshotSigterm", "snapshot", SIGTERM, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

// kill -9 leaves the folder; the next engine command removes it, as its owner is gone.
TEST_F(KrvtoolCleanup, NextCommandRemovesTheFolderOfAKilledOne)
{
    {
        Background killed(KRVTOOL_PATH, Command("play"), Env());
        ASSERT_TRUE(killed.stopWhen([&] { return !SplitFile().empty(); }));
        killed.signal(SIGKILL);
        killed.finish();
    }
    ASSERT_EQ(entriesOf(work_ / "tmp").size(), 1u);
    Background running(KRVTOOL_PATH, Command("play"), Env());
    ASSERT_TRUE(eventually([&] { return running.output().find("1 s:") != std::string::npos; }));
    const std::vector<std::string> during = entriesOf(work_ / "tmp");
    EXPECT_EQ(during.size(), 1u) << "the killed command's folder stays";
    const ToolRun next = runTool(KRVTOOL_PATH, {"play", (*dir_ / "vga.krv").string(), "--seconds", "1"}, Env());
    EXPECT_EQ(next.exitCode, 0) << next.err;
    EXPECT_EQ(entriesOf(work_ / "tmp"), during) << "a running command's folder stays";
}

} // namespace
