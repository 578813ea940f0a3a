// Byte layout of the packets the channel writer produces, and their times.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "krv/krv_io.h"
#include "krv/krv_reader.h"
#include "krv/krv_writer.h"
#include "split_fixture.h"

using namespace krvtest;

namespace {

struct OutChannel {
    MemoryFile mem;
    KrvFile out;
    KrvPacketPtr packet{krv_packet_create(nullptr, true)};
    KrvChannelWriter writer{1, false, false};

    explicit OutChannel(uint64_t preroll = 0)
    {
        out.io = mem.io();
        out.preroll = preroll;
        out.packetSize = kPacketSize;
        krv_out_packet_clear(*packet);
    }
    int pack(uint8_t stream, uint32_t time, uint32_t size, bool key = false, uint8_t fill = 0)
    {
        Bytes data(size);
        for (uint32_t i = 0; i < size; ++i)
            data[i] = uint8_t(fill + i * 7);
        KrvMediaObject o{stream, key, uint8_t(time), time, data.data(), size};
        return krv_pack_object(writer, out, *packet, o);
    }
    int flush() { return krv_write_packet(writer, out, *packet); }
    const uint8_t* packetAt(size_t k) const { return mem.bytes.data() + k * kPacketSize; }
};

// Reads the written packets back with the reader, behind a recording header.
std::vector<std::vector<KrvPayload>> readBack(const OutChannel& c, std::vector<Bytes>& keep)
{
    RecorderLayout layout;
    layout.packets = c.out.packetsWritten;
    Bytes file = recorderHeader(layout);
    file.insert(file.end(), c.mem.bytes.begin(), c.mem.bytes.end());
    keep.push_back(file);
    Opened o = openBytes(file);
    EXPECT_EQ(o.init, 1);
    std::vector<std::vector<KrvPayload>> packets;
    KrvPacketPtr p(krv_packet_create(o.file.get(), true));
    while (krv_get_packet(o.file.get(), p.get(), false, nullptr) > 0) {
        packets.emplace_back(p->payloads.begin(), p->payloads.begin() + p->payloadCount);
        for (KrvPayload& q : packets.back()) {
            keep.emplace_back(q.data, q.data + q.payloadLength);
            q.data = keep.back().data();
        }
    }
    return packets;
}

} // namespace

TEST(WriterPacket, MultiplePayloadLayout)
{
    OutChannel c;
    ASSERT_EQ(c.pack(2, 500, 100, true), 0);
    ASSERT_EQ(c.pack(2, 600, 50), 0);
    EXPECT_EQ(c.out.packetsWritten, 0u) << "packets go out only when full or flushed";
    ASSERT_EQ(c.flush(), 2);
    ASSERT_EQ(c.mem.bytes.size(), kPacketSize);

    const uint8_t* b = c.packetAt(0);
    EXPECT_EQ(b[0], 0x11);
    EXPECT_EQ(b[1], 0x5D);
    EXPECT_EQ(krv_u16(b + 2), kPacketSize - 11 - (17 + 100) - (17 + 50));
    EXPECT_EQ(krv_u32(b + 4), 500u);
    EXPECT_EQ(krv_u16(b + 8), 100u);
    EXPECT_EQ(b[10], 0x82);
    const uint8_t* h = b + 11;
    EXPECT_EQ(h[0], 0x82);
    EXPECT_EQ(krv_u32(h + 2), 0u);
    EXPECT_EQ(h[6], 8);
    EXPECT_EQ(krv_u32(h + 7), 100u);
    EXPECT_EQ(krv_u32(h + 11), 500u);
    EXPECT_EQ(krv_u16(h + 15), 100u);
    h += 17 + 100;
    EXPECT_EQ(h[0], 0x02);
    EXPECT_EQ(krv_u32(h + 7), 50u);
    EXPECT_EQ(krv_u32(h + 11), 600u);
    EXPECT_EQ(krv_u16(h + 15), 50u);
    for (size_t i = 11 + 117 + 67; i < kPacketSize; ++i)
        ASSERT_EQ(b[i], 0) << "padding byte " << i;

    std::vector<Bytes> keep;
    auto packets = readBack(c, keep);
    ASSERT_EQ(packets.size(), 1u);
    ASSERT_EQ(packets[0].size(), 2u) << "padding must not read as payloads";
    EXPECT_EQ(packets[0][1].payloadLength, 50u);
    EXPECT_EQ(packets[0][1].presentationTime, 600u);
}

