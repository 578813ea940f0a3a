// Opening recordings: the audio channel definition, the message sink, the
// caller's recording and paths.
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "krv/krv_log.h"
#include "krv/krv_reader.h"
#include "krv/krv_recording.h"
#include "krv_fixture.h"

using namespace krvtest;

namespace {

// A sink that keeps the log lines and messages it is given.
struct Hooks {
    std::string log;
    std::vector<std::pair<std::string, std::string>> messages;
    KrvMessageSink sink{[this](std::string_view line) { log.append(line); },
                        [this](std::string_view text, std::string_view caption) {
                            messages.emplace_back(std::string(text), std::string(caption));
                        }};
    Hooks() = default;
    Hooks(const Hooks&) = delete;
};

Bytes recordingWithDefinition(uint8_t byte649)
{
    Recording r;
    r.packets.push_back(simplePacket());
    r.audioDefinition = byte649;
    return build(r);
}

struct DefinitionCase {
    const char* name;
    uint8_t byte;
    bool opens;
    uint8_t definition;
};

const DefinitionCase kDefinitionCases[] = {
    {"Zero", 0x00, true, 0},
    {"Four", 0x04, true, 4},
    {"HighBitsIgnored", 0xF3, true, 3},
    {"Five", 0x05, false, 0},
    {"LowBitsFiveWithHighBits", 0x15, false, 0},
    {"Fifteen", 0x0F, false, 0},
};

class AudioDefinition : public ::testing::TestWithParam<DefinitionCase> {};

TEST_P(AudioDefinition, OpenResult)
{
    Hooks hooks;
    const DefinitionCase& c = GetParam();
    std::string path = writeTemp(recordingWithDefinition(c.byte));
    KrvFilePtr file(krv_open(path, true, &hooks.sink));
    EXPECT_EQ(bool(file), c.opens);
    // The loader's check before a conversion is the same one.
    uint8_t definition = 0xFF;
    EXPECT_EQ(krv_read_audio_definition(path, definition), c.opens ? 1 : KRV_ERROR_INVALID_VALUE);
    EXPECT_EQ(definition, c.byte & 0x0F);
    if (c.opens) {
        EXPECT_EQ(file->audioChannelDefinition, c.definition);
        EXPECT_EQ(krv_init(file.get()), 1); // positioned back at 0
        EXPECT_TRUE(hooks.messages.empty());
    } else {
        ASSERT_EQ(hooks.messages.size(), 1u);
        EXPECT_EQ(hooks.messages[0].first, "The Audio channel definition isn't correct, please check it !");
        EXPECT_EQ(hooks.messages[0].second, "Warning");
    }
}

INSTANTIATE_TEST_SUITE_P(Reader, AudioDefinition, ::testing::ValuesIn(kDefinitionCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReaderOpen, ShortFileHasDefinitionZero)
{
    std::string path = writeTemp(Bytes(600, 0xFF), "short.krv");
    KrvFilePtr file(krv_open(path, true));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->audioChannelDefinition, 0);
    EXPECT_EQ(krv_init(file.get()), KRV_ERROR_INVALID_OBJECT_SIZE); // size field 0xFF.. is absurd
    uint8_t definition = 0xFF;
    EXPECT_EQ(krv_read_audio_definition(path, definition), 1);
    EXPECT_EQ(definition, 0);
}

TEST(ReaderOpen, MissingFileGivesNone)
{
    EXPECT_EQ(krv_open((tempDir() / "does-not-exist.krv").string(), true), nullptr);
    uint8_t definition = 0;
    EXPECT_EQ(krv_read_audio_definition((tempDir() / "does-not-exist.krv").string(), definition),
              KRV_ERROR_FAIL_OPEN_FILE);
    std::filesystem::create_directories(tempDir() / "folder.krv");
    EXPECT_EQ(krv_read_audio_definition((tempDir() / "folder.krv").string(), definition), KRV_ERROR_FAIL_OPEN_FILE);
}

TEST(ReaderOpen, ForWritingCreatesAndTruncates)
{
    std::string path = writeTemp(Bytes(5000, 1), "out.krv");
    KrvFile* file = krv_open(path, false);
    ASSERT_TRUE(file);
    const uint8_t bytes[3] = {1, 2, 3};
    EXPECT_EQ(file->io.write(file->io.context, bytes, 3), 3);
    krv_close(file);
    EXPECT_EQ(std::filesystem::file_size(path), 3u);
}

TEST(ReaderOpen, CloseAcceptsNone)
{
    krv_close(nullptr);
}

TEST(ReaderOpen, Utf8PathOpensAsIs)
{
    Recording r;
    r.packets.push_back(simplePacket());
    std::string name = "K\xC3\xA4mera \xE7\x9B\xA3\xE8\xA6\x96/Aufnahme \xC3\xBC.krv";
    Opened o = openBytes(build(r), name);
    ASSERT_TRUE(o.file);
    EXPECT_EQ(o.init, 1);
    EXPECT_NE(o.file->path.find("\xC3\xBC.krv"), std::string::npos);
}

// Reading over memory callbacks, as the fuzz target does.
struct Memory {
    Bytes bytes;
    size_t pos = 0;
    static int64_t read(void* c, uint8_t* buf, size_t size)
    {
        auto* m = static_cast<Memory*>(c);
        size_t n = std::min(size, m->bytes.size() - std::min(m->pos, m->bytes.size()));
        if (n)
            std::memcpy(buf, m->bytes.data() + m->pos, n);
        m->pos += n;
        return int64_t(n);
    }
    static int64_t seek(void* c, uint64_t offset)
    {
        static_cast<Memory*>(c)->pos = size_t(offset);
        return 0;
    }
};

TEST(ReaderOpen, OverCallbacks)
{
    Recording r;
    r.packets.push_back(simplePacket());
    r.audioDefinition = 2;
    Memory m{build(r)};
    KrvIo io;
    io.read = Memory::read;
    io.seek = Memory::seek;
    io.context = &m;
    KrvFilePtr file(krv_open_io(io, "memory"));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->audioChannelDefinition, 2);
    ASSERT_EQ(krv_init(file.get()), 1);
    KrvPacketPtr p(krv_packet_create(file.get(), true));
    EXPECT_EQ(krv_get_packet(file.get(), p.get(), false, nullptr), int(kPacketSize));
    EXPECT_EQ(p->payloadCount, 1);
}

