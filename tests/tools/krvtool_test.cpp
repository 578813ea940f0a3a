// krvtool's exit codes and messages: the system's texts on errors, usage
// errors apart from container errors.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

struct ToolRow {
    const char* name;
    std::vector<std::string> synthArgs; // empty first word: no recording
    std::vector<std::string> command;   // "{rec}" = the recording, "{out}" = an output folder
    int exitCode;
    std::vector<std::string> inStdout;
    std::vector<std::string> inStderr;
};

void PrintTo(const ToolRow& row, std::ostream* os)
{
    *os << row.name;
}

class Krvtool : public ::testing::TestWithParam<ToolRow> {};

TEST_P(Krvtool, ExitCodeAndMessages)
{
    const ToolRow& row = GetParam();
    ScratchDir dir;
    const fs::path rec = dir / "cam01.krv";
    if (row.synthArgs.empty() || row.synthArgs[0] != "none")
        synthesize(rec, row.synthArgs);
    std::vector<std::string> args;
    for (const std::string& a : row.command)
        args.push_back(a == "{rec}" ? rec.string() : a == "{out}" ? (dir / "out").string() : a);
    const ToolRun r = runTool(KRVTOOL_PATH, args, {"XDG_DATA_HOME=" + (dir / "xdg").string()});
    EXPECT_EQ(r.exitCode, row.exitCode) << r.out << r.err;
    for (const std::string& s : row.inStdout)
        EXPECT_NE(r.out.find(s), std::string::npos) << "stdout lacks \"" << s << "\":\n" << r.out;
    for (const std::string& s : row.inStderr)
        EXPECT_NE(r.err.find(s), std::string::npos) << "stderr lacks \"" << s << "\":\n" << r.err;
}

const std::string kParse = "The KRV File Parse Error ";

