// The simple index object closing a channel file.
#include <gtest/gtest.h>

#include "krv/krv_guid.h"
#include "krv/krv_index.h"
#include "krv/krv_io.h"
#include "split_fixture.h"

using namespace krvtest;

namespace {

struct IndexRow {
    const char* name;
    uint64_t playDuration; // 100-ns
    uint64_t prerollMs;
    std::vector<double> send; // seconds
    std::vector<double> duration;
    std::vector<KrvIndexEntry> expect;
};

class WriterIndex : public ::testing::TestWithParam<IndexRow> {};

} // namespace

TEST_P(WriterIndex, Entries)
{
    const IndexRow& row = GetParam();
    KrvFile out;
    out.playDuration = row.playDuration;
    out.preroll = row.prerollMs;
    auto index = krv_build_index(out, row.send, row.duration, false);
    ASSERT_TRUE(index);
    ASSERT_EQ(index->entryCount, row.expect.size());
    for (size_t i = 0; i < row.expect.size(); ++i) {
        EXPECT_EQ(index->entries[i].packetNumber, row.expect[i].packetNumber) << "entry " << i;
        EXPECT_EQ(index->entries[i].packetCount, row.expect[i].packetCount) << "entry " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WriterIndex,
    ::testing::Values(
        IndexRow{"eachSecondFound", 25000000, 0, {0.65, 0.9, 1.5, 2.2}, {0.2, 0.5, 0.6, 0.3}, {{0, 1}, {1, 1}, {2, 1}}},
        IndexRow{"gapLeavesEmptyEntriesAndOneFinalEntry",
                 46000000,
                 0,
                 {0.65, 3.5},
                 {0.1, 0.1},
                 {{0, 1}, {0, 1}, {0, 0}, {0, 0}, {0, 0}}},
        IndexRow{"longFirstPacketCoversAll", 30000000, 0, {0.65}, {10.0}, {{0, 1}, {0, 1}, {0, 1}}},
        IndexRow{"prerollShiftsSeconds", 30000000, 1000, {0.0, 0.8, 1.7}, {0.5, 0.5, 0.5}, {{0, 1}, {0, 1}, {1, 1}}},
        IndexRow{"noEntries", 0, 0, {0.65}, {0.1}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WriterIndexBytes, Layout)
{
    KrvFile out;
    out.playDuration = 25000000;
    for (bool avSync : {false, true}) {
        auto index = krv_build_index(out, {0.65, 0.9, 1.5}, {0.2, 0.5, 0.6}, avSync);
        ASSERT_TRUE(index);
        const Bytes b = krv_index_bytes(*index);
        ASSERT_EQ(b.size(), 56u + 3 * 6);
        EXPECT_EQ(krv_guid_read(b.data()), avSync ? kGuidSimpleIndexKrv : kGuidSimpleIndex);
        EXPECT_EQ(krv_u64(b.data() + 16), b.size());
        EXPECT_EQ(krv_guid_read(b.data() + 24), kGuidKrvFileId);
        EXPECT_EQ(krv_u64(b.data() + 40), 10000000u);
        EXPECT_EQ(krv_u32(b.data() + 48), 2u);
        EXPECT_EQ(krv_u32(b.data() + 52), 3u);
        EXPECT_EQ(krv_u32(b.data() + 56 + 6), 1u);
        EXPECT_EQ(krv_u16(b.data() + 60 + 6), 1u);
    }
    out.playDuration = 0;
    auto empty = krv_build_index(out, {}, {}, false);
    EXPECT_EQ(krv_index_bytes(*empty).size(), 56u);
}

TEST(WriterIndexBytes, WrittenAfterTheLastPacket)
{
    MemoryFile mem;
    mem.bytes.assign(1000, 0x55);
    KrvFile out;
    out.io = mem.io();
    out.bytesWritten = 1000;
    const Bytes index(62, 0x11);
    ASSERT_EQ(krv_write_index(out, index), 0);
    ASSERT_EQ(mem.bytes.size(), 1062u);
    EXPECT_EQ(mem.bytes[999], 0x55);
    EXPECT_EQ(mem.bytes[1000], 0x11);
}