TEST(WriterPacket, SinglePayloadFormKeepsPacketSize)
{
    OutChannel c;
    ASSERT_EQ(c.pack(3, 400, 1000, true, 5), 0);
    ASSERT_EQ(c.flush(), 1);
    ASSERT_EQ(c.mem.bytes.size(), kPacketSize);
    const uint8_t* b = c.packetAt(0);
    EXPECT_EQ(b[0], 0x10) << "bit 0 cleared";
    EXPECT_EQ(krv_u16(b + 2), kPacketSize - 10 - 15 - 1000);
    EXPECT_EQ(b[10], 0x83) << "payload header follows the 10-byte packet header";
    EXPECT_EQ(krv_u32(b + 10 + 7), 1000u);
    EXPECT_EQ(krv_u32(b + 10 + 11), 400u);
    EXPECT_EQ(b[25], 5) << "payload bytes follow the 15-byte header";

    std::vector<Bytes> keep;
    auto packets = readBack(c, keep);
    ASSERT_EQ(packets.size(), 1u);
    ASSERT_EQ(packets[0].size(), 1u);
    EXPECT_EQ(packets[0][0].payloadLength, 1000u);
    EXPECT_EQ(packets[0][0].data[0], 5);
    EXPECT_EQ(packets[0][0].data[999], uint8_t(5 + 999 * 7));
}

TEST(WriterPacket, LargeObjectFillsPacketsWithFragments)
{
    OutChannel c;
    ASSERT_EQ(c.pack(2, 700, 20000, true), 0);
    ASSERT_EQ(c.pack(2, 800, 70000, false, 9), 0);
    // Packet 1: the first object and a first fragment filling it; packet 2:
    // one full fragment; the rest stays open.
    EXPECT_EQ(c.out.packetsWritten, 2u);
    ASSERT_EQ(c.flush(), 1);
    ASSERT_EQ(c.mem.bytes.size(), 3 * kPacketSize);

    std::vector<Bytes> keep;
    auto packets = readBack(c, keep);
    ASSERT_EQ(packets.size(), 3u);
    ASSERT_EQ(packets[0].size(), 2u);
    EXPECT_EQ(krv_u16(c.packetAt(0) + 2), 0u) << "exactly full";
    const uint32_t first = kPacketSize - 11 - 17 - 20000 - 17;
    EXPECT_EQ(packets[0][1].payloadLength, first);
    ASSERT_EQ(packets[1].size(), 1u);
    EXPECT_EQ(packets[1][0].payloadLength, kPacketSize - 28);
    EXPECT_EQ(packets[1][0].offset, first);
    ASSERT_EQ(packets[2].size(), 1u);
    EXPECT_EQ(packets[2][0].offset, first + kPacketSize - 28);
    EXPECT_EQ(packets[2][0].mediaObjectSize, 70000u);

    Bytes object;
    for (const KrvPayload* p : {&packets[0][1], &packets[1][0], &packets[2][0]})
        object.insert(object.end(), p->data, p->data + p->payloadLength);
    ASSERT_EQ(object.size(), 70000u);
    for (uint32_t i = 0; i < 70000; ++i)
        ASSERT_EQ(object[i], uint8_t(9 + i * 7)) << "byte " << i;
}

