// The recorder header layout krvsynth writes: the splitter patches fixed
// offsets of it, so every offset it relies on is checked here, and the krv
// reader must accept what this independent writer produces.
#include <gtest/gtest.h>

#include <cstring>

#include "krv/krv_reader.h"
#include "krv/krv_types.h"
#include "recording_header.h"
#include "sequence_header.h"
#include "tool_runner.h"

namespace {

uint16_t u16(const std::vector<uint8_t>& b, size_t at)
{
    return uint16_t(b.at(at) | b.at(at + 1) << 8);
}
uint32_t u32(const std::vector<uint8_t>& b, size_t at)
{
    return u16(b, at) | uint32_t(u16(b, at + 2)) << 16;
}
uint64_t u64(const std::vector<uint8_t>& b, size_t at)
{
    return u32(b, at) | uint64_t(u32(b, at + 4)) << 32;
}
std::string text(const std::vector<uint8_t>& b, size_t at, size_t n)
{
    return std::string(reinterpret_cast<const char*>(b.data() + at), n);
}

// Object GUIDs by their first four bytes (Data1, little-endian).
constexpr uint32_t kStreamPropsData1 = 0xB7DC0791;
constexpr uint32_t kCodecListData1 = 0x86D15240;
constexpr uint32_t kDataData1 = 0x75B22636;
constexpr uint32_t kHeaderExtData1 = 0x5FBF03B5;
constexpr uint32_t kPaddingData1 = 0x1806D474;

struct LayoutRow {
    const char* name;
    std::vector<std::string> args;
    uint32_t width, height;
    bool audioStream;
    uint8_t byte649;
    uint8_t resolutionIndex;
};

void PrintTo(const LayoutRow& row, std::ostream* os)
{
    *os << row.name;
}

class SynthLayout : public ::testing::TestWithParam<LayoutRow> {};

TEST_P(SynthLayout, FixedOffsetsOfTheRecorderHeader)
{
    const LayoutRow& row = GetParam();
    ScratchDir dir;
    synthesize(dir / "r.krv", row.args);
    const std::vector<uint8_t> b = readFile(dir / "r.krv");
    const size_t e = row.audioStream ? 0 : 128; // everything after 309 moves up without the audio stream

    ASSERT_GE(b.size(), 2u * 32768);
    EXPECT_EQ(u64(b, 16), 32718u) << "header object size";
    EXPECT_EQ(u32(b, 24), row.audioStream ? 6u : 5u) << "sub-object count";
    EXPECT_EQ(u32(b, 134), kHeaderExtData1);
    EXPECT_EQ(u32(b, 180), kStreamPropsData1);
    EXPECT_EQ(u16(b, 252), 2u) << "first stream properties: stream number 2";
    EXPECT_EQ(u32(b, 258), row.width);
    EXPECT_EQ(u32(b, 262), row.height);
    EXPECT_EQ(text(b, 285, 4), "MP4S");
    if (row.audioStream) {
        EXPECT_EQ(u32(b, 309), kStreamPropsData1);
        EXPECT_EQ(u64(b, 309 + 16), 128u);
        EXPECT_EQ(u16(b, 309 + 72), 1u) << "audio stream number";
    }
    EXPECT_EQ(u32(b, 437 - e), kCodecListData1);
    EXPECT_EQ(text(b, 617 - e, 4), "MP4S");
    EXPECT_EQ(u64(b, 437 - e + 16), 621u - 437u) << "codec list ends at 621";
    EXPECT_EQ(b[649], row.byte649);
    EXPECT_EQ(b[650], row.resolutionIndex);
    EXPECT_EQ(b[651], 1);
    // The A/V-sync audio position table goes from 661 on: 32000 bytes of room.
    for (size_t i = 661; i < 661 + 32000; ++i)
        ASSERT_EQ(b[i], 0) << "at " << i;

    // Data object and packets.
    const uint64_t packets = u64(b, 30 + 56);
    EXPECT_EQ(u32(b, 32718), kDataData1);
    EXPECT_EQ(u64(b, 32718 + 16), 50 + packets * 32768);
    EXPECT_EQ(u64(b, 32718 + 40), packets);
    EXPECT_EQ(std::memcmp(b.data() + 32718 + 24, b.data() + 30 + 24, 16), 0) << "file IDs differ";
    EXPECT_EQ(b.size(), 32768 + packets * 32768);
    EXPECT_EQ(u64(b, 30 + 40), b.size()) << "file properties: file size";
    EXPECT_EQ(u32(b, 30 + 92), 32768u);
    EXPECT_EQ(u32(b, 30 + 96), 32768u);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, SynthLayout,
    ::testing::Values(LayoutRow{"Default", {}, 352, 288, true, 0, 4},
                      LayoutRow{"Vga_Def3", {"--size", "640x480", "--audio-def", "3"}, 640, 480, true, 3, 5},
                      LayoutRow{"HighBitsOfDef", {"--audio-def", "243"}, 352, 288, true, 0xF3, 4},
                      LayoutRow{"NoAudioStream", {"--no-audio-stream", "--channels", "2,4"}, 352, 288, false, 0, 4},
                      LayoutRow{"LargestSize", {"--size", "1600x1200", "--seconds", "1"}, 1600, 1200, true, 0, 8},
                      LayoutRow{"SizeNotInTable", {"--size", "800x592", "--seconds", "1"}, 800, 592, true, 0, 2},
                      LayoutRow{"BadAudioDef", {"--damage", "bad-audio-def"}, 352, 288, true, 0x15, 4}),
    [](const auto& info) { return info.param.name; });

TEST(SynthLayout, NoHeaderExtensionKeepsEveryOffset)
{
    ScratchDir dir;
    synthesize(dir / "r.krv", {"--damage", "no-header-extension"});
    const std::vector<uint8_t> b = readFile(dir / "r.krv");
    EXPECT_EQ(u32(b, 134), kPaddingData1);
    EXPECT_EQ(u64(b, 134 + 16), 46u);
    EXPECT_EQ(u32(b, 180), kStreamPropsData1);
    EXPECT_EQ(text(b, 617, 4), "MP4S");
}

// The krv reader, written from the same description by someone else, must
// take the emulator's header as it is.
TEST(SynthLayout, ReaderAcceptsTheHeader)
{
    ScratchDir dir;
    synthesize(dir / "r.krv", {"--size", "640x480", "--preroll", "500", "--audio-def", "2"});
    KrvFilePtr f(krv_open((dir / "r.krv").string(), true));
    ASSERT_TRUE(f);
    ASSERT_EQ(krv_init(f.get()), 1);
    EXPECT_EQ(f->packetSize, 32768u);
    EXPECT_EQ(f->preroll, 500u);
    EXPECT_EQ(f->audioChannelDefinition, 2);
    EXPECT_EQ(f->playDuration, f->sendDuration + 500u * 10000u);
    EXPECT_EQ(f->audioPropsOffset, 309u);
    EXPECT_EQ(f->audioPropsSize, 128u);
    ASSERT_EQ(f->streams[1].type, KrvStreamType::Audio);
    ASSERT_TRUE(f->streams[1].audio);
    EXPECT_EQ(f->streams[1].audio->formatTag, 2);
    EXPECT_EQ(f->streams[1].audio->samplesPerSec, 8000u);
    EXPECT_EQ(f->streams[1].audio->extraSize, 32);
    ASSERT_EQ(f->streams[2].type, KrvStreamType::Video);
    ASSERT_TRUE(f->streams[2].video);
    EXPECT_EQ(f->streams[2].video->width, 640u);
    EXPECT_EQ(f->streams[2].video->height, 480u);
    EXPECT_EQ(f->streams[2].video->compression, 0x5334504Du); // "MP4S"
}

// Reads the 13-bit width and height of the video object layer header
// bit by bit, as a decoder does, rather than by the byte formulas.
struct BitReader {
    const uint8_t* p;
    size_t bit = 0;
    uint32_t read(int n)
    {
        uint32_t v = 0;
        while (n--) {
            v = v << 1 | ((p[bit / 8] >> (7 - bit % 8)) & 1);
            ++bit;
        }
        return v;
    }
};

TEST(SequenceHeader, CarriesWidthAndHeightWithMarkerBits)
{
    struct Row {
        int w, h;
    };
    for (Row r : {Row{640, 480}, Row{352, 288}, Row{160, 128}, Row{1600, 1200}, Row{176, 144}, Row{1024, 768}}) {
        const krvsynth::SequenceHeader h = krvsynth::makeSequenceHeader(r.w, r.h);
        EXPECT_EQ(h[3], 0x00);
        EXPECT_EQ(h[7], 0x20);
        BitReader br{h.data() + 8};
        br.read(1 + 8 + 1 + 4 + 3 + 4 + 1 + 2 + 1); // up to the time increment resolution
        EXPECT_EQ(br.read(16), 30000u);
        EXPECT_EQ(br.read(1), 1u); // marker
        EXPECT_EQ(br.read(1), 0u); // fixed_vop_rate
        EXPECT_EQ(br.read(1), 1u); // marker
        EXPECT_EQ(br.read(13), uint32_t(r.w)) << r.w << "x" << r.h;
        EXPECT_EQ(br.read(1), 1u); // marker
        EXPECT_EQ(br.read(13), uint32_t(r.h)) << r.w << "x" << r.h;
        EXPECT_EQ(br.read(1), 1u); // marker
        EXPECT_EQ(br.read(1), 0u); // progressive
    }
    const krvsynth::SequenceHeader vga = krvsynth::makeSequenceHeader(640, 480);
    const uint8_t tmpl[19] = {0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x20, 0x00, 0xC8,
                              0x88, 0xBA, 0x98, 0x51, 0x40, 0x43, 0xC1, 0x41, 0x83};
    EXPECT_EQ(std::memcmp(vga.data(), tmpl, 19), 0) << "640x480 leaves the template as it is";
}

} // namespace
