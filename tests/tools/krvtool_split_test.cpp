// krvtool split as a user meets it beside other processes: a folder named
// after the recording, one split per folder, and nothing half-written left by
// a full disk, a signal or kill -9.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>
#include <fstream>
#include <iterator>

#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

class KrvtoolSplit : public ::testing::Test {
protected:
    // Large enough that a split runs for a while: four 640 x 480 channels of key frames only.
    static void SetUpTestSuite()
    {
        dir_ = new ScratchDir;
        synthesize(*dir_ / "big.krv", {"--size", "640x480", "--seconds", "10", "--gop", "1", "--big-keyframes"});
        synthesize(*dir_ / "other.krv", {"--channels", "2,3", "--size", "640x480", "--seconds", "10", "--gop", "1"});
    }
    static void TearDownTestSuite() { delete dir_; }

    static fs::path recording(const char* name) { return *dir_ / name; }
    static std::vector<std::string> splitNames()
    {
        return {"Audio1.wav", "Video1.krv", "Video2.krv", "Video3.krv", "Video4.krv"};
    }
    static std::vector<std::string> env() { return {"XDG_DATA_HOME=" + (*dir_ / "xdg").string()}; }
    static bool holdsFiles(const fs::path& out) { return !entriesOf(out).empty(); }

    static ScratchDir* dir_;
};
ScratchDir* KrvtoolSplit::dir_ = nullptr;

TEST_F(KrvtoolSplit, WithoutOutdirIntoAFolderNamedAfterTheRecording)
{
    ScratchDir cwd;
    const mode_t previous = umask(022);
    const ToolRun r = runTool(KRVTOOL_PATH, {"split", recording("other.krv").string()}, env(), cwd.path());
    umask(previous);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find((cwd / "other").string()), std::string::npos) << r.out;
    EXPECT_EQ(entriesOf(cwd / "other"), splitNames());
    struct stat st {};
    ASSERT_EQ(stat((cwd / "other" / "Video2.krv").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u) << "the user's own files keep the umask";
    EXPECT_FALSE(fs::exists(*dir_ / "xdg")) << "nothing goes to the player's work root";

    const ToolRun again = runTool(KRVTOOL_PATH, {"split", recording("other.krv").string()}, env(), cwd.path());
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("exists already"), std::string::npos) << again.err;
    EXPECT_EQ(again.err.find("Create Dir error!"), std::string::npos) << "only the real reason";
}

// The second split into a folder a split is writing fails at once; the first
// then finishes with exactly its own recording's files.
TEST_F(KrvtoolSplit, SecondSplitIntoTheSameFolderIsRefused)
{
    ScratchDir work;
    ASSERT_EQ(runTool(KRVTOOL_PATH, {"split", recording("big.krv").string(), (work / "alone").string()}).exitCode, 0);
    const fs::path out = work / "out";
    Background first(KRVTOOL_PATH, {"split", recording("big.krv").string(), out.string()});
    ASSERT_TRUE(first.stopWhen([&] { return holdsFiles(out); }));

    const ToolRun second = runTool(KRVTOOL_PATH, {"split", recording("other.krv").string(), out.string()});
    EXPECT_EQ(second.exitCode, 1) << second.out;
    EXPECT_NE(second.err.find("another split is writing into"), std::string::npos) << second.err;

    first.signal(SIGCONT);
    const ToolRun done = first.finish();
    ASSERT_EQ(done.exitCode, 0) << done.err;
    ASSERT_EQ(entriesOf(out), entriesOf(work / "alone"));
    for (const std::string& name : entriesOf(out))
        EXPECT_TRUE(readFile(out / name) == readFile(work / "alone" / name)) << name << " is not the first recording's";
}

struct EndRow {
    const char* name;
    int signal;            // sent while the split runs; 0: none
    const char* fileLimit; // prlimit --fsize; "" for none
    bool outdirExists;     // made before the split
    int exitCode;
    const char* inStderr;
};

void PrintTo(const EndRow& row, std::ostream* os)
{
    *os << row.name;
}

class KrvtoolSplitEnds : public KrvtoolSplit, public ::testing::WithParamInterface<EndRow> {};