// Packets written in batches reach the file as they would one by one: full
// batches on their own, the rest when flushed; the buffers a batch hands back
// to be filled anew hold old packets, which must not show through.
TEST(WriterPacket, BatchWritesWhatTheFileWouldGet)
{
    OutChannel direct, batched;
    const int fd = memfd_create("batch", MFD_CLOEXEC);
    ASSERT_GE(fd, 0);
    KrvPacketBatch batch(fd);
    batched.writer.batch = &batch;
    for (OutChannel* c : {&direct, &batched}) {
        for (uint32_t i = 0; i < 45; ++i)
            ASSERT_EQ(c->pack(2, 700 + i, 20000 + 997 * i, i % 10 == 0, uint8_t(i)), 0);
        ASSERT_GT(c->flush(), 0);
    }
    EXPECT_GT(direct.out.packetsWritten, KrvPacketBatch::kBatchPackets + 1);
    EXPECT_EQ(batched.out.packetsWritten, direct.out.packetsWritten);
    EXPECT_TRUE(batched.mem.bytes.empty());
    ASSERT_EQ(batch.flush(), 0);
    Bytes written(direct.mem.bytes.size() + 1);
    EXPECT_EQ(pread(fd, written.data(), written.size(), 0), ssize_t(direct.mem.bytes.size()));
    written.resize(direct.mem.bytes.size());
    EXPECT_TRUE(written == direct.mem.bytes);
    EXPECT_FALSE(batch.failed());
    close(fd);
}

TEST(WriterPacket, BatchWriteFailureIsReported)
{
    OutChannel c;
    KrvPacketBatch batch(-1);
    c.writer.batch = &batch;
    ASSERT_EQ(c.pack(2, 700, 100, true), 0);
    ASSERT_EQ(c.flush(), 1) << "held, not written yet";
    EXPECT_EQ(batch.flush(), KRV_ERROR_IO);
    EXPECT_EQ(errno, EBADF);
    EXPECT_TRUE(batch.failed());
}

TEST(WriterPacket, PacketClosedEarlyWhenNoRoomForAFragment)
{
    OutChannel c;
    const uint32_t firstSize = kPacketSize - 11 - 17 - 10; // leaves 10 bytes
    ASSERT_EQ(c.pack(2, 700, firstSize, true), 0);
    ASSERT_EQ(c.pack(2, 800, 100), 0);
    ASSERT_EQ(c.out.packetsWritten, 1u);
    EXPECT_EQ(krv_u16(c.packetAt(0) + 2), 10u + 3) << "room left as padding (single-payload form)";
    ASSERT_EQ(c.flush(), 1);
    std::vector<Bytes> keep;
    auto packets = readBack(c, keep);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[1][0].payloadLength, 100u);
    EXPECT_EQ(packets[1][0].offset, 0u);
}

TEST(WriterPacket, SixtyThreePayloadsCloseThePacket)
{
    OutChannel c;
    for (int i = 0; i < 63; ++i)
        ASSERT_EQ(c.pack(2, 700 + i, 10, i == 0), 0);
    EXPECT_EQ(c.out.packetsWritten, 1u);
    EXPECT_EQ(c.packetAt(0)[10], 0x80 | 63);
}

struct RebaseRow {
    const char* name;
    uint32_t firstMs;
    uint64_t preroll;
    uint32_t firstSend;
    uint32_t offset;
    bool rebased;
};

class WriterRebase : public ::testing::TestWithParam<RebaseRow> {};

TEST_P(WriterRebase, FirstSendTimeAndLaterTimes)
{
    const RebaseRow& row = GetParam();
    OutChannel c(row.preroll);
    ASSERT_EQ(c.pack(2, row.firstMs, 100, true), 0);
    ASSERT_EQ(c.flush(), 1);
    ASSERT_EQ(c.pack(2, row.firstMs + 1000, 100), 0);
    ASSERT_EQ(c.flush(), 1);
    EXPECT_EQ(c.out.timeRebased, row.rebased);
    EXPECT_EQ(c.out.rebaseOffset, row.offset);
    EXPECT_EQ(krv_u32(c.packetAt(0) + 4), row.firstSend);
    EXPECT_EQ(krv_u32(c.packetAt(1) + 4), row.firstSend + 1000);
    // Presentation times in the payload headers carry the preroll.
    EXPECT_EQ(krv_u32(c.packetAt(0) + 10 + 11), row.firstMs + row.preroll - row.offset);
    EXPECT_EQ(krv_u32(c.packetAt(1) + 10 + 11), row.firstMs + 1000 + row.preroll - row.offset);
    EXPECT_EQ(c.out.sendDurationMs, row.firstSend + 1000);
    ASSERT_EQ(c.out.packetSendTimes.size(), 2u);
    EXPECT_DOUBLE_EQ(c.out.packetSendTimes[1], (row.firstSend + 1000) / 1000.0);
}