TEST(ReaderOpen, WithoutReadCallback)
{
    KrvIo io;
    EXPECT_EQ(krv_open_io(io, "none"), nullptr);
}

TEST(Recording, OpenCountAndClose)
{
    Hooks hooks;
    Recording r;
    r.packets.push_back(simplePacket());
    std::string path = writeTemp(build(r), "two-streams.krv");
    KrvFilePtr recording;
    ASSERT_EQ(krv_open_recording(path, recording, &hooks.sink), 1);
    ASSERT_TRUE(recording);
    EXPECT_EQ(krv_count_media_streams(*recording), 2);
    EXPECT_GT(recording->audioPropsOffset, 0u);
    EXPECT_EQ(recording->audioPropsSize, audioStream({}).size());
    EXPECT_TRUE(hooks.log.empty());
}

TEST(Recording, OneStreamOnly)
{
    Recording r;
    r.withAudio = false;
    r.packets.push_back(simplePacket());
    KrvFilePtr recording;
    ASSERT_EQ(krv_open_recording(writeTemp(build(r), "one-stream.krv"), recording), 1);
    EXPECT_EQ(krv_count_media_streams(*recording), 1);
}

TEST(Recording, ParseErrorKeepsTheFileAsRead)
{
    Recording r;
    r.withExtension = false;
    KrvFilePtr recording;
    ASSERT_EQ(krv_open_recording(writeTemp(build(r), "bad.krv"), recording), KRV_ERROR_INVALID_OBJECT);
    EXPECT_NE(recording, nullptr);
}

TEST(Recording, OpenFailureIsLogged)
{
    Hooks hooks;
    std::string path = (tempDir() / "missing.krv").string();
    KrvFilePtr recording;
    EXPECT_EQ(krv_open_recording(path, recording, &hooks.sink), KRV_ERROR_FAIL_OPEN_FILE);
    EXPECT_EQ(hooks.log, "Error opening file " + path + "\n");
    EXPECT_EQ(recording, nullptr);
}

TEST(Recording, BadDefinitionIsMessageThenLog)
{
    Hooks hooks;
    std::string path = writeTemp(recordingWithDefinition(0x07), "def7.krv");
    KrvFilePtr recording;
    EXPECT_EQ(krv_open_recording(path, recording, &hooks.sink), KRV_ERROR_FAIL_OPEN_FILE);
    ASSERT_EQ(hooks.messages.size(), 1u);
    EXPECT_EQ(hooks.messages[0].second, "Warning");
    EXPECT_EQ(hooks.log, "Error opening file " + path + "\n");
}

TEST(MessageSink, MessageFallsBackToTheLog)
{
    Hooks hooks;
    hooks.sink.message = nullptr;
    krv_message(&hooks.sink, "text", "Caption");
    EXPECT_EQ(hooks.log, "Caption: text\n");
}

} // namespace
