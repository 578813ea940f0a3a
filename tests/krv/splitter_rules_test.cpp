// Routing, reassembly and repacking rules of the splitter, on crafted
// recordings in the recorder's layout.
#include <gtest/gtest.h>

#include <cstring>

#include "krv/krv_io.h"
#include "krv/krv_splitter.h"
#include "split_fixture.h"

using namespace krvtest;

namespace {

Bytes pattern(size_t n, uint8_t seed)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(seed + i * 13 + (i >> 8));
    return b;
}

// A video object that already opens with the recorder's sequence header.
Bytes keyFrame(size_t n, uint8_t seed)
{
    Bytes b = pattern(n, seed);
    const KrvSequenceHeader h = krv_sequence_header(352, 288);
    std::memcpy(b.data(), h.data(), h.size());
    return b;
}

PayloadSpec payload(uint8_t stream, bool key, uint32_t time, Bytes data)
{
    PayloadSpec p;
    p.stream = stream;
    p.key = key;
    p.time = time;
    p.data = std::move(data);
    return p;
}

Bytes packetOf(std::vector<PayloadSpec> payloads, bool multiple = true)
{
    PacketSpec p;
    p.multiple = multiple;
    p.sendTime = payloads.empty() ? 0 : payloads[0].time;
    p.payloads = std::move(payloads);
    return packet(p);
}

// Audio object of `blocks` blocks of 512 bytes, each behind the E1 1E marker.
Bytes audioObject(int blocks, uint8_t seed)
{
    Bytes b;
    for (int k = 0; k < blocks; ++k) {
        b.push_back(0xE1);
        b.push_back(0x1E);
        Bytes block = pattern(512, uint8_t(seed + k));
        b.insert(b.end(), block.begin(), block.end());
    }
    return b;
}

} // namespace

TEST(SplitterRules, StreamNumberSixInTheMiddleOfAPacket)
{
    const Bytes rec =
        recorderRecording({packetOf({payload(2, true, 1000, keyFrame(200, 1)), payload(6, false, 1000, pattern(50, 2)),
                                     payload(2, false, 1100, pattern(50, 3))})});
    SplitRun run = splitBytes(rec, "stream6");
    ASSERT_EQ(run.open, 1);
    EXPECT_EQ(run.result, KRV_ERROR_INVALID_STREAM_NUMBER);
}

TEST(SplitterRules, ObjectOverThreePacketsComesOutWhole)
{
    const uint32_t total = 70000;
    const Bytes big = keyFrame(total, 7);
    const uint32_t d1 = kPacketSize - 11 - (17 + 100) - 17;
    const uint32_t d2 = kPacketSize - 11 - 17;
    const uint32_t d3 = total - d1 - d2;
    auto fragment = [&](uint32_t offset, uint32_t length) {
        PayloadSpec p = payload(3, true, 1000, Bytes(big.begin() + offset, big.begin() + offset + length));
        p.offset = offset;
        p.objectSize = total;
        return p;
    };
    const Bytes rec = recorderRecording({
        packetOf({payload(2, true, 1000, keyFrame(100, 1)), fragment(0, d1)}),
        packetOf({fragment(d1, d2)}),
        packetOf({fragment(d1 + d2, d3), payload(3, false, 1100, pattern(300, 9))}),
    });
    SplitRun run = splitBytes(rec, "threepackets");
    ASSERT_EQ(run.result, 1);
    Channel c = readChannel(run.dir / "Video2.krv");
    ASSERT_EQ(c.init, 1);
    ASSERT_EQ(c.packetError, 0);
    ASSERT_EQ(c.objects.size(), 2u);
    EXPECT_EQ(c.objects[0].bytes, big);
    EXPECT_TRUE(c.objects[0].key);
    EXPECT_EQ(c.objects[1].bytes, pattern(300, 9));
    EXPECT_EQ(c.streams[3], KrvStreamType::Video);
    EXPECT_EQ(c.streams[1], KrvStreamType::None);
}

TEST(SplitterRules, ContinuationOfAnotherSizeIsRejected)
{
    PayloadSpec first = payload(3, true, 1000, pattern(kPacketSize - 11 - 117 - 17, 1));
    first.objectSize = 40000;
    PayloadSpec next = payload(3, true, 1000, pattern(40000 - first.data.size(), 2));
    next.offset = uint32_t(first.data.size());
    next.objectSize = 39000;
    const Bytes rec =
        recorderRecording({packetOf({payload(2, true, 1000, keyFrame(100, 1)), first}), packetOf({next})});
    SplitRun run = splitBytes(rec, "othersize");
    EXPECT_EQ(run.result, KRV_ERROR_INVALID_MULTIPAYLOAD_SIZE);
}

TEST(SplitterRules, PayloadLongerThanItsObjectIsRejected)
{
    PayloadSpec p = payload(2, true, 1000, keyFrame(300, 1));
    p.objectSize = 200;
    SplitRun run = splitBytes(recorderRecording({packetOf({p})}), "longer");
    EXPECT_EQ(run.result, KRV_ERROR_INVALID_MULTIPAYLOAD_SIZE);
}

