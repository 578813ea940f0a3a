// krvtool index, activity and find on a folder of three consecutive
// recordings (krvsynth's still scenes, objects crossing at known seconds),
// and the catalog behind them: a changed file indexed again, a moved one, two
// processes at once, a damaged, truncated or foreign catalog set aside, a
// catalog that cannot be written, and bad files that give a line each.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

// 2026-01-01 10:00:00 UTC; the recordings follow each other minute by minute.
constexpr long long kFirstStart = 1767261600;

// cam_N.krv: 60 s, camera 1 with a 15 % object at seconds 10+5N to 14+5N, camera 2 still.
void writeRecording(const fs::path& path, int n, const std::string& object = {})
{
    synthesize(path, {"--channels", "1,2", "--fps", "5", "--seconds", "60", "--still-scene", "--sensor-noise", "4",
                      "--object",
                      object.empty() ? "1:15:" + std::to_string(10 + 5 * n) + "-" + std::to_string(14 + 5 * n) : object,
                      "--creation-date", std::to_string(kFirstStart + 60 * n), "--no-audio"});
}

class Archive : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        source_ = new ScratchDir;
        for (int n = 0; n < 3; ++n)
            writeRecording(*source_ / ("cam_" + std::to_string(n) + ".krv"), n);
    }
    static void TearDownTestSuite()
    {
        delete source_;
        source_ = nullptr;
    }
    void SetUp() override
    {
        fs::create_directories(dir_ / "rec");
        for (int n = 0; n < 3; ++n) {
            const std::string name = "cam_" + std::to_string(n) + ".krv";
            fs::copy_file(*source_ / name, dir_ / "rec" / name);
        }
    }
    ToolRun krvtool(std::vector<std::string> args, const std::vector<std::string>& env = {})
    {
        std::vector<std::string> all = {"TZ=UTC", "XDG_CACHE_HOME=" + (dir_ / "cache").string()};
        all.insert(all.end(), env.begin(), env.end());
        return runTool(KRVTOOL_PATH, args, all);
    }
    fs::path rec() const { return dir_ / "rec"; }
    fs::path catalogFile() const { return dir_ / "cache" / "Vedra Media Player" / "catalog.sqlite"; }

    static ScratchDir* source_;
    ScratchDir dir_;
};

ScratchDir* Archive::source_ = nullptr;

size_t count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

const std::string kSpan0 = "camera 1  2026-01-01 10:00:11.000 to 10:00:16.000  +00:00:10.000 to +00:00:15.000";
const std::string kSpan2 = "camera 1  2026-01-01 10:02:21.000 to 10:02:26.000  +00:00:20.000 to +00:00:25.000";

} // namespace

