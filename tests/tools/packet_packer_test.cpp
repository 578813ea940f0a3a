// The packer's filling rules on objects chosen to hit its limits.
#include <gtest/gtest.h>

#include "byte_buffer.h"
#include "packet_packer.h"

namespace {

using krvsynth::MediaObject;
using krvsynth::PacketPacker;
using krvsynth::PayloadInfo;

struct Packet {
    std::vector<uint8_t> bytes;
    std::vector<PayloadInfo> payloads;
};

std::vector<Packet> pack(const std::vector<std::pair<uint8_t, size_t>>& objects, std::vector<uint8_t>& storage)
{
    std::vector<Packet> out;
    PacketPacker packer(
        [&](uint64_t, std::span<uint8_t> p, const std::vector<PayloadInfo>& payloads) {
            out.push_back(Packet{std::vector<uint8_t>(p.begin(), p.end()), payloads});
        },
        0);
    size_t largest = 0;
    for (const auto& o : objects)
        largest = std::max(largest, o.second);
    storage.resize(largest);
    for (size_t i = 0; i < storage.size(); ++i)
        storage[i] = uint8_t(i * 7 + 1);
    uint32_t t = 0;
    for (const auto& [stream, size] : objects) {
        MediaObject m;
        m.stream = stream;
        m.presentationMs = t += 10;
        m.body = std::span<const uint8_t>(storage.data(), size);
        packer.add(m);
    }
    packer.finish();
    return out;
}

TEST(PacketPacker, AtMost63PayloadsAPacket)
{
    std::vector<uint8_t> storage;
    const auto packets = pack(std::vector<std::pair<uint8_t, size_t>>(100, {2, 10}), storage);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].payloads.size(), 63u);
    EXPECT_EQ(packets[0].bytes[10], 0x80 | 63);
    EXPECT_EQ(packets[1].payloads.size(), 37u);
    // Closed early: the unused room is padding.
    EXPECT_EQ(packets[0].bytes[2] | packets[0].bytes[3] << 8, 32768 - 11 - 63 * (17 + 10));
}

TEST(PacketPacker, LargeObjectSpansThreePacketsWithRunningOffsets)
{
    std::vector<uint8_t> storage;
    const auto packets = pack({{2, 1000}, {3, 65000}, {1, 516}}, storage);
    ASSERT_EQ(packets.size(), 3u);
    std::vector<uint8_t> joined;
    uint32_t expectedOffset = 0;
    for (const Packet& p : packets) {
        for (const PayloadInfo& pl : p.payloads) {
            if (pl.stream != 3)
                continue;
            EXPECT_EQ(pl.offset, expectedOffset);
            EXPECT_EQ(pl.objectSize, 65000u);
            const uint8_t* h = p.bytes.data() + pl.headerPos;
            EXPECT_EQ(krvsynth::getU32(h + 2), pl.offset);
            EXPECT_EQ(krvsynth::getU32(h + 11), 20u) << "continuations keep the object's time";
            joined.insert(joined.end(), h + 17, h + 17 + pl.length);
            expectedOffset += pl.length;
        }
    }
    ASSERT_EQ(joined.size(), 65000u);
    EXPECT_TRUE(std::equal(joined.begin(), joined.end(), storage.begin()));
    // The first two packets are full to the last byte, the third is padded.
    EXPECT_EQ(packets[0].bytes[2] | packets[0].bytes[3] << 8, 0);
    EXPECT_EQ(packets[1].bytes[2] | packets[1].bytes[3] << 8, 0);
    EXPECT_GT(packets[2].bytes[2] | packets[2].bytes[3] << 8, 0);
    // A packet's send time is its first payload's time, a continuation's included.
    EXPECT_EQ(krvsynth::getU32(packets[1].bytes.data() + 4), 20u);
}

TEST(PacketPacker, NoPayloadWhereOnlyAHeaderWouldFit)
{
    // 32768 - 11 - (17 + 32723) leaves 17 bytes: too few for a header and a byte.
    std::vector<uint8_t> storage;
    const auto packets = pack({{2, 32723}, {3, 100}}, storage);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].payloads.size(), 1u);
    EXPECT_EQ(packets[0].bytes[2] | packets[0].bytes[3] << 8, 17);
    EXPECT_EQ(packets[1].payloads.front().offset, 0u);
}

} // namespace
