// The packets krvsynth writes, walked with a small parser of the recorder's
// packet layout and compared with its --dump-dir description: packets filled
// back to back, objects continued across packets, every frame whole and equal
// to the dump.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

extern "C" {
#include <libavutil/md5.h>
#include <libavutil/mem.h>
}

#include "sequence_header.h"
#include "tool_runner.h"

namespace {

constexpr size_t kPacket = 32768;

uint16_t u16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}
uint32_t u32(const uint8_t* p)
{
    return u16(p) | uint32_t(u16(p + 2)) << 16;
}

std::string md5Hex(const std::vector<uint8_t>& bytes)
{
    uint8_t d[16];
    av_md5_sum(d, bytes.data(), int(bytes.size()));
    char hex[33];
    for (int i = 0; i < 16; ++i)
        std::snprintf(hex + 2 * i, 3, "%02x", d[i]);
    return hex;
}

struct MediaObject {
    uint8_t stream = 0;
    bool key = false;
    uint32_t presentationMs = 0; // as written
    uint32_t size = 0;
    int packets = 0; // packets it spans
    std::vector<uint8_t> bytes;
};

struct Walk {
    std::vector<MediaObject> objects; // in order of their first fragment
    uint64_t packets = 0;
};

// Walks every packet; any violation of the layout fails the test.
void walkPackets(const std::vector<uint8_t>& file, Walk& w, uint32_t prerollMs = 3000)
{
    ASSERT_EQ(file.size() % kPacket, 0u);
    std::map<uint8_t, size_t> open; // stream -> index of its unfinished object
    for (size_t at = kPacket; at < file.size(); at += kPacket) {
        const uint8_t* p = file.data() + at;
        SCOPED_TRACE("packet " + std::to_string(w.packets));
        ASSERT_EQ(p[0], 0x11);
        ASSERT_EQ(p[1], 0x5D);
        ASSERT_EQ(p[10] & 0xC0, 0x80);
        const unsigned count = p[10] & 0x3F;
        ASSERT_GE(count, 1u);
        size_t pos = 11;
        for (unsigned i = 0; i < count; ++i) {
            ASSERT_LE(pos + 17, kPacket);
            const uint8_t* h = p + pos;
            const uint8_t stream = h[0] & 0x7F;
            const uint32_t offset = u32(h + 2), size = u32(h + 7), pres = u32(h + 11), length = u16(h + 15);
            ASSERT_EQ(h[6], 8);
            ASSERT_LE(pos + 17 + length, kPacket);
            if (i == 0) {
                EXPECT_EQ(u32(p + 4), pres - prerollMs)
                    << "send time = first payload's presentation time less the preroll";
            }
            if (offset == 0) {
                ASSERT_EQ(open.count(stream), 0u) << "object of stream " << int(stream) << " left unfinished";
                w.objects.push_back(MediaObject{stream, (h[0] & 0x80) != 0, pres, size, 0, {}});
                open[stream] = w.objects.size() - 1;
            }
            ASSERT_EQ(open.count(stream), 1u) << "continuation without a first fragment";
            MediaObject& o = w.objects[open[stream]];
            ASSERT_EQ(offset, o.bytes.size());
            ASSERT_EQ(size, o.size);
            ASSERT_EQ(pres, o.presentationMs);
            o.bytes.insert(o.bytes.end(), h + 17, h + 17 + length);
            ++o.packets;
            ASSERT_LE(o.bytes.size(), o.size);
            if (o.bytes.size() == o.size)
                open.erase(stream);
            pos += 17 + length;
        }
        EXPECT_EQ(u16(p + 2), kPacket - pos) << "padding length";
        for (size_t i = pos; i < kPacket; ++i)
            ASSERT_EQ(p[i], 0) << "padding byte " << i;
        if (at + kPacket < file.size() && count < 63 && kPacket - pos >= 18)
            ADD_FAILURE() << "a packet other than the last closed with room for another payload";
        ++w.packets;
    }
    EXPECT_TRUE(open.empty()) << "an object is unfinished at the end";
}

struct DumpLine {
    uint64_t index;
    uint32_t ms;
    int key;
    size_t size;
    std::string md5;
};

std::vector<DumpLine> readDump(const std::filesystem::path& p)
{
    std::vector<DumpLine> lines;
    std::ifstream in(p);
    DumpLine l;
    while (in >> l.index >> l.ms >> l.key >> l.size >> l.md5)
        lines.push_back(l);
    return lines;
}

std::map<std::string, uint64_t> readAudioDump(const std::filesystem::path& p)
{
    std::map<std::string, uint64_t> v;
    std::ifstream in(p);
    std::string key;
    uint64_t value;
    for (int i = 0; i < 4 && in >> key >> value; ++i)
        v[key] = value;
    return v;
}

struct PacketRow {
    const char* name;
    std::vector<std::string> args;
    std::vector<int> channels;
    int width, height;
    uint32_t prerollMs;
    bool seqHeaders;
    bool needThreePacketObject;
};

void PrintTo(const PacketRow& row, std::ostream* os)
{
    *os << row.name;
}

class SynthPackets : public ::testing::TestWithParam<PacketRow> {};

