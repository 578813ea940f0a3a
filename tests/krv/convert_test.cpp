// The conversion core: messages, working folders, settings and the whole
// open-count-split road with its outcomes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "krv/krv_config.h"
#include "krv/krv_convert.h"
#include "krv/krv_messages.h"
#include "krv/krv_workfolder.h"
#include "split_fixture.h"

using namespace krvtest;

namespace {

struct MessageRow {
    const char* name;
    int code;
    KrvPhase phase;
    const char* text;
};

class ConvertMessages : public ::testing::TestWithParam<MessageRow> {};

void PrintTo(const MessageRow& row, std::ostream* os)
{
    *os << row.name;
}

// A recording with one video stream and nothing else, or with its audio
// stream too, holding one key frame.
Bytes smallRecording(bool withAudio)
{
    PacketSpec p;
    PayloadSpec key;
    key.stream = 2;
    key.key = true;
    p.payloads.push_back(key);
    Recording r;
    r.withAudio = withAudio;
    r.packets.push_back(packet(p));
    return build(r);
}

std::vector<std::filesystem::path> entries(const std::filesystem::path& dir)
{
    std::vector<std::filesystem::path> v;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec))
        v.push_back(e.path());
    return v;
}

} // namespace

TEST_P(ConvertMessages, Text)
{
    const MessageRow& row = GetParam();
    EXPECT_EQ(krv_error_message(row.code, row.phase), row.text);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConvertMessages,
    ::testing::Values(
        MessageRow{"openFail", -9000, KrvPhase::Open, "The KRV File Parse Error (KRV_ERROR_FAIL_OPEN_FILE)....."},
        MessageRow{"packetSizeOpen", -9003, KrvPhase::Open,
                   "The KRV File Parse Error (KRV_ERROR_INVALID_PACKET_SIZE)....."},
        MessageRow{"streamNumberSplit", -9005, KrvPhase::Split,
                   "The KRV File Parse Error (KRV_ERROR_INVALID_STREAM_NUMBER)....."},
        MessageRow{"payloadHeaderOpen", -9007, KrvPhase::Open,
                   "The KRV File Parse Error (KRV_ERROR_INVALID_PAYLOAD_HEADER)....."},
        MessageRow{"objectSizeOpen", -303, KrvPhase::Open, "The KRV File Parse Error (?]....."},
        MessageRow{"objectSizeSplit", -303, KrvPhase::Split,
                   "The KRV File Parse Error (KRV_ERROR_INVALID_OBJECT_SIZE)....."},
        MessageRow{"lengthSplit", -300, KrvPhase::Split, "The KRV File Parse Error (KRV_ERROR_INVALID_LENGTH)....."},
        MessageRow{"ioSplit", -202, KrvPhase::Split, "The KRV File Parse Error (KRV_ERROR_IO)....."},
        MessageRow{"internalSplit", -100, KrvPhase::Split, "The KRV File Parse Error (KRV_ERROR_INTERNAL)....."},
        MessageRow{"outOfMemorySplit", -101, KrvPhase::Split, "The KRV File Parse Error (KRV_ERROR_OUTOFMEM)....."},
        MessageRow{"needsBytesSplit", -200, KrvPhase::Split, "The KRV File Parse Error (KRV_ERROR_NEEDS_BYTES)....."},
        MessageRow{"eofSplit", -201, KrvPhase::Split, "The KRV File Parse Error (KRV_ERROR_EOF)....."},
        MessageRow{"seekSplit", -401, KrvPhase::Split, "The KRV File Parse Error ( ? )....."},
        MessageRow{"seekOpen", -401, KrvPhase::Open, "The KRV File Parse Error (?]....."},
        MessageRow{"zeroSplit", 0, KrvPhase::Split, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConvertWorkFolder, NameAndRoot)
{
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(krv_work_folder_name(1796636700), "tempFile20261207094500");

    const std::string saved = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("XDG_DATA_HOME", "/data/home", 1);
    EXPECT_EQ(krv_work_root(), std::filesystem::path("/data/home/Vedra Media Player"));
    setenv("XDG_DATA_HOME", "relative/ignored", 1);
    setenv("HOME", "/home/u", 1);
    EXPECT_EQ(krv_work_root(), std::filesystem::path("/home/u/.local/share/Vedra Media Player"));
    setenv("HOME", home.c_str(), 1);
    if (saved.empty())
        unsetenv("XDG_DATA_HOME");
    else
        setenv("XDG_DATA_HOME", saved.c_str(), 1);
}

TEST(ConvertWorkFolder, ConversionsInOneSecondGetTheirOwnFolders)
{
    const std::filesystem::path root = freshDir("sameSecond") / "Vedra Media Player";
    const std::time_t when = 1796636700;
    std::filesystem::path a, b, c;
    ASSERT_TRUE(krv_create_work_folder(root, when, a));
    ASSERT_TRUE(krv_create_work_folder(root, when, b));
    ASSERT_TRUE(krv_create_work_folder(root, when, c));
    EXPECT_EQ(a.filename().string().size(), std::string("tempFile").size() + 14);
    EXPECT_EQ(b.filename().string(), a.filename().string() + "_2");
    EXPECT_EQ(c.filename().string(), a.filename().string() + "_3");
    EXPECT_EQ(entries(root).size(), 3u);
}

struct IniRow {
    const char* name;
    const char* content;
    int expect;
};

class ConvertConfig : public ::testing::TestWithParam<IniRow> {};

void PrintTo(const IniRow& row, std::ostream* os)
{
    *os << row.name;
}

TEST_P(ConvertConfig, AvSyncKey)
{
    const IniRow& row = GetParam();
    const std::filesystem::path path = freshDir(std::string("ini_") + row.name) / "Config.INI";
    if (row.content) {
        std::ofstream out(path, std::ios::binary);
        out << row.content;
    }
    EXPECT_EQ(krv_ini_get_int(path, "SYS_SETTING", "iSupportAVSyncFunc", 0), row.expect);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConvertConfig,
    ::testing::Values(IniRow{"on", "[SYS_SETTING]\r\niSupportAVSyncFunc=1\r\n", 1},
                      IniRow{"off", "[SYS_SETTING]\niSupportAVSyncFunc=0\n", 0},
                      IniRow{"caseAndBlanks", "[ sys_setting ]\n  isupportavsyncfunc = 1 ; on\n", 1},
                      IniRow{"otherSection", "[OTHER]\niSupportAVSyncFunc=1\n[SYS_SETTING]\nx=2\n", 0},
                      IniRow{"notANumber", "[SYS_SETTING]\niSupportAVSyncFunc=yes\n", 0},
                      IniRow{"negative", "[SYS_SETTING]\niSupportAVSyncFunc=-3\n", -3},
                      IniRow{"missingFile", nullptr, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConvertConfigFile, BesideTheProgram)
{
    EXPECT_EQ(krv_config_path().filename(), "Config.INI");
    EXPECT_EQ(krv_config_path().parent_path(), krv_program_folder());
    EXPECT_TRUE(std::filesystem::exists(krv_program_folder() / "krv_tests"));
}

TEST(ConvertRecording, OneVideoStreamIsPlayedDirectly)
{
    const std::filesystem::path root = freshDir("convertOne") / "root";
    const std::string path = writeTemp(smallRecording(false), "convertOne/one.krv");
    const KrvConversion c = krv_convert_recording(path, false, {root});
    EXPECT_FALSE(c.split);
    EXPECT_EQ(c.result, path);
    EXPECT_TRUE(c.messages.empty());
    EXPECT_FALSE(std::filesystem::exists(root)) << "no folder for a recording played directly";
}

TEST(ConvertRecording, TwoStreamsGiveADatedWorkingFolder)
{
    const std::filesystem::path root = freshDir("convertTwo") / "Vedra Media Player";
    const std::string path = writeTemp(smallRecording(true), "convertTwo/two.krv");
    const KrvConversion c = krv_convert_recording(path, false, {root});
    ASSERT_TRUE(c.split);
    EXPECT_TRUE(c.messages.empty());
    const std::filesystem::path folder(c.result);
    EXPECT_EQ(folder.parent_path(), root);
    const std::string name = folder.filename().string();
    ASSERT_EQ(name.size(), 22u) << name;
    EXPECT_EQ(name.substr(0, 8), "tempFile");
    EXPECT_EQ(name.find_first_not_of("0123456789", 8), std::string::npos) << name;
    for (const char* name : {"Audio1.wav", "Video1.krv", "Video2.krv", "Video3.krv", "Video4.krv"})
        EXPECT_TRUE(std::filesystem::exists(folder / name)) << name;
    EXPECT_EQ(readChannel(folder / "Video1.krv").objects.size(), 1u);

    const KrvConversion again = krv_convert_recording(path, false, {root});
    ASSERT_TRUE(again.split);
    EXPECT_NE(again.result, c.result) << "a second conversion never reuses a folder";
}

TEST(ConvertRecording, NonAsciiPathsStayUtf8)
{
    const std::string dir = "convertUtf8/\xC3\x9C"
                            "berwachung \xE6\x9D\xB1\xE4\xBA\xAC";
    const std::filesystem::path root = freshDir("convertUtf8") / "\xC3\xA9t\xC3\xA9" / "Vedra Media Player";
    const std::string path = writeTemp(smallRecording(true), dir + "/Kamera \xC3\xA4.krv");
    const KrvConversion c = krv_convert_recording(path, true, {root});
    ASSERT_TRUE(c.split) << (c.messages.empty() ? "" : c.messages[0].text);
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(c.result) / "Kamera \xC3\xA4_Video1.asf"));
}

// A root that cannot be made gives way to the next one; with none left the
// recording plays directly after one message, and nothing is split.
TEST(ConvertRecording, FolderThatCannotBeCreated)
{
    const std::filesystem::path base = freshDir("convertNoDir");
    {
        std::ofstream blocker(base / "file");
    }
    const std::filesystem::path blocked = base / "file" / "Vedra Media Player";
    const std::filesystem::path fallback = base / "cache" / "work";
    const std::string path = writeTemp(smallRecording(true), "convertNoDir/rec.krv");

    const KrvConversion moved = krv_convert_recording(path, false, {blocked, fallback});
    ASSERT_TRUE(moved.split);
    EXPECT_TRUE(moved.messages.empty());
    EXPECT_EQ(std::filesystem::path(moved.result).parent_path(), fallback);
    krv_remove_owned_folder(moved.result);

    for (bool avSync : {false, true}) {
        const KrvConversion none = krv_convert_recording(path, avSync, {blocked, base / "file" / "x"});
        EXPECT_FALSE(none.split);
        EXPECT_EQ(none.result, path);
        ASSERT_EQ(none.messages.size(), 1u);
        EXPECT_EQ(none.messages[0].text, "Create Dir error!");
    }
}

#ifdef KRVSYNTH_PATH
struct DamageRow {
    const char* name;
    const char* damage;
    std::vector<KrvUserMessage> messages;
};

class ConvertDamaged : public ::testing::TestWithParam<DamageRow> {};

void PrintTo(const DamageRow& row, std::ostream* os)
{
    *os << row.name;
}

TEST_P(ConvertDamaged, MessagesAndPathBack)
{
    const DamageRow& row = GetParam();
    const std::filesystem::path work = freshDir(std::string("damage_") + row.name);
    const std::string path = (work / "rec.krv").string();
    CommandResult synth =
        run(std::string(KRVSYNTH_PATH) + " " + quote(path) + " --seconds 2 --damage " + row.damage + " 2>&1");
    ASSERT_EQ(synth.status, 0) << synth.out;
    const std::filesystem::path root = work / "root";
    const KrvConversion c = krv_convert_recording(path, false, {root});
    EXPECT_FALSE(c.split);
    EXPECT_EQ(c.result, path);
    ASSERT_EQ(c.messages.size(), row.messages.size());
    for (size_t i = 0; i < row.messages.size(); ++i) {
        EXPECT_EQ(c.messages[i].text, row.messages[i].text);
        EXPECT_EQ(c.messages[i].caption, row.messages[i].caption);
    }
    // A failed split removes its folder: nothing of it stays behind.
    EXPECT_TRUE(entries(root).empty()) << entries(root)[0];
    if (!HasFailure())
        std::filesystem::remove_all(work);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConvertDamaged,
    ::testing::Values(
        DamageRow{"badPacketSize",
                  "bad-packet-size",
                  {{"The KRV File Parse Error (KRV_ERROR_INVALID_PACKET_SIZE).....", ""}}},
        DamageRow{"packetSizeMismatch", "packet-size-mismatch", {{"The KRV File Parse Error (?].....", ""}}},
        DamageRow{"noHeaderExtension", "no-header-extension", {{"The KRV File Parse Error (?].....", ""}}},
        DamageRow{"shortStreamProps", "short-stream-props", {{"The KRV File Parse Error (?].....", ""}}},
        DamageRow{"badAudioDef",
                  "bad-audio-def",
                  {{"The Audio channel definition isn't correct, please check it !", "Warning"},
                   {"The KRV File Parse Error (KRV_ERROR_FAIL_OPEN_FILE).....", ""}}},
        DamageRow{"stream6", "stream6", {{"The KRV File Parse Error (KRV_ERROR_INVALID_STREAM_NUMBER).....", ""}}},
        DamageRow{"multipayloadSize",
                  "multipayload-size",
                  {{"The KRV File Parse Error (KRV_ERROR_INVALID_MULTIPAYLOAD_SIZE).....", ""}}}),
    [](const auto& info) { return std::string(info.param.name); });
#endif