TEST_F(Archive, IndexesOnceThenAnswersFromTheCatalog)
{
    ToolRun r = krvtool({"index", rec().string()});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(count(r.out, ": indexed, "), 3u) << r.out;
    EXPECT_NE(r.out.find("cam_1.krv: indexed, 2026-01-01 10:01:01.000 to 10:02:00.800, cameras 1,2, activity 1: 5 s, "
                         "2: 0 s"),
              std::string::npos)
        << r.out;
    struct stat st {};
    ASSERT_EQ(stat(catalogFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat(catalogFile().parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    r = krvtool({"index", "--json", rec().string()});
    EXPECT_EQ(count(r.out, "\"status\":\"up to date\""), 3u) << r.out;
    EXPECT_NE(r.out.find("\"start_time\":\"2026-01-01T10:00:01.000+00:00\""), std::string::npos) << r.out;

    r = krvtool({"activity", rec().string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(count(r.out, "\n"), 3u) << r.out;
    EXPECT_LT(r.out.find(kSpan0), r.out.find(kSpan2)) << "time order:\n" << r.out;

    r = krvtool({"activity", "--json=array", "--channels", "1", "--from", "@10:01:30", "--to", "2026-01-01T10:02:22",
                 rec().string()});
    EXPECT_EQ(r.out, "[{\"file\":\"" + (rec() / "cam_2.krv").string() +
                         "\",\"channel\":1,\"start\":20.000,\"end\":25.000,\"start_time\":\"2026-01-01T10:02:21.000+"
                         "00:00\",\"end_time\":\"2026-01-01T10:02:26.000+00:00\",\"score\":" +
                         r.out.substr(r.out.find("\"score\":") + 8, r.out.find('}') - r.out.find("\"score\":") - 8) +
                         "}]\n")
        << r.out;
    r = krvtool({"activity", "--channels", "2", rec().string()});
    EXPECT_EQ(r.out, "") << "camera 2 is still";
}

TEST_F(Archive, FindsTheRecordingOfATimeOfDayOrTheGap)
{
    struct Row {
        std::string at;
        int exit;
        std::string out;
    };
    const std::string c1 = (rec() / "cam_1.krv").string(), c2 = (rec() / "cam_2.krv").string();
    const Row rows[] = {
        {"2026-01-01 10:01:30", 0, c1 + "  +00:00:29.000  2026-01-01 10:01:30.000\n"},
        {"@10:02:01.250", 0, c2 + "  +00:00:00.250  2026-01-01 10:02:01.250\n"},
        {"@10:05:00", 1,
         "no recording covers @10:05:00\nbefore: " + c2 + " ends 2026-01-01 10:03:00.800, 119.200 s earlier\n"},
        {"2026-01-01 09:59:00", 1,
         "after: " + (rec() / "cam_0.krv").string() + " starts 2026-01-01 10:00:01.000, 61.000 s later"},
        {"75", 2, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.at);
        const ToolRun r = krvtool({"find", rec().string(), "--at", row.at});
        EXPECT_EQ(r.exitCode, row.exit) << r.err;
        EXPECT_NE(r.out.find(row.out), std::string::npos) << r.out;
    }
    const ToolRun r = krvtool({"find", "--json", rec().string(), "--at", "2026-01-01 10:01:30.5"});
    EXPECT_EQ(r.out, "{\"file\":\"" + c1 + "\",\"offset\":29.500,\"time\":\"2026-01-01T10:01:30.500+00:00\"}\n");
}

TEST_F(Archive, AChangedFileIsIndexedAgainAndAVanishedOneDropped)
{
    ASSERT_EQ(krvtool({"index", rec().string()}).exitCode, 0);
    // cam_1 rewritten: its object now crosses at seconds 40-44.
    writeRecording(rec() / "cam_1.krv", 1, "1:15:40-44");
    // cam_2 moved to a subfolder: a new path, and the old one gone.
    fs::create_directories(rec() / "moved");
    fs::rename(rec() / "cam_2.krv", rec() / "moved" / "cam_2.krv");
    ToolRun r = krvtool({"index", rec().string()});
    EXPECT_NE(r.out.find("cam_0.krv: up to date"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("cam_1.krv: indexed"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("moved/cam_2.krv: indexed"), std::string::npos) << r.out;
    r = krvtool({"activity", rec().string()});
    EXPECT_NE(r.out.find("cam_1.krv  camera 1  2026-01-01 10:01:41.000"), std::string::npos) << r.out;
    EXPECT_EQ(count(r.out, "\n"), 3u) << r.out;
    const ToolRun rows = runTool("sqlite3", {catalogFile().string(), "SELECT count(*) FROM recordings"});
    EXPECT_EQ(rows.out, "3\n") << "the old path of cam_2 is dropped";
}

TEST_F(Archive, TwoProcessesIndexTheSameFolderAtOnce)
{
    for (int n = 3; n < 8; ++n)
        fs::copy_file(rec() / "cam_0.krv", rec() / ("copy_" + std::to_string(n) + ".krv"));
    const std::vector<std::string> env = {"TZ=UTC", "XDG_CACHE_HOME=" + (dir_ / "cache").string()};
    Background a(KRVTOOL_PATH, {"index", rec().string()}, env),
        b(KRVTOOL_PATH, {"index", "-j", "2", rec().string()}, env);
    const ToolRun ra = a.finish(), rb = b.finish();
    EXPECT_EQ(ra.exitCode, 0) << ra.out << ra.err;
    EXPECT_EQ(rb.exitCode, 0) << rb.out << rb.err;
    EXPECT_EQ(ra.err + rb.err, "");
    const ToolRun again = krvtool({"index", rec().string()});
    EXPECT_EQ(count(again.out, ": up to date,"), 8u) << again.out;
}

TEST_F(Archive, ABadCatalogIsSetAsideOrDoneWithout)
{
    struct Row {
        const char* name;
        std::function<void(const fs::path&)> spoil;
        std::string warning;
    };
    const Row rows[] = {
        {"garbage", [](const fs::path& f) { std::ofstream(f, std::ios::trunc) << std::string(9000, 'x'); },
         "set aside"},
        {"truncated", [](const fs::path& f) { fs::resize_file(f, fs::file_size(f) / 2); }, "set aside"},
        {"otherVersion",
         [](const fs::path& f) {
             runTool("sqlite3", {f.string(), "PRAGMA user_version=7"});
         },
         "schema version 7"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(dir_ / "cache");
        ASSERT_EQ(krvtool({"index", rec().string()}).exitCode, 0);
        row.spoil(catalogFile());
        const ToolRun r = krvtool({"activity", rec().string()});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.err.find(row.warning), std::string::npos) << r.err;
        EXPECT_NE(r.out.find(kSpan0), std::string::npos) << r.out;
        EXPECT_EQ(count(r.out, "\n"), 3u) << r.out;
        EXPECT_EQ(count(krvtool({"index", rec().string()}).out, "up to date"), 3u) << "the new catalog holds them";
    }
    // A cache home that cannot hold a folder: the command runs without a catalog.
    std::ofstream(dir_ / "file") << "x";
    const ToolRun r = krvtool({"activity", rec().string()}, {"XDG_CACHE_HOME=" + (dir_ / "file" / "sub").string()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("running without it"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find(kSpan0), std::string::npos) << r.out;
}

TEST_F(Archive, BadFilesGiveALineEachAndStopNoOther)
{
    fs::copy_file(rec() / "cam_0.krv", rec() / "caf\xe9.krv");    // a name that is not UTF-8
    std::ofstream(rec() / "junk.krv") << std::string(4000, '\0'); // no recording
    ASSERT_EQ(mkfifo((rec() / "pipe.asf").c_str(), 0600), 0);     // no regular file
    // Cut short: the recorder lost power half way.
    fs::copy_file(rec() / "cam_2.krv", rec() / "cut.krv");
    fs::resize_file(rec() / "cut.krv", fs::file_size(rec() / "cut.krv") / 2);
    const ToolRun r = krvtool({"index", rec().string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(count(r.out, "\n"), 7u) << r.out;
    EXPECT_EQ(count(r.out, ": indexed, "), 5u) << r.out;
    EXPECT_NE(r.out.find("caf\xe9.krv: indexed"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("junk.krv: The KRV File Parse Error"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("pipe.asf: is no regular file"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("cut.krv: indexed, 2026-01-01 10:02:01.000 to"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("cut short: kept"), std::string::npos) << r.out;
    const ToolRun j = krvtool({"index", "--json", (rec() / "cut.krv").string()});
    EXPECT_NE(j.out.find("\"cut_short\":true"), std::string::npos) << j.out;
}
