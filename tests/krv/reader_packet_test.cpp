// krv_get_packet over crafted packets: packet header rules, the payload walk,
// continuations and the bounds of every payload.
#include <functional>

#include <gtest/gtest.h>

#include "krv/krv_io.h"
#include "krv/krv_reader.h"
#include "krv_fixture.h"

using namespace krvtest;

namespace {

// A recording holding the given packets, opened and initialised.
struct Reading {
    Opened opened;
    KrvPacketPtr packet;

    explicit Reading(const std::vector<Bytes>& packets, uint64_t preroll = 0)
    {
        Recording r;
        r.file.dataPackets = packets.size();
        r.file.preroll = preroll;
        r.packets = packets;
        opened = openBytes(build(r));
        packet.reset(krv_packet_create(opened.file.get(), true));
    }
    int next(bool continuing = false, const KrvSavedHeader* saved = nullptr)
    {
        krv_packet_reset(packet.get());
        return krv_get_packet(opened.file.get(), packet.get(), continuing, saved);
    }
    const KrvPayload& payload(int i) const { return packet->payloads.at(size_t(i)); }
};

PayloadSpec video(size_t bytes, uint8_t fill = 0xAB)
{
    PayloadSpec s;
    s.data = Bytes(bytes, fill);
    return s;
}

// Every delivered payload lies inside the packet buffer.
void expectInside(const KrvPacket& p)
{
    const uint8_t* begin = p.buffer.data();
    const uint8_t* end = begin + p.buffer.size();
    for (int i = 0; i < p.payloadCount; ++i) {
        const KrvPayload& pl = p.payloads[size_t(i)];
        EXPECT_GE(pl.data, begin) << i;
        EXPECT_LE(pl.data + pl.payloadLength, end) << i;
    }
}

struct PacketCase {
    const char* name;
    std::function<PacketSpec()> make;
    int result;   // of krv_get_packet
    int payloads; // delivered when the read succeeds
};

std::ostream& operator<<(std::ostream& os, const PacketCase& c)
{
    return os << c.name;
}

const PacketCase kPacketCases[] = {
    {"ThreePayloads",
     [] {
         PacketSpec p;
         p.payloads = {video(100), video(200), video(300)};
         return p;
     },
     int(kPacketSize), 3},
    {"PacketLength30000IsPadding",
     [] {
         PacketSpec p;
         p.payloads = {video(100), video(200)};
         p.packetLength = 30000;
         p.padding = uint16_t(30000 - 13 - 2 * 17 - 300);
         return p;
     },
     int(kPacketSize), 2},
    {"PacketLength40000",
     [] {
         PacketSpec p;
         p.payloads = {video(100)};
         p.packetLength = 40000;
         return p;
     },
     KRV_ERROR_INVALID_LENGTH, 0},
    {"SeventyPayloadsGiveSixtyThree",
     [] {
         PacketSpec p;
         p.payloads.assign(70, video(50));
         p.announced = 63;
         p.padding = 0;
         return p;
     },
     int(kPacketSize), 63},
    {"ReplicatedLength5EndsTheWalk",
     [] {
         PacketSpec p;
         p.payloads = {video(100), video(100), video(100)};
         p.payloads[2].replicatedLength = 5;
         return p;
     },
     int(kPacketSize), 2},
    {"PayloadCountZero",
     [] {
         PacketSpec p;
         p.payloads = {video(100)};
         p.announced = 0;
         return p;
     },
     KRV_ERROR_INVALID_VALUE, 0},
    {"PayloadLengthTypeNotWord",
     [] {
         PacketSpec p;
         p.payloads = {video(100)};
         p.payloadLengthType = 1;
         return p;
     },
     KRV_ERROR_INVALID_VALUE, 0},
    {"ErrorCorrectionBytes",
     [] {
         PacketSpec p;
         p.payloads = {video(100)};
         p.errorCorrection = {0x82, 0, 0};
         return p;
     },
     int(kPacketSize), 1},
    {"ErrorCorrectionLength3",
     [] {
         PacketSpec p;
         p.payloads = {video(100)};
         p.errorCorrection = {0x83, 0, 0};
         return p;
     },
     KRV_ERROR_INVALID_VALUE, 0},
    {"ErrorCorrectionOpaque",
     [] {
         PacketSpec p;
         p.payloads = {video(100)};
         p.errorCorrection = {0x92, 0, 0};
         return p;
     },
     KRV_ERROR_INVALID_VALUE, 0},
    {"ErrorCorrectionLengthType",
     [] {
         PacketSpec p;
         p.payloads = {video(100)};
         p.errorCorrection = {0xA2, 0, 0};
         return p;
     },
     KRV_ERROR_INVALID_VALUE, 0},
    {"SinglePayload",
     [] {
         PacketSpec p;
         p.multiple = false;
         p.payloads = {video(1000)};
         return p;
     },
     int(kPacketSize), 1},
    // Mended: zero padding after the payloads is not read as payloads of stream 0.
    {"ZeroPaddingGivesNoPhantoms",
     [] {
         PacketSpec p;
         p.payloads = {video(100)};
         p.announced = 40;
         return p;
     },
     int(kPacketSize), 1},
    {"AnnouncedCountBoundsTheWalk",
     [] {
         PacketSpec p;
         p.payloads = {video(100), video(100), video(100)};
         p.announced = 2;
         p.padding = 0;
         return p;
     },
     int(kPacketSize), 2},
    {"PaddingLargerThanArea",
     [] {
         PacketSpec p;
         p.payloads = {video(100)};
         p.padding = 40000;
         return p;
     },
     int(kPacketSize), 0},
    // Mended: a declared length past the payload area ends the walk before it.
    {"PayloadLengthPastArea",
     [] {
         PacketSpec p;
         p.payloads = {video(100), video(100)};
         p.payloads[1].declaredLength = 40000;
         p.padding = 0;
         return p;
     },
     int(kPacketSize), 1},
    {"PayloadLengthPastPaddingBound",
     [] {
         PacketSpec p;
         p.payloads = {video(100), video(100)};
         p.payloads[1].declaredLength = 200;
         return p;
     },
     int(kPacketSize), 1},
};

class PacketRules : public ::testing::TestWithParam<PacketCase> {};

TEST_P(PacketRules, ReadResult)
{
    Reading rd({packet(GetParam().make())});
    ASSERT_EQ(rd.opened.init, 1);
    EXPECT_EQ(rd.next(), GetParam().result);
    if (GetParam().result > 0) {
        EXPECT_EQ(rd.packet->payloadCount, GetParam().payloads);
        expectInside(*rd.packet);
    }
}

INSTANTIATE_TEST_SUITE_P(Reader, PacketRules, ::testing::ValuesIn(kPacketCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReaderPacket, PayloadFieldsAndPadding)
{
    PacketSpec p;
    p.sendTime = 4321;
    p.duration = 77;
    p.payloads = {video(100, 1), video(200, 2)};
    p.payloads[0].key = true;
    p.payloads[0].objectNumber = 9;
    p.payloads[0].time = 5000;
    p.payloads[1].stream = 1;
    p.payloads[1].offset = 300;
    p.payloads[1].objectSize = 900;
    p.payloads[1].time = 900; // below the preroll: 0
    Reading rd({packet(p)}, 1000);
    ASSERT_EQ(rd.opened.init, 1);
    ASSERT_EQ(rd.next(), int(kPacketSize));
    const KrvPacket& pk = *rd.packet;
    EXPECT_EQ(pk.sendTime, 4321u);
    EXPECT_EQ(pk.duration, 77);
    EXPECT_EQ(pk.lengthTypeFlags & 1, 1);
    ASSERT_EQ(pk.payloadCount, 2);
    const KrvPayload& a = rd.payload(0);
    EXPECT_EQ(a.streamNumber, 2);
    EXPECT_EQ(a.keyFrame, 1);
    EXPECT_EQ(a.mediaObjectNumber, 9u);
    EXPECT_EQ(a.presentationTime, 4000u);
    EXPECT_EQ(a.replicatedDataLength, 8u);
    EXPECT_EQ(a.mediaObjectSize, 100u);
    EXPECT_EQ(a.payloadLength, 100u);
    EXPECT_EQ(a.header, pk.buffer.data() + 11);
    EXPECT_EQ(a.data, pk.buffer.data() + 11 + 17);
    EXPECT_EQ(a.data[99], 1);
    const KrvPayload& b = rd.payload(1);
    EXPECT_EQ(b.streamNumber, 1);
    EXPECT_EQ(b.keyFrame, 0);
    EXPECT_EQ(b.offset, 300u);
    EXPECT_EQ(b.mediaObjectSize, 900u);
    EXPECT_EQ(b.presentationTime, 0u);
    EXPECT_EQ(b.data, a.data + 100 + 17);
    // Padding now says how much of the packet is unused; the splitter's
    // cursor starts at padding + 11.
    EXPECT_EQ(pk.paddingLength, kPacketSize - 11 - (17 + 100) - (17 + 200));
}

TEST(ReaderPacket, SinglePayloadSpansToThePadding)
{
    PacketSpec p;
    p.multiple = false;
    p.payloads = {video(1000, 7)};
    Reading rd({packet(p)});
    ASSERT_EQ(rd.next(), int(kPacketSize));
    ASSERT_EQ(rd.packet->payloadCount, 1);
    EXPECT_EQ(rd.payload(0).payloadLength, 1000u);
    EXPECT_EQ(rd.payload(0).data, rd.packet->buffer.data() + 10 + 15);
    EXPECT_EQ(rd.packet->paddingLength, kPacketSize - 10 - 15 - 1000);
}

TEST(ReaderPacket, PacketLengthFieldShortensTheArea)
{
    PacketSpec p;
    p.payloads = {video(100)};
    p.packetLength = 30000;
    p.padding = uint16_t(30000 - 13 - 117);
    Reading rd({packet(p)});
    ASSERT_EQ(rd.next(), int(kPacketSize));
    EXPECT_EQ(rd.packet->packetLength, kPacketSize);
    ASSERT_EQ(rd.packet->payloadCount, 1);
    // The formula counts the recorder's 11-byte header whatever this one had.
    EXPECT_EQ(rd.packet->paddingLength, kPacketSize - 117 - 11);
}

TEST(ReaderPacket, PhantomPaddingAcrossManyPackets)
{
    // The writer pads every packet it closes early; each must read back alone.
    std::vector<Bytes> packets;
    for (int i = 0; i < 5; ++i) {
        PacketSpec p;
        p.payloads = {video(size_t(1000 + i))};
        p.announced = 63; // even a generous count must not reach into the padding
        packets.push_back(packet(p));
    }
    Reading rd(packets);
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(rd.next(), int(kPacketSize)) << i;
        ASSERT_EQ(rd.packet->payloadCount, 1) << i;
        EXPECT_EQ(rd.payload(0).payloadLength, uint32_t(1000 + i));
        EXPECT_EQ(rd.payload(0).streamNumber, 2);
    }
    EXPECT_EQ(rd.next(), 0);
}

KrvSavedHeader savedHeader(uint32_t objectSize, uint32_t received, uint32_t time, uint32_t offset = 0)
{
    PayloadSpec first;
    first.stream = 3;
    first.key = true;
    first.objectSize = objectSize;
    first.time = time;
    first.offset = offset;
    Bytes h = payloadHeader(first, true);
    KrvSavedHeader s;
    s.bytes[0] = 17;
    std::copy(h.begin(), h.begin() + 15, s.bytes + 1);
    krv_put_u32(s.bytes + 16, received);
    return s;
}

TEST(ReaderPacket, ContinuationTakesTheSavedHeader)
{
    PacketSpec p;
    p.payloads = {video(2000, 5), video(100, 6)};
    p.payloads[0].stream = 4; // the continuation's own values are ignored
    p.payloads[0].objectSize = 1;
    p.payloads[0].time = 1;
    p.payloads[1].time = 7000;
    Reading rd({packet(p)}, 500);
    KrvSavedHeader s = savedHeader(5000, 3000, 6000);
    ASSERT_EQ(rd.next(true, &s), int(kPacketSize));
    ASSERT_EQ(rd.packet->payloadCount, 2);
    const KrvPayload& c = rd.payload(0);
    EXPECT_EQ(c.streamNumber, 3);
    EXPECT_EQ(c.keyFrame, 1);
    EXPECT_EQ(c.mediaObjectSize, 5000u);
    EXPECT_EQ(c.offset, 3000u);
    EXPECT_EQ(c.presentationTime, 5500u);
    EXPECT_EQ(c.payloadLength, 2000u);
    EXPECT_EQ(c.data[1999], 5);
    // Only the first payload continues.
    EXPECT_EQ(rd.payload(1).streamNumber, 2);
    EXPECT_EQ(rd.payload(1).presentationTime, 6500u);
    EXPECT_EQ(rd.payload(1).data[0], 6);
}

TEST(ReaderPacket, ContinuationLongerThanThePacketIsClamped)
{
    // A media object of 100000 bytes of which 1000 arrived: this packet holds
    // at most its payload area; the rest comes in the next packet.
    PacketSpec p;
    p.payloads = {video(kPacketSize - 11 - 17, 9)};
    p.payloads[0].declaredLength = 0; // ignored while continuing
    p.padding = 0;
    Reading rd({packet(p)});
    KrvSavedHeader s = savedHeader(100000, 1000, 2000, 0);
    ASSERT_EQ(rd.next(true, &s), int(kPacketSize));
    ASSERT_EQ(rd.packet->payloadCount, 1);
    EXPECT_EQ(rd.payload(0).payloadLength, kPacketSize - 11 - 17);
    EXPECT_EQ(rd.payload(0).offset, 1000u);
    expectInside(*rd.packet);
    EXPECT_EQ(rd.packet->paddingLength, 0u);
}

TEST(ReaderPacket, ContinuationClampedToThePaddingBound)
{
    PacketSpec p;
    p.payloads = {video(500, 9)};
    Reading rd({packet(p)});
    KrvSavedHeader s = savedHeader(100000, 1000, 2000);
    ASSERT_EQ(rd.next(true, &s), int(kPacketSize));
    ASSERT_EQ(rd.packet->payloadCount, 1);
    EXPECT_EQ(rd.payload(0).payloadLength, 500u);
}

TEST(ReaderPacket, CompressedPayloads)
{
    // Replicated data length 1: the offset field holds the presentation time,
    // one delta byte follows, then length-prefixed sub-payloads.
    Bytes area = {2, 0, 0xE8, 0x03, 0, 0, 1, 10}; // stream, number, time 1000, len type 1, delta 10
    Bytes subs = {3, 'a', 'b', 'c', 1, 'd', 2, 'e', 'f'};
    krvtest::put16(area, uint16_t(subs.size()));
    area.insert(area.end(), subs.begin(), subs.end());
    PacketSpec p;
    p.rawPayloadArea = area;
    p.announced = 1;
    Reading rd({packet(p)});
    ASSERT_EQ(rd.next(), int(kPacketSize));
    ASSERT_EQ(rd.packet->payloadCount, 3);
    EXPECT_EQ(rd.payload(0).payloadLength, 3u);
    EXPECT_EQ(rd.payload(0).data[0], 'a');
    EXPECT_EQ(rd.payload(0).presentationTime, 1000u);
    EXPECT_EQ(rd.payload(1).payloadLength, 1u);
    EXPECT_EQ(rd.payload(1).presentationTime, 1010u);
    EXPECT_EQ(rd.payload(2).data[1], 'f');
    EXPECT_EQ(rd.payload(2).presentationTime, 1020u);
    EXPECT_EQ(rd.payload(2).offset, 0u);
    expectInside(*rd.packet);
}

TEST(ReaderPacket, CompressedSubPayloadsMustFillThePayload)
{
    Bytes area = {2, 0, 0xE8, 0x03, 0, 0, 1, 10};
    Bytes subs = {3, 'a', 'b', 'c', 5, 'd'}; // the second runs past the payload
    krvtest::put16(area, uint16_t(subs.size()));
    area.insert(area.end(), subs.begin(), subs.end());
    PacketSpec p;
    p.rawPayloadArea = area;
    p.announced = 1;
    Reading rd({packet(p)});
    EXPECT_EQ(rd.next(), KRV_ERROR_INVALID_LENGTH);
}

TEST(ReaderPacket, ManyCompressedSubPayloadsGrowTheArray)
{
    Bytes area = {2, 0, 0, 0, 0, 0, 1, 1};
    Bytes subs(400, 0); // 400 empty sub-payloads
    krvtest::put16(area, uint16_t(subs.size()));
    area.insert(area.end(), subs.begin(), subs.end());
    PacketSpec p;
    p.rawPayloadArea = area;
    p.announced = 1;
    Reading rd({packet(p)});
    ASSERT_EQ(rd.next(), int(kPacketSize));
    EXPECT_EQ(rd.packet->payloadCount, 400);
    EXPECT_EQ(rd.payload(399).presentationTime, 399u);
}

TEST(ReaderPacket, PacketsBoundedByTheFileProperties)
{
    // Data object announces 0 packets; the file properties' count rules.
    Recording r;
    r.file.dataPackets = 2;
    r.dataTotal = 0;
    r.packets = {simplePacket(), simplePacket(), simplePacket()};
    Opened o = openBytes(build(r));
    ASSERT_EQ(o.init, 1);
    KrvPacketPtr p(krv_packet_create(o.file.get(), true));
    EXPECT_EQ(krv_get_packet(o.file.get(), p.get(), false, nullptr), int(kPacketSize));
    EXPECT_EQ(krv_get_packet(o.file.get(), p.get(), false, nullptr), int(kPacketSize));
    EXPECT_EQ(krv_get_packet(o.file.get(), p.get(), false, nullptr), 0);
    EXPECT_EQ(o.file->packetCounter, 2u);
    EXPECT_EQ(o.file->position, o.file->data->packetsPosition + 2 * kPacketSize);
}

TEST(ReaderPacket, FileEndingInsideAPacketIsEof)
{
    Recording r;
    r.file.dataPackets = 2;
    r.packets = {simplePacket(), simplePacket()};
    Bytes bytes = build(r);
    bytes.resize(bytes.size() - 100);
    Opened o = openBytes(bytes);
    ASSERT_EQ(o.init, 1);
    KrvPacketPtr p(krv_packet_create(o.file.get(), true));
    EXPECT_EQ(krv_get_packet(o.file.get(), p.get(), false, nullptr), int(kPacketSize));
    EXPECT_EQ(krv_get_packet(o.file.get(), p.get(), false, nullptr), KRV_ERROR_EOF);
}

TEST(ReaderPacket, MissingFileOrPacketIsInternal)
{
    Reading rd({simplePacket()});
    EXPECT_EQ(krv_get_packet(nullptr, rd.packet.get(), false, nullptr), KRV_ERROR_INTERNAL);
    EXPECT_EQ(krv_get_packet(rd.opened.file.get(), nullptr, false, nullptr), KRV_ERROR_INTERNAL);
}

TEST(ReaderPacket, CreateAndReset)
{
    Reading rd({simplePacket()});
    const KrvPacket& p = *rd.packet;
    EXPECT_EQ(p.buffer.size(), kPacketSize);
    EXPECT_EQ(p.payloads.size(), kPayloadSlots);
    EXPECT_EQ(p.payloadCapacity, kPayloadCapacity);
    ASSERT_EQ(rd.next(), int(kPacketSize));
    EXPECT_EQ(p.payloadCount, 1);
    krv_packet_reset(rd.packet.get());
    EXPECT_EQ(p.payloadCount, 0);
    EXPECT_EQ(p.payloads[0].data, nullptr);
    EXPECT_EQ(p.buffer[0], 0);
    EXPECT_EQ(p.payloadCapacity, kPayloadCapacity);
}

} // namespace