// Whatever ends a split early, no file is left that opens as a recording: the
// files go (and the folder, when the split made it), or under kill -9 only
// the hidden staging folder stays, which the next split into the folder removes.
TEST_P(KrvtoolSplitEnds, NothingLeftThatOpens)
{
    const EndRow& row = GetParam();
    ScratchDir work;
    const fs::path out = work / "out";
    if (row.outdirExists)
        fs::create_directories(out);
    std::vector<std::string> args{"split", recording("big.krv").string(), out.string()};
    std::string program = KRVTOOL_PATH;
    if (*row.fileLimit) {
        args.insert(args.begin(), {std::string("--fsize=") + row.fileLimit, program});
        program = "/usr/bin/prlimit";
    }
    Background split(program, args);
    if (row.signal) {
        ASSERT_TRUE(split.stopWhen([&] { return holdsFiles(out); }));
        split.signal(row.signal);
        split.signal(SIGCONT);
    }
    const ToolRun r = split.finish();
    EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
    EXPECT_NE(r.err.find(row.inStderr), std::string::npos) << r.err;
    if (row.signal == SIGKILL) {
        for (const std::string& name : entriesOf(out))
            EXPECT_TRUE(name.starts_with(".vedra-staging-")) << name;
        const ToolRun next = runTool(KRVTOOL_PATH, {"split", recording("other.krv").string(), out.string()});
        EXPECT_EQ(next.exitCode, 0) << next.err;
        EXPECT_EQ(entriesOf(out), splitNames());
    } else {
        EXPECT_EQ(fs::exists(out), row.outdirExists);
        EXPECT_TRUE(entriesOf(out).empty()) << entriesOf(out)[0];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, KrvtoolSplitEnds,
    ::testing::Values(EndRow{"FileSizeLimit", 0, "3000000", false, 1, "KRV_ERROR_IO): File too large"},
                      EndRow{"FileSizeLimitInAnExistingFolder", 0, "3000000", true, 1,
                             "The KRV File Parse Error (KRV_ERROR_IO)"},
                      EndRow{"Sigterm", SIGTERM, "", false, 128 + SIGTERM, "stopped by signal"},
                      EndRow{"SigintInAnExistingFolder", SIGINT, "", true, 128 + SIGINT, "stopped by signal"},
                      EndRow{"Kill9", SIGKILL, "", false, 128 + SIGKILL, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// kill -9 as the Nth file is about to take its name (strace kills at the Nth
// move): the next split into the folder finds the leftovers of the killed one
// (and the temporary files of an older one) and leaves exactly a whole split.
TEST_F(KrvtoolSplit, KilledAtEachMoveIntoPlace)
{
    if (runTool("strace", {"-V"}).exitCode != 0)
        GTEST_SKIP() << "strace is missing";
    ScratchDir work;
    const std::string rec = recording("other.krv").string();
    const fs::path whole = work / "whole";
    ASSERT_EQ(runTool(KRVTOOL_PATH, {"split", rec, whole.string()}).exitCode, 0);
    for (int n = 1; n <= int(splitNames().size()); ++n) {
        SCOPED_TRACE(n);
        const fs::path out = work / ("killed" + std::to_string(n));
        const ToolRun killed = runTool("strace", {"-f", "-o", "/dev/null", "-e", "trace=renameat2", "-e",
                                                  "inject=renameat2:signal=KILL:when=" + std::to_string(n),
                                                  KRVTOOL_PATH, "split", rec, out.string()});
        EXPECT_NE(killed.exitCode, 0) << killed.err;
        std::ofstream(out / "Video2.krv.part") << "an older split's";
        const ToolRun next = runTool(KRVTOOL_PATH, {"split", rec, out.string()});
        ASSERT_EQ(next.exitCode, 0) << next.err;
        ASSERT_EQ(entriesOf(out), splitNames());
        for (const std::string& name : splitNames())
            EXPECT_TRUE(readFile(out / name) == readFile(whole / name)) << name;
    }
}

// A run of a batch that dies by a signal is named as such and fails the batch. SIGKILL, because
// the sanitizers' builds catch a SIGSEGV and end with an exit code instead.
TEST_F(KrvtoolSplit, BatchRunKilledBySignal)
{
    ScratchDir work;
    Background batch(KRVTOOL_PATH, {"split", "-j", "1", recording("big.krv").string(), recording("other.krv").string(),
                                    (work / "out").string()});
    // The child of the moment, and the recording it splits (a quick split may already be over).
    pid_t child = 0;
    std::string killed;
    ASSERT_TRUE(eventually([&] {
        std::ifstream children("/proc/" + std::to_string(batch.pid()) + "/task/" + std::to_string(batch.pid()) +
                               "/children");
        if (!(children >> child))
            return false;
        std::ifstream cmdline("/proc/" + std::to_string(child) + "/cmdline");
        const std::string args((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
        killed = args.find("big.krv") != std::string::npos     ? "big.krv"
                 : args.find("other.krv") != std::string::npos ? "other.krv"
                                                               : "";
        return !killed.empty() && kill(child, SIGKILL) == 0;
    }));
    const ToolRun r = batch.finish();
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find(killed + ": killed by signal 9"), std::string::npos) << r.err;
    if (killed == "big.krv") {
        EXPECT_NE(r.err.find("other.krv: done"), std::string::npos) << r.err;
    }
}

} // namespace