INSTANTIATE_TEST_SUITE_P(
    Rows, Krvtool,
    ::testing::Values(
        ToolRow{"Info",
                {},
                {"info", "{rec}"},
                0,
                {"Media streams: 2", "352x288, MP4S", "MS ADPCM", "video channel 4", "Audio channel definition: 0"},
                {}},
        ToolRow{"SplitNormal",
                {},
                {"split", "{rec}", "{out}"},
                0,
                {"Audio1.wav", "Video1.krv", "Video4.krv", "packets", "samples"},
                {}},
        ToolRow{"SplitAvSync",
                {"--audio-def", "1"},
                {"split", "{rec}", "{out}", "--av-sync"},
                0,
                {"cam01_Video1.asf", "cam01_Video4.asf", "A/V-sync"},
                {}},
        ToolRow{"OneStreamIsNotSplit",
                {"--no-audio-stream", "--channels", "1"},
                {"split", "{rec}", "{out}"},
                0,
                {"nothing to split"},
                {}},
        ToolRow{"MissingFile",
                {"none"},
                {"split", "{rec}"},
                1,
                {},
                {"Error opening file", kParse + "(KRV_ERROR_FAIL_OPEN_FILE)....."}},
        ToolRow{"BadPacketSize",
                {"--damage", "bad-packet-size"},
                {"info", "{rec}"},
                1,
                {},
                {kParse + "(KRV_ERROR_INVALID_PACKET_SIZE).....", "-9003"}},
        ToolRow{"PacketSizeMismatch",
                {"--damage", "packet-size-mismatch"},
                {"split", "{rec}", "{out}"},
                1,
                {},
                {kParse + "(?].....", "KRV_ERROR_INVALID_VALUE"}},
        ToolRow{"NoHeaderExtension",
                {"--damage", "no-header-extension"},
                {"info", "{rec}"},
                1,
                {},
                {kParse + "(?].....", "KRV_ERROR_INVALID_OBJECT"}},
        ToolRow{"ShortStreamProps",
                {"--damage", "short-stream-props"},
                {"split", "{rec}", "{out}"},
                1,
                {},
                {kParse + "(?].....", "-303"}},
        ToolRow{"BadAudioDef",
                {"--damage", "bad-audio-def"},
                {"info", "{rec}"},
                1,
                {},
                {"Warning: The Audio channel definition isn't correct, please check it !",
                 kParse + "(KRV_ERROR_FAIL_OPEN_FILE)....."}},
        ToolRow{"Stream6",
                {"--damage", "stream6"},
                {"split", "{rec}", "{out}"},
                1,
                {},
                {kParse + "(KRV_ERROR_INVALID_STREAM_NUMBER)....."}},
        ToolRow{"TruncatedSplitsWhatIsWhole",
                {"--damage", "truncated"},
                {"split", "{rec}", "{out}"},
                3,
                {"Video4.krv", "Cut short: kept 3 of 4 packets"},
                {kParse + "(KRV_ERROR_EOF)....."}},
        ToolRow{
            "TruncatedInfo", {"--damage", "truncated"}, {"info", "{rec}"}, 1, {"Media streams: 2"}, {"KRV_ERROR_EOF"}},
        ToolRow{"MultipayloadSize",
                {"--damage", "multipayload-size"},
                {"split", "{rec}", "{out}"},
                1,
                {},
                {kParse + "(KRV_ERROR_INVALID_MULTIPAYLOAD_SIZE)....."}},
        ToolRow{"NoCommand", {"none"}, {}, 2, {}, {"usage: krvtool"}},
        ToolRow{"UnknownCommand", {"none"}, {"play-backwards"}, 2, {}, {"unknown command"}},
        ToolRow{"SplitNoFile", {"none"}, {"split", "--av-sync"}, 2, {}, {"usage: krvtool split"}},
        ToolRow{"InfoJson",
                {"--channels", "2,4", "--seconds", "2"},
                {"info", "--json", "{rec}"},
                0,
                // Times count from the first frame, which is at 1 s of the recording.
                {"\"creation_date\":\"2026-01-02T00:00:00.000Z\"", "\"start_time\":\"2026-01-02T00:00:01.000Z\"",
                 "\"preroll\":3.000", "{\"channel\":1,\"present\":false}",
                 "{\"channel\":2,\"present\":true,\"width\":352,\"height\":288,\"frames\":20,\"key_frames\":2,"
                 "\"frame_rate\":10.000,\"first_time\":0.000,\"last_time\":1.900,\"gaps\":[]",
                 "\"cut_short\":false", "\"format\":\"MS ADPCM\"", "\"rate\":8000"},
                {}},
        ToolRow{"InfoJsonWithoutCreationDate",
                {"--creation-date", "0"},
                {"info", "--json", "{rec}"},
                0,
                {"\"creation_date\":null", "\"start_time\":null"},
                {}},
        ToolRow{"InfoJsonGap",
                {"--channels", "1", "--drop", "1:5-14"},
                {"info", "--json", "{rec}"},
                0,
                {"\"gaps\":[{\"start\":0.500,\"length\":1.000}]"},
                {}},
        ToolRow{"InfoJsonCutShort",
                {"--damage", "truncated"},
                {"info", "--json", "{rec}"},
                0,
                {"\"cut_short\":true", "\"missing_packets\":1", "\"packets_announced\":4"},
                {}},
        ToolRow{"InfoJsonRefused",
                {"--damage", "bad-packet-size"},
                {"info", "--json", "{rec}"},
                1,
                {"\"error\":{\"code\":-9003,\"name\":\"KRV_ERROR_INVALID_PACKET_SIZE\""},
                {kParse + "(KRV_ERROR_INVALID_PACKET_SIZE)....."}},
        ToolRow{"InfoBadJobs", {"none"}, {"info", "-j", "0", "a.krv"}, 2, {}, {"-j takes"}},
        ToolRow{"InfoUnknownOption", {"none"}, {"info", "--xml", "a.krv"}, 2, {}, {"unknown option --xml"}},
        ToolRow{"SplitUnknownOption", {"none"}, {"split", "a", "--fast"}, 2, {}, {"unknown option --fast"}},
        ToolRow{"Help", {"none"}, {"--help"}, 0, {"info [--json] FILE", "split FILE"}, {}},
        ToolRow{"Version", {"none"}, {"--version"}, 0, {"krvtool (Vedra Media Player) "}, {}}),
    [](const auto& info) { return info.param.name; });

// info and split start without the playback engine: krvtool needs no Qt,
// GStreamer or libav library, and hands the engine commands over to
// krvtool-engine beside it, saying so when that is missing.
TEST(Krvtool, StartsWithoutTheEngine)
{
    const ToolRun libs = runTool("ldd", {KRVTOOL_PATH});
    ASSERT_EQ(libs.exitCode, 0) << libs.err;
    for (const char* engine : {"libQt", "libgst", "libav", "libglib"})
        EXPECT_EQ(libs.out.find(engine), std::string::npos) << engine << " in\n" << libs.out;

    if (runTool(KRVTOOL_PATH, {"--help"}).out.find("play FILE") == std::string::npos)
        return; // built without the engine
    ScratchDir dir;
    fs::copy_file(KRVTOOL_PATH, dir / "krvtool");
    const ToolRun alone = runTool((dir / "krvtool").string(), {"play", "none.krv"});
    EXPECT_EQ(alone.exitCode, 1);
    EXPECT_NE(alone.err.find("cannot start " + (dir / "krvtool-engine").string()), std::string::npos) << alone.err;
}

