// krvtool bookmark and bookmarks on the user's bookmark store: bookmarks kept
// across runs and a move of the recording, edited and deleted; any note
// stored as given and printed on one line; a damaged, cut or newer store
// left byte for byte as it is and reported.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

class Bookmarks : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Counter's 0 at 10:00:01 (the recorder's first frame a second after its creation date).
        synthesize(dir_ / "cam.krv",
                   {"--channels", "1,2", "--seconds", "4", "--creation-date", "1767261600", "--no-audio"});
    }
    ToolRun krvtool(std::vector<std::string> args)
    {
        return runTool(KRVTOOL_PATH, args, {"TZ=UTC", "XDG_DATA_HOME=" + (dir_ / "data").string()});
    }
    fs::path store() const { return dir_ / "data" / "Vedra Media Player" / "bookmarks.sqlite"; }
    ScratchDir dir_;
};

TEST_F(Bookmarks, KeptAcrossRunsAndAMoveEditedAndDeleted)
{
    const std::string cam = (dir_ / "cam.krv").string();
    ToolRun r = krvtool({"bookmark", cam, "--at", "1.5", "--note", "door opens"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "bookmark 1: " + cam + " +00:00:01.500, cameras 1,2\n");
    ASSERT_EQ(krvtool({"bookmark", cam, "--at", "@10:00:03.250", "--note", "car", "--channels", "2"}).exitCode, 0);
    struct stat st {};
    ASSERT_EQ(stat(store().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat(store().parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    fs::create_directories(dir_ / "elsewhere");
    fs::rename(cam, dir_ / "elsewhere" / "renamed.krv");
    const std::string moved = (dir_ / "elsewhere" / "renamed.krv").string();
    ASSERT_EQ(krvtool({"bookmark", "--edit", "2", "--note", "red car"}).exitCode, 0);
    r = krvtool({"bookmarks", (dir_ / "elsewhere").string(), "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string second = r.out.substr(r.out.find('\n') + 1);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
              "{\"id\":1,\"file\":\"" + moved +
                  "\",\"offset\":1.500,\"time\":\"2026-01-01T10:00:02.500+00:00\",\"channels\":[1,2],\"note\":\"door "
                  "opens\",\"created\":" +
                  r.out.substr(r.out.find("\"created\":") + 10, 31) + ",\"edited\":null}");
    EXPECT_NE(second.find("\"offset\":2.250,\"time\":\"2026-01-01T10:00:03.250+00:00\",\"channels\":[2],\"note\":"
                          "\"red car\""),
              std::string::npos)
        << second;
    EXPECT_EQ(second.find("\"edited\":null"), std::string::npos) << second;

    ASSERT_EQ(krvtool({"bookmark", "--delete", "1"}).exitCode, 0);
    r = krvtool({"bookmarks", moved});
    EXPECT_EQ(r.out, "2  " + moved + "  +00:00:02.250  2026-01-01 10:00:03.250  cameras 2  red car\n");
    EXPECT_EQ(krvtool({"bookmark", "--delete", "1"}).exitCode, 1) << "gone already";
}

TEST_F(Bookmarks, AnyNoteIsStoredAsGivenAndPrintedOnItsLine)
{
    const std::string note = "two\nlines \u202Eright to left\u202C " + std::string(10000, 'x');
    const std::string cam = (dir_ / "cam.krv").string();
    ASSERT_EQ(krvtool({"bookmark", cam, "--at", "1", "--note", note}).exitCode, 0);
    ToolRun r = krvtool({"bookmarks", cam});
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << "one line per bookmark";
    EXPECT_NE(r.out.find("two\\x0alines \\u202Eright to left\\u202C " + std::string(10000, 'x') + "\n"),
              std::string::npos);
    r = krvtool({"bookmarks", cam, "--json"});
    EXPECT_NE(r.out.find("\"note\":\"two\\nlines \\u202Eright to left\\u202C " + std::string(10000, 'x') + "\""),
              std::string::npos);
}

TEST_F(Bookmarks, ABadStoreIsKeptAsItIsAndReported)
{
    const std::string cam = (dir_ / "cam.krv").string();
    ASSERT_EQ(krvtool({"bookmark", cam, "--at", "1", "--note", "kept"}).exitCode, 0);
    const std::vector<uint8_t> good = readFile(store());
    struct Row {
        const char* name;
        std::function<void()> spoil;
        const char* said;
    };
    const Row rows[] = {
        {"not a database", [&] { std::ofstream(store(), std::ios::trunc) << std::string(5000, 'z'); },
         "is damaged (file is not a database)"},
        {"cut short", [&] { fs::resize_file(store(), good.size() / 2 + 100); }, "is damaged"},
        {"a newer version",
         [&] {
             std::fstream f(store(), std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(60); // the header's user version, big-endian
             f.write("\0\0\0\x07", 4);
         },
         "was written by a newer version of the program (schema 7; this one keeps 1)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        {
            std::ofstream(store(), std::ios::binary | std::ios::trunc)
                .write(reinterpret_cast<const char*>(good.data()), std::streamsize(good.size()));
        }
        row.spoil();
        const std::vector<uint8_t> spoilt = readFile(store());
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {"bookmark", cam, "--at", "2", "--note", "new"}, {"bookmarks", cam}, {"bookmark", "--delete", "1"}}) {
            const ToolRun r = krvtool(args);
            EXPECT_EQ(r.exitCode, 1) << args[0];
            EXPECT_NE(r.err.find(row.said), std::string::npos) << r.err;
            EXPECT_NE(r.err.find("it is kept as it is and nothing is written to it"), std::string::npos) << r.err;
        }
        EXPECT_EQ(readFile(store()), spoilt) << "left byte for byte";
        EXPECT_EQ(entriesOf(store().parent_path()), std::vector<std::string>{"bookmarks.sqlite"})
            << "nothing beside it";
    }
}

} // namespace