TEST(SplitterRules, ChannelsStartAtTheirFirstKeyFrameAndAudioWithTheFirstVideo)
{
    const Bytes rec = recorderRecording({packetOf({
        payload(1, false, 900, audioObject(1, 1)),
        payload(3, false, 950, pattern(120, 2)),
        payload(3, true, 1000, keyFrame(150, 3)),
        payload(1, false, 1010, audioObject(1, 4)),
        payload(3, false, 1100, pattern(130, 5)),
    })});
    SplitRun run = splitBytes(rec, "latestart");
    ASSERT_EQ(run.result, 1);
    Channel c = readChannel(run.dir / "Video2.krv");
    ASSERT_EQ(c.objects.size(), 2u);
    EXPECT_EQ(c.objects[0].bytes, keyFrame(150, 3));
    EXPECT_EQ(c.objects[1].bytes, pattern(130, 5));
    // Nothing was written for a channel that never started: its header only.
    Channel none = readChannel(run.dir / "Video1.krv");
    EXPECT_EQ(none.init, 1);
    EXPECT_EQ(none.packets, 0u);
    const Bytes wav = readFile(run.dir / "Audio1.wav");
    ASSERT_EQ(wav.size(), 90u + 512) << "audio before the first key frame is dropped";
    EXPECT_EQ(Bytes(wav.begin() + 90, wav.end()), pattern(512, 4));
}

TEST(SplitterRules, AudioObjectsOfVaryingSizeAllReachTheWav)
{
    const Bytes rec = recorderRecording({packetOf({
        payload(2, true, 1000, keyFrame(150, 3)),
        payload(1, false, 1000, audioObject(2, 10)),
        payload(1, false, 1064, audioObject(1, 20)),
        payload(1, false, 1096, Bytes(300, 0x00)), // no E1 1E marker: not audio blocks
        payload(1, false, 1100, audioObject(3, 30)),
    })});
    SplitRun run = splitBytes(rec, "audiosizes");
    ASSERT_EQ(run.result, 1);
    const Bytes wav = readFile(run.dir / "Audio1.wav");
    Bytes expect;
    for (auto [blocks, seed] : {std::pair{2, 10}, {1, 20}, {3, 30}})
        for (int k = 0; k < blocks; ++k) {
            Bytes b = pattern(512, uint8_t(seed + k));
            expect.insert(expect.end(), b.begin(), b.end());
        }
    ASSERT_EQ(wav.size(), 90u + expect.size());
    EXPECT_EQ(Bytes(wav.begin() + 90, wav.end()), expect);
    EXPECT_EQ(krv_u32(wav.data() + 86), expect.size());
    EXPECT_EQ(krv_u32(wav.data() + 4), expect.size() + 82);
}

TEST(SplitterRules, SinglePayloadRecordingsRepackConsistently)
{
    const Bytes key = keyFrame(40000, 4);
    const uint32_t d1 = kPacketSize - 10 - 15;
    PayloadSpec head = payload(2, true, 1000, Bytes(key.begin(), key.begin() + d1));
    head.objectSize = 40000;
    PayloadSpec tail = payload(2, true, 1000, Bytes(key.begin() + d1, key.end()));
    tail.offset = d1;
    tail.objectSize = 40000;
    const Bytes rec = recorderRecording({
        packetOf({head}, false), packetOf({tail}, false), packetOf({payload(2, false, 1100, pattern(5000, 5))}, false),
        packetOf({payload(2, false, 1200, pattern(32743, 6))}, false), // fills its packet exactly
    });
    SplitRun run = splitBytes(rec, "singlepayload");
    ASSERT_EQ(run.result, 1);
    const Bytes file = readFile(run.dir / "Video1.krv");
    Channel c = readChannel(run.dir / "Video1.krv");
    ASSERT_EQ(c.init, 1);
    ASSERT_EQ(c.packetError, 0);
    // Whole packets behind the header, then the index object.
    const size_t body = file.size() - (recorderHeader().size() - kRecorderAudioSize);
    EXPECT_EQ(body / kPacketSize, c.packets);
    EXPECT_GE(body % kPacketSize, 56u);
    EXPECT_EQ((body % kPacketSize - 56) % 6, 0u);
    ASSERT_EQ(c.objects.size(), 3u);
    EXPECT_EQ(c.objects[0].bytes, key);
    EXPECT_EQ(c.objects[1].bytes, pattern(5000, 5));
    EXPECT_EQ(c.objects[2].bytes, pattern(32743, 6));
}