TEST(Krvtool, OneStreamCreatesNoFolder)
{
    ScratchDir dir;
    synthesize(dir / "r.krv", {"--no-audio-stream", "--channels", "2"});
    const ToolRun r =
        runTool(KRVTOOL_PATH, {"split", "r.krv"}, {"XDG_DATA_HOME=" + (dir / "xdg").string()}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(fs::exists(dir / "xdg")) << r.out;
    EXPECT_FALSE(fs::exists(dir / "r")) << r.out;
}

// Paths stay UTF-8: a recording in a folder with non-ASCII letters splits.
TEST(Krvtool, NonAsciiFolder)
{
    ScratchDir dir;
    const fs::path sub = dir / "Überwachung façade";
    fs::create_directories(sub);
    synthesize(sub / "kamera.krv", {"--seconds", "1"});
    const ToolRun r = runTool(KRVTOOL_PATH, {"split", (sub / "kamera.krv").string(), (sub / "ausgabe").string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(sub / "ausgabe" / "Video1.krv"));
}

// A file name is bytes: in JSON it stays one valid string (bytes that are no
// UTF-8 as U+FFFD, control characters escaped), on stderr no control byte
// reaches the terminal, in single runs, batches and error objects alike.
TEST(Krvtool, FileNamesAreEscaped)
{
    struct Row {
        const char* name;
        std::string file;
        std::string inJson;
        std::string onStderr; // info on the file with a letter more, which is missing
    };
    const Row rows[] = {
        {"quotes, backslash, tab", "cam \"01\" \\\tA", R"(cam \"01\" \\\tA)", R"(cam "01" \\x09A)"},
        {"terminal escape, stray bytes", "cam\x1b[2J\xff\x80", R"(cam\u001b[2J\uFFFD\uFFFD)", R"(cam\x1b[2J\xff\x80)"},
        {"letters kept, C1 control, cut sequence", "Kamera \xc3\xa9\xc2\x9b\xe2\x82",
         "Kamera \xc3\xa9"
         R"(\u009b\uFFFD\uFFFD)",
         "Kamera \xc3\xa9"
         R"(\xc2\x9b\xe2\x82)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchDir dir;
        const fs::path rec = dir / (row.file + ".krv");
        synthesize(rec, {"--seconds", "1"});
        fs::copy_file(rec, dir / "b.krv");
        const ToolRun one = runTool(KRVTOOL_PATH, {"info", "--json", rec.string()});
        ASSERT_EQ(one.exitCode, 0) << one.err;
        EXPECT_NE(one.out.find(row.inJson + ".krv\","), std::string::npos) << one.out;
        EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '\n'), 1) << "one line per recording";
        const ToolRun batch =
            runTool(KRVTOOL_PATH, {"info", "--json", "-j", "2", rec.string(), (dir / "b.krv").string()});
        EXPECT_NE(batch.out.find(row.inJson + ".krv\","), std::string::npos) << batch.out;

        const std::string missing = rec.string() + "x";
        const ToolRun error = runTool(KRVTOOL_PATH, {"info", "--json", missing});
        EXPECT_EQ(error.exitCode, 1);
        EXPECT_NE(error.out.find(row.inJson + ".krvx\",\"error\""), std::string::npos) << error.out;
        EXPECT_NE(error.err.find(row.onStderr + ".krvx: No such file"), std::string::npos) << error.err;
        for (const std::string& err : {error.err, batch.err, runTool(KRVTOOL_PATH, {"split", missing}).err})
            EXPECT_FALSE(std::any_of(err.begin(), err.end(), [](char c) { return c == '\x1b' || c == '\t'; })) << err;
    }
}

// A FIFO (or a device) named like a recording would block a reader for
// ever: every command refuses it at once with the system's message.
TEST(Krvtool, NonRegularFilesAreRefused)
{
    ScratchDir dir;
    const fs::path fifo = dir / "cam.krv";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::vector<std::string>> commands{
        {"info", fifo.string()}, {"info", "--json", fifo.string()}, {"split", fifo.string(), (dir / "out").string()}};
    if (runTool(KRVTOOL_PATH, {"--help"}).out.find("export FILE") != std::string::npos) {
        commands.push_back({"export", fifo.string(), (dir / "out").string()});
        commands.push_back({"play", fifo.string()});
    }
    for (std::vector<std::string> command : commands) {
        SCOPED_TRACE(command[0]);
        command.insert(command.begin(), {"10", KRVTOOL_PATH});
        const ToolRun r = runTool("timeout", command);
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_NE(r.err.find(kParse + "(KRV_ERROR_FAIL_OPEN_FILE)....."), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "out"));
    }
    const ToolRun info = runTool(KRVTOOL_PATH, {"info", fifo.string()});
    EXPECT_NE(info.err.find("cam.krv: not a regular file"), std::string::npos) << info.err;
}

