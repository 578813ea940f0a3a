// Recordings cut short (the recorder lost power mid-write) at several points:
// the conversion still says KRV_ERROR_EOF, then splits every whole packet
// before the cut, and each channel file holds exactly the whole frames those
// packets carry, with a duration that ends where they do.
#include <gtest/gtest.h>

#include <map>

#include "krv/krv_convert.h"
#include "krv/krv_messages.h"
#include "krv/krv_recording.h"
#include "krv/krv_time.h"
#include "split_fixture.h"

using namespace krvtest;

namespace {

constexpr uint64_t kPacketsStart = 32768; // krvsynth: header and Data object end here

struct CutRow {
    const char* name;
    int64_t at;      // bytes kept: from the first packet on (negative: inside the header), or
    double fraction; // of the file when above 0
};

void PrintTo(const CutRow& row, std::ostream* os)
{
    *os << row.name;
}

// Whole objects per stream in the first `packets` packets of the recording,
// counted by following the payload offsets alone.
std::map<int, size_t> wholeObjects(const std::filesystem::path& rec, uint64_t packets)
{
    std::map<int, size_t> whole;
    std::map<int, uint64_t> got, size;
    KrvFilePtr file(krv_open(rec.string(), true));
    if (!file || krv_init(file.get()) < 0)
        return whole;
    KrvPacketPtr packet(krv_packet_create(file.get(), true));
    for (uint64_t k = 0; k < packets && krv_get_packet(file.get(), packet.get(), false, nullptr) > 0; ++k) {
        for (uint16_t i = 0; i < packet->payloadCount; ++i) {
            const KrvPayload& p = packet->payloads[i];
            if (p.offset == 0) {
                got[p.streamNumber] = 0;
                size[p.streamNumber] = p.mediaObjectSize;
            }
            got[p.streamNumber] += p.payloadLength;
            if (got[p.streamNumber] == size[p.streamNumber])
                ++whole[p.streamNumber];
        }
    }
    return whole;
}

class CutShort : public ::testing::TestWithParam<CutRow> {};

} // namespace

TEST_P(CutShort, SplitKeepsTheWholeFramesBeforeTheCut)
{
    const CutRow& row = GetParam();
    const SynthRecording s = synthesizeWithDump(std::string("cut_") + row.name, "--seconds 8");
    ASSERT_EQ(s.synth.status, 0) << s.synth.out;
    const std::filesystem::path& work = s.work;
    const std::filesystem::path& rec = s.path;
    const KrvConversion full = krv_convert_recording(rec.string(), false, work / "full");
    ASSERT_TRUE(full.split);
    ASSERT_TRUE(full.messages.empty());

    const uint64_t size = std::filesystem::file_size(rec);
    const uint64_t keep =
        row.fraction > 0 ? uint64_t(double(size) * row.fraction) : uint64_t(int64_t(kPacketsStart) + row.at);
    std::filesystem::resize_file(rec, keep);
    const uint64_t packets = keep > kPacketsStart ? (keep - kPacketsStart) / kPacketSize : 0;
    const KrvConversion cut = krv_convert_recording(rec.string(), false, work / "cut");
    if (row.at < 0) {
        // Inside the Data object header nothing can be read: the open fails.
        EXPECT_FALSE(cut.split);
        ASSERT_EQ(cut.messages.size(), 1u);
        EXPECT_EQ(cut.messages[0].text, krv_error_message(KRV_ERROR_EOF, KrvPhase::Open));
        return;
    }
    ASSERT_TRUE(cut.split) << "a recording cut short plays its channels";
    ASSERT_EQ(cut.messages.size(), 1u);
    EXPECT_EQ(cut.messages[0].text, "The KRV File Parse Error (KRV_ERROR_EOF).....");

    const std::map<int, size_t> whole = wholeObjects(rec, packets);
    for (int c = 1; c <= 4; ++c) {
        SCOPED_TRACE("channel " + std::to_string(c));
        const std::string name = "Video" + std::to_string(c) + ".krv";
        const Channel a = readChannel(std::filesystem::path(full.result) / name);
        const Channel b = readChannel(std::filesystem::path(cut.result) / name);
        ASSERT_EQ(b.init, 1);
        EXPECT_EQ(b.packetError, 0);
        const size_t expected = whole.count(c + 1) ? whole.at(c + 1) : 0;
        ASSERT_EQ(b.objects.size(), expected);
        for (size_t i = 0; i < b.objects.size(); ++i) {
            EXPECT_EQ(b.objects[i].time, a.objects[i].time) << "frame " << i;
            EXPECT_EQ(b.objects[i].bytes, a.objects[i].bytes) << "frame " << i;
        }
        if (b.objects.empty())
            continue;
        // The channel's duration ends with its last whole frame, not the header's.
        KrvFilePtr fa(krv_open((std::filesystem::path(full.result) / name).string(), true));
        KrvFilePtr fb(krv_open((std::filesystem::path(cut.result) / name).string(), true));
        ASSERT_EQ(krv_init(fa.get()), 1);
        ASSERT_EQ(krv_init(fb.get()), 1);
        EXPECT_LT(fb->playDuration, fa->playDuration);
        EXPECT_GE(krv_play_length_ms(fb->playDuration, fb->preroll), b.objects.back().time);
        EXPECT_LE(krv_play_length_ms(fb->playDuration, fb->preroll), b.objects.back().time + 1000);
    }
    if (!HasFailure())
        std::filesystem::remove_all(work);
}

INSTANTIATE_TEST_SUITE_P(Rows, CutShort,
                         ::testing::Values(CutRow{"insidePacket", 5 * 32768 + 16000, 0},
                                           CutRow{"atPacketBoundary", 5 * 32768, 0},
                                           CutRow{"insidePacketHeader", 5 * 32768 + 6, 0},
                                           CutRow{"atSixtyPercent", 0, 0.6}, CutRow{"beforeAnyPacket", 0, 0},
                                           CutRow{"insideDataObjectHeader", -20, 0}),
                         [](const auto& info) { return std::string(info.param.name); });
