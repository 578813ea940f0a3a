// The header of a channel file, rewritten from the recording's.
#include <gtest/gtest.h>

#include <cstring>

#include "krv/krv_guid.h"
#include "krv/krv_header_rewrite.h"
#include "krv/krv_io.h"
#include "krv/krv_reader.h"
#include "split_fixture.h"

using namespace krvtest;

namespace {

KrvFile counters(uint64_t headerSize, uint64_t packets)
{
    KrvFile out;
    out.bytesWritten = headerSize + packets * kPacketSize;
    out.packetsWritten = packets;
    out.sendDurationMs = 4200;
    out.preroll = 300;
    out.resolutionIndex = 4;
    return out;
}

std::string code(const Bytes& b, size_t at)
{
    return std::string(b.begin() + long(at), b.begin() + long(at) + 4);
}

KrvHeaderRewrite normal(int channel)
{
    return {channel, false, false, kRecorderAudioOffset, kRecorderAudioSize};
}

} // namespace

TEST(WriterHeader, NormalModeCutsAudioAndPatchesRecorderFields)
{
    RecorderLayout layout;
    std::memcpy(layout.code285, "KMP4", 4);
    std::memcpy(layout.code617, "KMP4", 4);
    const Bytes copy = recorderHeader(layout);
    const uint64_t headerSize = krv_u64(copy.data() + 16);

    const KrvHeaderRewrite how = normal(3);
    const uint64_t newSize = krv_channel_header_size(copy, how);
    ASSERT_EQ(newSize, copy.size() - kRecorderAudioSize);
    KrvFile out = counters(newSize, 7);
    const Bytes h = krv_rewrite_header(copy, how, out);
    ASSERT_EQ(h.size(), newSize);

    EXPECT_EQ(krv_u64(h.data() + 16), headerSize - kRecorderAudioSize);
    EXPECT_EQ(krv_u32(h.data() + 24), 5u) << "one sub-object less";
    EXPECT_EQ(krv_u64(h.data() + 70), out.bytesWritten);
    EXPECT_EQ(krv_u64(h.data() + 86), 7u);
    EXPECT_EQ(krv_u64(h.data() + 94), (300u + 4200u) * 10000u);
    EXPECT_EQ(krv_u64(h.data() + 102), 4200u * 10000u);
    EXPECT_EQ(krv_u32(h.data() + 252), 4u) << "channel 3 keeps stream number 4";
    EXPECT_EQ(code(h, 285), "MP4S");
    EXPECT_EQ(code(h, 617 - kRecorderAudioSize), "MP4S");
    // The codec list follows the video stream directly.
    EXPECT_EQ(krv_guid_kind(krv_guid_read(h.data() + kRecorderAudioOffset)), KrvObjectKind::CodecList);
    const uint64_t dataAt = headerSize - kRecorderAudioSize;
    EXPECT_EQ(krv_u64(h.data() + dataAt + 16), out.bytesWritten - dataAt);
    EXPECT_EQ(krv_u64(h.data() + dataAt + 40), 7u);

    // The result is a container the reader accepts with the channel's stream only.
    Bytes file = h;
    for (int i = 0; i < 7; ++i) {
        PacketSpec p;
        PayloadSpec key;
        key.stream = 4;
        key.key = true;
        p.payloads.push_back(key);
        Bytes pk = packet(p);
        file.insert(file.end(), pk.begin(), pk.end());
    }
    Opened o = openBytes(file);
    ASSERT_EQ(o.init, 1);
    EXPECT_EQ(o.file->streams[4].type, KrvStreamType::Video);
    EXPECT_EQ(o.file->streams[1].type, KrvStreamType::None);
    EXPECT_EQ(o.file->dataPacketsCount, 7u);
}

TEST(WriterHeader, SecondCodeOnlyWhereTheRecorderRepeatsIt)
{
    RecorderLayout layout;
    std::memcpy(layout.code285, "KMP4", 4);
    std::memcpy(layout.code617, "ABCD", 4);
    const Bytes copy = recorderHeader(layout);
    KrvFile out = counters(copy.size() - kRecorderAudioSize, 0);
    const Bytes h = krv_rewrite_header(copy, normal(1), out);
    EXPECT_EQ(code(h, 285), "MP4S");
    EXPECT_EQ(code(h, 617 - kRecorderAudioSize), "ABCD");
}

TEST(WriterHeader, AvSyncFieldsAndAudioPositionTable)
{
    const Bytes copy = recorderHeader();
    KrvHeaderRewrite keep{1, true, true, kRecorderAudioOffset, kRecorderAudioSize};
    KrvFile out = counters(copy.size(), 3);
    out.audioPositions = {0x01020304, 0x0A0B0C0D};
    const Bytes h = krv_rewrite_header(copy, keep, out);
    ASSERT_EQ(h.size(), copy.size()) << "the audio channel keeps its audio stream";
    EXPECT_EQ(krv_u32(h.data() + 24), 6u);
    EXPECT_EQ(h[650], 4);
    EXPECT_EQ(h[651], 1);
    EXPECT_EQ(h[653], 0);
    const uint8_t table[] = {1, 2, 3, 4, 0x0A, 0x0B, 0x0C, 0x0D, 0, 0};
    EXPECT_EQ(std::memcmp(h.data() + 661, table, sizeof table), 0) << "big-endian entries";
    EXPECT_EQ(krv_u32(h.data() + 252), 2u);

    Bytes withFlag = copy;
    withFlag[659] = 7;
    KrvHeaderRewrite other{2, true, false, kRecorderAudioOffset, kRecorderAudioSize};
    KrvFile out2 = counters(copy.size() - kRecorderAudioSize, 3);
    out2.audioPositions = {0x01020304};
    const Bytes g = krv_rewrite_header(withFlag, other, out2);
    ASSERT_EQ(g.size(), copy.size() - kRecorderAudioSize);
    EXPECT_EQ(g[650 - kRecorderAudioSize], 4) << "written before the audio object is cut";
    EXPECT_EQ(g[651 - kRecorderAudioSize], 1);
    EXPECT_EQ(g[659 - kRecorderAudioSize], 0);
    EXPECT_EQ(g[661 - kRecorderAudioSize], 0) << "no table in the other channels";
}