// Results that cannot be written (a full disk) are a failure, not exit 0.
TEST(Krvtool, OutputToAFullDiskFails)
{
    ScratchDir dir;
    const std::string rec = (dir / "cam.krv").string();
    synthesize(rec, {"--seconds", "1"});
    for (const std::string& command : {"info '" + rec + "'", "info --json '" + rec + "'",
                                       "split '" + rec + "' '" + (dir / "out").string() + "'", std::string("--help")}) {
        SCOPED_TRACE(command);
        const ToolRun r = runTool("/bin/sh", {"-c", std::string(KRVTOOL_PATH) + " " + command + " >/dev/full"});
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_NE(r.err.find("cannot write the output: No space left on device"), std::string::npos) << r.err;
    }
}

// Several recordings and a folder (its names ending in .krv or .asf, any case): every file
// runs, output in the order given, one progress line per file, the worst exit code.
TEST(KrvtoolBatch, FolderInOrderWorstExitCode)
{
    ScratchDir dir;
    const fs::path folder = dir / "cams";
    fs::create_directories(folder);
    synthesize(folder / "a.krv", {"--seconds", "1"});
    synthesize(folder / "b.krv", {"--seconds", "2", "--damage", "truncated"});
    synthesize(folder / "c.krv", {"--seconds", "1", "--damage", "bad-packet-size"});
    synthesize(folder / "d.ASF", {"--seconds", "1"});
    std::ofstream(folder / "notes.txt") << "not a recording";
    std::ofstream(folder / "a.krv.expected") << "not a recording either";
    const std::vector<std::string> env{"XDG_DATA_HOME=" + (dir / "xdg").string()};

    const ToolRun info = runTool(KRVTOOL_PATH, {"info", "--json", "-j", "2", folder.string()}, env);
    EXPECT_EQ(info.exitCode, 1) << info.err;
    std::vector<std::string> lines;
    std::istringstream out(info.out);
    for (std::string line; std::getline(out, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 4u) << info.out;
    for (size_t i = 0; i < 3; ++i)
        EXPECT_NE(lines[i].find(std::string(1, char('a' + i)) + ".krv\""), std::string::npos) << lines[i];
    EXPECT_NE(lines[3].find("d.ASF\""), std::string::npos) << lines[3];
    EXPECT_NE(lines[1].find("\"cut_short\":true"), std::string::npos);
    EXPECT_NE(lines[2].find("\"error\""), std::string::npos);
    for (const char* progress : {"/4] ", "a.krv: done", "b.krv: done", "c.krv: failed (exit 1)"})
        EXPECT_NE(info.err.find(progress), std::string::npos) << progress << " in\n" << info.err;

    // Each recording into a folder of its own under OUTDIR.
    const ToolRun split = runTool(KRVTOOL_PATH, {"split", "-j2", folder.string(), (dir / "out").string()}, env);
    EXPECT_EQ(split.exitCode, 1) << split.err;
    EXPECT_TRUE(fs::exists(dir / "out" / "a" / "Video1.krv"));
    EXPECT_TRUE(fs::exists(dir / "out" / "b" / "Video1.krv")) << "cut short, split all the same";
    EXPECT_TRUE(fs::exists(dir / "out" / "d" / "Video1.krv"));
    EXPECT_NE(split.err.find("b.krv: cut short (exit 3)"), std::string::npos) << split.err;

    // Two files and no OUTDIR: a folder named after each in the current directory; cut short is
    // worse than done.
    fs::create_directories(dir / "cwd");
    const ToolRun two =
        runTool(KRVTOOL_PATH, {"split", (folder / "a.krv").string(), (folder / "b.krv").string()}, env, dir / "cwd");
    EXPECT_EQ(two.exitCode, 3) << two.err;
    EXPECT_TRUE(fs::exists(dir / "cwd" / "a" / "Video1.krv"));
    EXPECT_TRUE(fs::exists(dir / "cwd" / "b" / "Video1.krv"));
    EXPECT_FALSE(fs::exists(dir / "xdg" / "Vedra Media Player")) << "krvtool never writes into the player's folders";
}

} // namespace
