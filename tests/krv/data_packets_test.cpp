// Data packets by number and recordings cut short: how many whole packets a
// file holds against what its header announces, reading that stops at the
// cut instead of failing, and going straight to a packet.
#include <gtest/gtest.h>

#include "krv/krv_data_packets.h"
#include "krv_fixture.h"

using namespace krvtest;

namespace {

struct CutRow {
    const char* name;
    uint64_t announced;
    uint64_t present; // packets written
    int64_t trim;     // bytes taken off the end
    std::optional<uint64_t> dataSize;
    bool cut;
    uint64_t whole;
};

void PrintTo(const CutRow& row, std::ostream* os)
{
    *os << row.name;
}

class CutShortRows : public ::testing::TestWithParam<CutRow> {};

Bytes recordingOf(uint64_t announced, uint64_t present, std::optional<uint64_t> dataSize)
{
    Recording r;
    r.file.dataPackets = announced;
    r.dataSize = dataSize;
    for (uint64_t k = 0; k < present; ++k) {
        PacketSpec p;
        p.sendTime = uint32_t(1000 + 100 * k);
        p.payloads = {PayloadSpec{.time = p.sendTime}};
        r.packets.push_back(packet(p));
    }
    return build(r);
}

} // namespace

TEST_P(CutShortRows, WholePacketsAndReadingToTheCut)
{
    const CutRow& row = GetParam();
    Bytes bytes = recordingOf(row.announced, row.present, row.dataSize);
    bytes.resize(size_t(int64_t(bytes.size()) - row.trim));
    Opened o = openBytes(bytes, std::string(row.name) + ".krv");
    ASSERT_EQ(o.init, 1);
    EXPECT_EQ(krv_file_size(*o.file), bytes.size());
    const KrvCutShort c = krv_keep_whole_packets(o.file.get(), bytes.size());
    EXPECT_EQ(c.cut, row.cut);
    EXPECT_EQ(c.announced, row.announced);
    EXPECT_EQ(c.whole, row.whole);
    EXPECT_EQ(o.file->dataPacketsCount, row.whole);

    KrvPacketPtr packet(krv_packet_create(o.file.get(), true));
    uint64_t read = 0;
    int r;
    while ((r = krv_get_packet(o.file.get(), packet.get(), false, nullptr)) > 0)
        EXPECT_EQ(packet->sendTime, 1000 + 100 * read++);
    EXPECT_EQ(r, 0) << "the reading ends at the cut without KRV_ERROR_EOF";
    EXPECT_EQ(read, row.whole);
}

INSTANTIATE_TEST_SUITE_P(Rows, CutShortRows,
                         ::testing::Values(CutRow{"whole", 3, 3, 0, std::nullopt, false, 3},
                                           CutRow{"partialLastPacket", 3, 3, 100, std::nullopt, true, 2},
                                           CutRow{"insideTheFirstPacketHeader", 3, 3, 3 * 32768 - 5, std::nullopt, true,
                                                  0},
                                           CutRow{"fewerPacketsThanAnnounced", 5, 3, 0, std::nullopt, true, 3},
                                           CutRow{"dataObjectPastTheEnd", 3, 3, 0, 50 + 5 * 32768, true, 3},
                                           CutRow{"noPacketsLeft", 2, 2, 2 * 32768, std::nullopt, true, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SeekPacket, GoesStraightToAPacket)
{
    const Bytes bytes = recordingOf(4, 4, std::nullopt);
    Opened o = openBytes(bytes, "seek.krv");
    ASSERT_EQ(o.init, 1);
    KrvPacketPtr packet(krv_packet_create(o.file.get(), true));
    for (uint64_t k : {3u, 0u, 2u}) {
        ASSERT_EQ(krv_seek_packet(o.file.get(), k), 1);
        ASSERT_GT(krv_get_packet(o.file.get(), packet.get(), false, nullptr), 0);
        EXPECT_EQ(packet->sendTime, 1000 + 100 * k);
        EXPECT_EQ(o.file->packetCounter, k + 1);
    }
    EXPECT_EQ(krv_seek_packet(o.file.get(), 4), 1) << "the end itself";
    EXPECT_EQ(krv_get_packet(o.file.get(), packet.get(), false, nullptr), 0);
    EXPECT_EQ(krv_seek_packet(o.file.get(), 5), KRV_ERROR_SEEK);
    EXPECT_EQ(krv_seek_packet(nullptr, 0), KRV_ERROR_SEEK);
}