INSTANTIATE_TEST_SUITE_P(Rows, WriterRebase,
                         ::testing::Values(RebaseRow{"at3000", 3000, 0, 650, 2350, true},
                                           RebaseRow{"at3000WithPreroll", 3000, 200, 650, 2350, true},
                                           RebaseRow{"at500", 500, 0, 500, 0, false},
                                           RebaseRow{"at650", 650, 0, 650, 0, true},
                                           RebaseRow{"at649", 649, 0, 649, 0, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WriterPacket, DurationFromLastVideoPayload)
{
    OutChannel c;
    ASSERT_EQ(c.pack(2, 100, 10, true), 0);
    ASSERT_EQ(c.pack(1, 180, 10), 0);
    ASSERT_EQ(c.pack(2, 140, 10), 0);
    ASSERT_EQ(c.pack(1, 190, 10), 0);
    c.flush();
    EXPECT_EQ(krv_u16(c.packetAt(0) + 8), 40u) << "last video payload minus the first payload";

    OutChannel audio;
    audio.pack(1, 100, 10);
    audio.pack(1, 125, 10);
    audio.flush();
    EXPECT_EQ(krv_u16(audio.packetAt(0) + 8), 25u) << "no video after the first: last minus first";
}

TEST(WriterPacket, AvSyncSendTimeAndAudioPositions)
{
    OutChannel c;
    c.writer = {1, true, true};
    ASSERT_EQ(c.pack(1, 300, 40), 0);
    ASSERT_EQ(c.pack(2, 400, 60, true), 0);
    ASSERT_EQ(c.pack(1, 420, 40), 0);
    ASSERT_EQ(c.flush(), 3);
    EXPECT_EQ(krv_u32(c.packetAt(0) + 4), 400u) << "the first video payload gives the send time";
    // Only audio payloads behind the first payload of their packet are listed,
    // by the file offset of their payload header.
    ASSERT_EQ(c.out.audioPositions.size(), 1u);
    EXPECT_EQ(c.out.audioPositions[0], 11u + 57 + 77);

    OutChannel normal;
    normal.pack(1, 300, 40);
    normal.pack(2, 400, 60, true);
    normal.flush();
    EXPECT_EQ(krv_u32(normal.packetAt(0) + 4), 300u);
    EXPECT_TRUE(normal.out.audioPositions.empty());
}

TEST(WriterPacket, AudioPositionTableStopsAt8000)
{
    OutChannel c;
    c.writer = {1, true, true};
    c.out.audioPositions.assign(kMaxAudioPositions - 1, 7);
    c.out.packetsWritten = 1; // no rebasing
    c.pack(2, 400, 60, true);
    c.pack(1, 410, 40);
    c.pack(1, 420, 40);
    c.flush();
    EXPECT_EQ(c.out.audioPositions.size(), kMaxAudioPositions);
    EXPECT_EQ(c.out.audioPositionCount, kMaxAudioPositions);
}

TEST(WriterPacket, EmptyPacketIsNotWritten)
{
    OutChannel c;
    EXPECT_EQ(c.flush(), 0);
    EXPECT_TRUE(c.mem.bytes.empty());
    EXPECT_EQ(c.out.packetsWritten, 0u);
}

TEST(WriterPacket, WriteFailureIsReported)
{
    OutChannel c;
    c.out.io.write = [](void*, const uint8_t*, size_t) -> int64_t { return 0; };
    c.pack(2, 100, 10, true);
    EXPECT_EQ(c.flush(), KRV_ERROR_IO);
}
