// The burn-in encoder's ways to fail: each names the camera and the cause,
// and never hands on a packet for a frame it could not make.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "burn_in_encoder.h"
#include "krv/krv_splitter.h"

namespace vedra::test {
namespace {

TEST(BurnInEncoder, FailsWithTheCameraAndTheCause)
{
    const KrvSequenceHeader header = krv_sequence_header(352, 288);
    const std::vector<uint8_t> garbage(600, 0x5a);
    struct Row {
        const char* name;
        uint32_t width, height;
        ExportFormat format;
        const char* error;
    };
    const Row rows[] = {
        {"an odd picture size", 352, 287, ExportFormat::Mkv, "channel 3: its picture size 352x287 is not even"},
        {"a first frame that gives no picture", 352, 288, ExportFormat::Mkv, "channel 3's frame at 00:00:01.000"},
        {"the same in AVI", 352, 288, ExportFormat::Avi, "channel 3's frame at 00:00:01.000"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        BurnInEncoder encoder;
        std::string error;
        int packets = 0;
        const BurnInEncoder::Output out = [&](const AVPacket&, uint32_t, std::string&) { return ++packets > 0; };
        const bool ok =
            encoder.Open({3, row.width, row.height, 40.0, {header.begin(), header.end()}, row.format, 0, 500}, error) &&
            encoder.Push(garbage.data(), uint32_t(garbage.size()), 1500, out, error) && encoder.Finish(out, error);
        EXPECT_FALSE(ok);
        EXPECT_NE(error.find(row.error), std::string::npos) << error;
        EXPECT_EQ(packets, 0);
    }
}

} // namespace
} // namespace vedra::test