TEST_P(SynthPackets, ObjectsMatchTheDump)
{
    const PacketRow& row = GetParam();
    ScratchDir dir;
    std::vector<std::string> args = row.args;
    args.push_back("--dump-dir");
    args.push_back((dir / "dump").string());
    synthesize(dir / "r.krv", args);
    Walk w;
    walkPackets(readFile(dir / "r.krv"), w, row.prerollMs);
    if (HasFatalFailure())
        return;

    const auto seq = krvsynth::makeSequenceHeader(row.width, row.height);
    int threePacketObjects = 0;
    for (int ch : row.channels) {
        SCOPED_TRACE("channel " + std::to_string(ch));
        const std::vector<DumpLine> dump = readDump(dir / "dump" / ("ch" + std::to_string(ch) + ".txt"));
        ASSERT_FALSE(dump.empty());
        size_t n = 0;
        bool started = false;
        for (const MediaObject& o : w.objects) {
            if (o.stream != ch + 1)
                continue;
            threePacketObjects += o.packets >= 3;
            if (!started && !o.key)
                continue; // the dump starts at the first key frame
            const bool firstKey = !started;
            started = true;
            ASSERT_LT(n, dump.size());
            const DumpLine& d = dump[n++];
            EXPECT_EQ(d.key, o.key ? 1 : 0);
            EXPECT_EQ(d.ms + row.prerollMs, o.presentationMs) << "frame " << d.index;
            const bool hasHeader = o.bytes.size() >= 19 && std::equal(seq.begin(), seq.end(), o.bytes.begin());
            EXPECT_EQ(hasHeader, o.key && row.seqHeaders) << "frame " << d.index;
            std::vector<uint8_t> expected = o.bytes;
            if (o.key && !row.seqHeaders && firstKey) // the splitter inserts it at the start only
                expected.insert(expected.begin(), seq.begin(), seq.end());
            EXPECT_EQ(d.size, expected.size()) << "frame " << d.index;
            EXPECT_EQ(d.md5, md5Hex(expected)) << "frame " << d.index;
        }
        EXPECT_EQ(n, dump.size());
    }
    if (row.needThreePacketObject) {
        EXPECT_GT(threePacketObjects, 0);
    }

    // Audio objects: runs of E1 1E + 256-byte blocks.
    const auto audio = readAudioDump(dir / "dump" / "audio.txt");
    uint64_t blocks = 0;
    for (const MediaObject& o : w.objects) {
        if (o.stream != 1)
            continue;
        ASSERT_EQ(o.bytes.size() % 258, 0u);
        for (size_t i = 0; i < o.bytes.size(); i += 258) {
            ASSERT_EQ(o.bytes[i], 0xE1);
            ASSERT_EQ(o.bytes[i + 1], 0x1E);
            ++blocks;
        }
    }
    EXPECT_EQ(blocks, audio.at("blocks"));
    EXPECT_EQ(audio.at("samples"), audio.at("blocks") * audio.at("samples_per_block"));
}

INSTANTIATE_TEST_SUITE_P(
    Variants, SynthPackets,
    ::testing::Values(
        PacketRow{"Default", {}, {1, 2, 3, 4}, 352, 288, 3000, true, false},
        PacketRow{"NoPreroll", {"--preroll", "0"}, {1, 2, 3, 4}, 352, 288, 0, true, false},
        PacketRow{"BigKeyframes", {"--big-keyframes", "--seconds", "2"}, {1, 2, 3, 4}, 352, 288, 3000, true, true},
        PacketRow{"LateStartNoSeqHeader",
                  {"--late-start", "2:3", "--no-seq-header", "--gop", "5"},
                  {1, 2, 3, 4},
                  352,
                  288,
                  3000,
                  false,
                  false},
        PacketRow{"Channels2And4Vga",
                  {"--channels", "2,4", "--size", "640x480", "--preroll", "500"},
                  {2, 4},
                  640,
                  480,
                  500,
                  true,
                  false},
        PacketRow{"Repeat",
                  {"--repeat", "3", "--start-ms", "0", "--seconds", "2"},
                  {1, 2, 3, 4},
                  352,
                  288,
                  3000,
                  true,
                  false}),
    [](const auto& info) { return info.param.name; });

// A channel that starts late: its first frames are predicted ones.
TEST(SynthPackets, LateStartBeginsWithNonKeyFrames)
{
    ScratchDir dir;
    synthesize(dir / "r.krv", {"--late-start", "3:4", "--channels", "3"});
    Walk w;
    walkPackets(readFile(dir / "r.krv"), w);
    std::vector<bool> keys;
    for (const MediaObject& o : w.objects)
        if (o.stream == 4)
            keys.push_back(o.key);
    ASSERT_GE(keys.size(), 6u);
    EXPECT_EQ(std::vector<bool>(keys.begin(), keys.begin() + 5), (std::vector<bool>{false, false, false, false, true}));
}

// The channel's elementary stream in the dump decodes, frame for frame.
TEST(SynthPackets, DumpedStreamDecodesWithFfmpeg)
{
    ScratchDir dir;
    synthesize(dir / "r.krv", {"--channels", "2", "--seconds", "2", "--dump-dir", (dir / "dump").string()});
    const ToolRun r = runTool("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                                          "stream=codec_name,width,height,nb_read_frames", "-of", "csv=p=0",
                                          (dir / "dump" / "ch2.m4v").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "mpeg4,352,288,20\n");
    EXPECT_EQ(r.err, "");
}

} // namespace
