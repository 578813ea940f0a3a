// krvtool's exit codes and messages: the system's texts on errors, usage
// errors apart from container errors.
#include <gtest/gtest.h>


#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

struct ToolRow {
    const char* name;
    std::vector<std::string> synthArgs;  // empty first word: no recording
    std::vector<std::string> command;    // "{rec}" = the recording, "{out}" = an output folder
    int exitCode;
    std::vector<std::string> inStdout;
    std::vector<std::string> inStderr;
};

void PrintTo(const ToolRow& row, std::ostream* os) { *os << row.name; }

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
        ToolRow{"Info", {}, {"info", "{rec}"}, 0,
                {"Media streams: 2", "352x288, MP4S", "MS ADPCM", "video channel 4", "Audio channel definition: 0"}, {}},
        ToolRow{"SplitNormal", {}, {"split", "{rec}", "{out}"}, 0,
                {"Audio1.wav", "Video1.krv", "Video4.krv", "packets", "samples"}, {}},
        ToolRow{"SplitAvSync", {"--audio-def", "1"}, {"split", "{rec}", "{out}", "--av-sync"}, 0,
                {"cam01_Video1.asf", "cam01_Video4.asf", "A/V-sync"}, {}},
        ToolRow{"OneStreamIsNotSplit", {"--no-audio-stream", "--channels", "1"}, {"split", "{rec}", "{out}"}, 0,
                {"nothing to split"}, {}},
        ToolRow{"MissingFile", {"none"}, {"split", "{rec}"}, 1, {},
                {"Error opening file", kParse + "(KRV_ERROR_FAIL_OPEN_FILE)....."}},
        ToolRow{"BadPacketSize", {"--damage", "bad-packet-size"}, {"info", "{rec}"}, 1, {},
                {kParse + "(KRV_ERROR_INVALID_PACKET_SIZE).....", "-9003"}},
        ToolRow{"PacketSizeMismatch", {"--damage", "packet-size-mismatch"}, {"split", "{rec}", "{out}"}, 1, {},
                {kParse + "(?].....", "KRV_ERROR_INVALID_VALUE"}},
        ToolRow{"NoHeaderExtension", {"--damage", "no-header-extension"}, {"info", "{rec}"}, 1, {},
                {kParse + "(?].....", "KRV_ERROR_INVALID_OBJECT"}},
        ToolRow{"ShortStreamProps", {"--damage", "short-stream-props"}, {"split", "{rec}", "{out}"}, 1, {},
                {kParse + "(?].....", "-303"}},
        ToolRow{"BadAudioDef", {"--damage", "bad-audio-def"}, {"info", "{rec}"}, 1, {},
                {"Warning: The Audio channel definition isn't correct, please check it !",
                 kParse + "(KRV_ERROR_FAIL_OPEN_FILE)....."}},
        ToolRow{"Stream6", {"--damage", "stream6"}, {"split", "{rec}", "{out}"}, 1, {},
                {kParse + "(KRV_ERROR_INVALID_STREAM_NUMBER)....."}},
        ToolRow{"Truncated", {"--damage", "truncated"}, {"split", "{rec}", "{out}"}, 1, {},
                {kParse + "(KRV_ERROR_EOF)....."}},
        ToolRow{"TruncatedInfo", {"--damage", "truncated"}, {"info", "{rec}"}, 1, {"Media streams: 2"},
                {"KRV_ERROR_EOF"}},
        ToolRow{"MultipayloadSize", {"--damage", "multipayload-size"}, {"split", "{rec}", "{out}"}, 1, {},
                {kParse + "(KRV_ERROR_INVALID_MULTIPAYLOAD_SIZE)....."}},
        ToolRow{"NoCommand", {"none"}, {}, 2, {}, {"usage: krvtool"}},
        ToolRow{"UnknownCommand", {"none"}, {"play-backwards"}, 2, {}, {"unknown command"}},
        ToolRow{"SplitTooManyArgs", {"none"}, {"split", "a", "b", "c"}, 2, {}, {"usage: krvtool split"}},
        ToolRow{"SplitUnknownOption", {"none"}, {"split", "a", "--fast"}, 2, {}, {"unknown option --fast"}},
        ToolRow{"Help", {"none"}, {"--help"}, 0, {"info FILE", "split FILE"}, {}},
        ToolRow{"Version", {"none"}, {"--version"}, 0, {"krvtool (Vedra Media Player) "}, {}}),
    [](const auto& info) { return info.param.name; });

TEST(Krvtool, OneStreamCreatesNoFolder)
{
    ScratchDir dir;
    synthesize(dir / "r.krv", {"--no-audio-stream", "--channels", "2"});
    const ToolRun r = runTool(KRVTOOL_PATH, {"split", "r.krv"}, {"XDG_DATA_HOME=" + (dir / "xdg").string()}, dir.path());
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

} // namespace