TEST(SplitterRules, MissingSequenceHeaderIsInsertedOnce)
{
    const Bytes bare = pattern(400, 8);
    const Bytes rec = recorderRecording({packetOf({
        payload(2, true, 1000, bare),
        payload(2, false, 1100, pattern(100, 9)),
        payload(2, true, 1200, pattern(300, 10)),
        payload(3, true, 1000, keyFrame(250, 11)),
    })});
    SplitRun run = splitBytes(rec, "seqheader");
    ASSERT_EQ(run.result, 1);
    Channel c = readChannel(run.dir / "Video1.krv");
    ASSERT_EQ(c.objects.size(), 3u);
    const KrvSequenceHeader h = krv_sequence_header(352, 288);
    Bytes expect(h.begin(), h.end());
    expect.insert(expect.end(), bare.begin(), bare.end());
    EXPECT_EQ(c.objects[0].bytes, expect);
    EXPECT_EQ(c.objects[2].bytes, pattern(300, 10)) << "only the channel's first key frame";
    Channel d = readChannel(run.dir / "Video2.krv");
    ASSERT_EQ(d.objects.size(), 1u);
    EXPECT_EQ(d.objects[0].bytes, keyFrame(250, 11)) << "a key frame with the header stays as it is";
}

TEST(SplitterRules, TailOfAnObjectBeganBeforeTheRecordingIsSkipped)
{
    PayloadSpec tail = payload(2, true, 900, pattern(1000, 1));
    tail.offset = 5000;
    tail.objectSize = 6000;
    const Bytes rec = recorderRecording({packetOf({tail}), packetOf({payload(2, true, 1000, keyFrame(300, 2))})});
    SplitRun run = splitBytes(rec, "tail");
    ASSERT_EQ(run.result, 1);
    Channel c = readChannel(run.dir / "Video1.krv");
    ASSERT_EQ(c.objects.size(), 1u);
    EXPECT_EQ(c.objects[0].bytes, keyFrame(300, 2));
}

struct AvRow {
    const char* name;
    uint8_t audioDef;
    int audioChannel; // 0: none
};

class SplitterAvSync : public ::testing::TestWithParam<AvRow> {};

TEST_P(SplitterAvSync, AudioGoesIntoItsChannel)
{
    const AvRow& row = GetParam();
    Bytes rec = recorderRecording({packetOf({
        payload(2, true, 1000, keyFrame(150, 1)),
        payload(3, true, 1000, keyFrame(150, 2)),
        payload(1, false, 1010, audioObject(1, 3)),
        payload(1, false, 1074, audioObject(2, 4)),
    })});
    rec[649] = row.audioDef;
    SplitRun run = splitBytes(rec, std::string("av_") + row.name, true);
    ASSERT_EQ(run.result, 1);
    EXPECT_FALSE(std::filesystem::exists(run.dir / "Audio1.wav"));
    for (int ch = 1; ch <= 4; ++ch) {
        const auto path = run.dir / (std::string("av_") + row.name + "_Video" + std::to_string(ch) + ".asf");
        ASSERT_TRUE(std::filesystem::exists(path)) << path;
        Channel c = readChannel(path);
        ASSERT_EQ(c.init, 1) << ch;
        const bool carries = ch == row.audioChannel;
        EXPECT_EQ(c.streams[1], carries ? KrvStreamType::Audio : KrvStreamType::None) << ch;
        size_t audio = 0;
        for (const ChannelObject& o : c.objects)
            audio += o.stream == 1;
        EXPECT_EQ(audio, carries && ch <= 2 ? 2u : 0u) << ch;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, SplitterAvSync,
                         ::testing::Values(AvRow{"def0", 0, 1}, AvRow{"def1", 1, 2}, AvRow{"def4", 4, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SplitterRules, BaseName)
{
    EXPECT_EQ(krv_base_name("/a/b/cam01.krv"), "cam01");
    EXPECT_EQ(krv_base_name("cam01.asfx"), "cam01.");
    EXPECT_EQ(krv_base_name("/x/Kamera_\xC3\x9C.krv"), "Kamera_\xC3\x9C");
    EXPECT_EQ(krv_base_name("/x/\xC3\x9C\xC3\x9C\xC3\x9C\xC3\x9C\xC3\x9C"), "\xC3\x9C") << "letters, not bytes";
    EXPECT_EQ(krv_base_name("ab"), "");
}

TEST(SplitterRules, SequenceHeaderAndResolutionIndex)
{
    const KrvSequenceHeader vga = krv_sequence_header(640, 480);
    const uint8_t tmpl[] = {0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x20, 0x00, 0xC8,
                            0x88, 0xBA, 0x98, 0x51, 0x40, 0x43, 0xC1, 0x41, 0x83};
    EXPECT_EQ(std::memcmp(vga.data(), tmpl, sizeof tmpl), 0) << "the template is the 640x480 header";
    const KrvSequenceHeader cif = krv_sequence_header(352, 288);
    // 13-bit width and height, each followed by a marker bit.
    const uint32_t bits = (uint32_t(cif[13]) << 24) | (uint32_t(cif[14]) << 16) | (uint32_t(cif[15]) << 8) | cif[16];
    EXPECT_EQ((bits >> 15) & 0x1FFF, 352u);
    EXPECT_EQ((bits >> 1) & 0x1FFF, 288u);
    EXPECT_EQ(krv_resolution_index(352, 288), 4);
    EXPECT_EQ(krv_resolution_index(1600, 1200), 8);
    EXPECT_EQ(krv_resolution_index(160, 128), 0);
    EXPECT_EQ(krv_resolution_index(400, 300), 2);
}