struct TableRow {
    const char* name;
    size_t vendorRoom;
    size_t positions;
    size_t expectWritten;
};

class WriterHeaderTable : public ::testing::TestWithParam<TableRow> {};

TEST_P(WriterHeaderTable, NeverPastItsRoom)
{
    const TableRow& row = GetParam();
    RecorderLayout layout;
    layout.vendorRoom = row.vendorRoom;
    const Bytes copy = recorderHeader(layout);
    KrvHeaderRewrite keep{1, true, true, kRecorderAudioOffset, kRecorderAudioSize};
    KrvFile out = counters(copy.size(), 1);
    out.audioPositions.assign(row.positions, 0xFFFFFFFF);
    const Bytes h = krv_rewrite_header(copy, keep, out);
    ASSERT_EQ(h.size(), copy.size());
    size_t written = 0;
    while (661 + 4 * written + 4 <= h.size() && krv_u32(h.data() + 661 + 4 * written) == 0xFFFFFFFF)
        ++written;
    EXPECT_EQ(written, row.expectWritten);
    // Everything behind the table is as it was, up to the data object header.
    const size_t end = 661 + 4 * written;
    const uint64_t headerSize = krv_u64(copy.data() + 16);
    for (size_t i = end; i < headerSize; ++i)
        ASSERT_EQ(h[i], copy[i]) << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(Rows, WriterHeaderTable,
                         ::testing::Values(TableRow{"fits", 32000, 100, 100}, TableRow{"capAt8000", 40000, 9000, 8000},
                                           TableRow{"smallVendorObject", 40, 100, 10}, TableRow{"noRoom", 0, 100, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WriterHeader, OtherLayoutStaysAValidContainer)
{
    // Padding first, then file properties, video, audio: none of the
    // recorder's fixed offsets apply.
    Recording r;
    r.file.dataPackets = 0;
    r.video.flags = 2;
    Bytes file = build(r);
    Opened o = openBytes(file);
    ASSERT_EQ(o.init, 1);
    const uint64_t f = o.file->audioPropsOffset;
    const uint64_t e = o.file->audioPropsSize;
    ASSERT_GT(e, 0u);
    const Bytes copy(file.begin(), file.begin() + long(o.file->position));

    KrvHeaderRewrite how{4, false, false, f, e};
    KrvFile out = counters(copy.size() - e, 0);
    const Bytes h = krv_rewrite_header(copy, how, out);
    ASSERT_EQ(h.size(), copy.size() - e);

    // Expected: the copy without the audio object, with the counts, the file
    // properties and the video stream number changed - nothing else.
    Bytes expect = copy;
    expect.erase(expect.begin() + long(f), expect.begin() + long(f + e));
    const uint64_t headerSize = krv_u64(copy.data() + 16) - e;
    set64(expect, 16, headerSize);
    set32(expect, 24, krv_u32(copy.data() + 24) - 1);
    const size_t fp = 30 + 724; // behind the 700-byte padding object
    ASSERT_EQ(krv_guid_kind(krv_guid_read(copy.data() + fp)), KrvObjectKind::FileProperties);
    set64(expect, fp + 40, out.bytesWritten);
    set64(expect, fp + 56, 0);
    set64(expect, fp + 64, (300u + 4200u) * 10000u);
    set64(expect, fp + 72, 4200u * 10000u);
    const size_t video = fp + 104;
    expect[video + 72] = 5;
    set64(expect, headerSize + 16, kDataObjectHeaderSize);
    set64(expect, headerSize + 40, 0);
    EXPECT_EQ(h, expect);

    Opened back = openBytes(h);
    ASSERT_EQ(back.init, 1);
    EXPECT_EQ(back.file->streams[5].type, KrvStreamType::Video) << "renumbered for channel 4";
    EXPECT_EQ(back.file->streams[2].type, KrvStreamType::None);
    EXPECT_EQ(back.file->streams[1].type, KrvStreamType::None);
    // The padding where the recorder keeps its fields is untouched.
    for (size_t i = 30 + 24; i < 30 + 724; ++i)
        ASSERT_EQ(h[i], copy[i]) << "byte " << i;
}

TEST(WriterHeader, MalformedCopyGivesNothing)
{
    Bytes copy = recorderHeader();
    set64(copy, 16, copy.size()); // header size past the data object header
    KrvFile out;
    EXPECT_TRUE(krv_rewrite_header(copy, normal(1), out).empty());
    EXPECT_EQ(krv_channel_header_size(copy, normal(1)), 0u);
}
