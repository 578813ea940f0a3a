// The WAV header of the audio file.
#include <gtest/gtest.h>

#include <cstring>

#include "krv/krv_io.h"
#include "krv/krv_wav.h"

namespace {

KrvWaveFormat adpcm(uint8_t* extra, uint16_t extraSize = 32)
{
    KrvWaveFormat f;
    f.formatTag = 2;
    f.channels = 1;
    f.samplesPerSec = 8000;
    f.avgBytesPerSec = 4096;
    f.blockAlign = 256;
    f.bitsPerSample = 4;
    f.extraSize = extraSize;
    f.extraData = extra;
    krv_put_u16(extra, 500); // samples per block
    krv_put_u16(extra + 2, 7);
    for (int i = 4; i < 40; ++i)
        extra[i] = uint8_t(i);
    return f;
}

} // namespace

TEST(WriterWav, HeaderAsCreated)
{
    uint8_t extra[40];
    const KrvWaveFormat f = adpcm(extra);
    const KrvWavHeader h = krv_wav_header(&f);
    EXPECT_EQ(std::memcmp(h.data(), "RIFF", 4), 0);
    EXPECT_EQ(krv_u32(h.data() + 4), 0u);
    EXPECT_EQ(std::memcmp(h.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(krv_u32(h.data() + 16), 50u);
    EXPECT_EQ(krv_u16(h.data() + 20), 2u);
    EXPECT_EQ(krv_u16(h.data() + 22), 1u);
    EXPECT_EQ(krv_u32(h.data() + 24), 8000u);
    EXPECT_EQ(krv_u32(h.data() + 28), 4096u);
    EXPECT_EQ(krv_u16(h.data() + 32), 256u);
    EXPECT_EQ(krv_u16(h.data() + 34), 4u);
    EXPECT_EQ(krv_u16(h.data() + 36), 32u);
    EXPECT_EQ(std::memcmp(h.data() + 38, extra, 32), 0);
    EXPECT_EQ(std::memcmp(h.data() + 70, "fact", 4), 0);
    EXPECT_EQ(krv_u32(h.data() + 74), 4u);
    EXPECT_EQ(std::memcmp(h.data() + 82, "data", 4), 0);
}

TEST(WriterWav, LargerExtraDataIsCutToTheChunk)
{
    uint8_t extra[40];
    const KrvWaveFormat f = adpcm(extra, 40);
    const KrvWavHeader h = krv_wav_header(&f);
    EXPECT_EQ(krv_u16(h.data() + 36), 32u);
    EXPECT_EQ(std::memcmp(h.data() + 70, "fact", 4), 0);
}

struct FinishRow {
    const char* name;
    uint32_t dataSize;
    uint64_t sendDuration; // 100-ns units
    uint32_t avgBytes;
    uint32_t samples;
};

class WriterWavFinish : public ::testing::TestWithParam<FinishRow> {};

TEST_P(WriterWavFinish, Sizes)
{
    const FinishRow& row = GetParam();
    uint8_t extra[40];
    const KrvWaveFormat f = adpcm(extra);
    KrvWavHeader h = krv_wav_header(&f);
    krv_finish_wav(h, row.dataSize, row.sendDuration);
    EXPECT_EQ(krv_u32(h.data() + 4), row.dataSize + 82);
    EXPECT_EQ(krv_u32(h.data() + 28), row.avgBytes);
    EXPECT_EQ(krv_u32(h.data() + 78), row.samples);
    EXPECT_EQ(krv_u32(h.data() + 86), row.dataSize);
}

INSTANTIATE_TEST_SUITE_P(Rows, WriterWavFinish,
                         ::testing::Values(FinishRow{"million", 1000000, 100000000, 100000, (1000000 / 256) * 500},
                                           FinishRow{"fractionalSecondsTruncated", 12288, 39990000, 4096, 48 * 500},
                                           FinishRow{"zeroSendDurationKeepsStreamRate", 12288, 0, 4096, 48 * 500},
                                           FinishRow{"belowOneSecondKeepsStreamRate", 12288, 9999999, 4096, 48 * 500},
                                           FinishRow{"empty", 0, 50000000, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WriterWav, NoAudioStreamNoBlockAlignment)
{
    KrvWavHeader h = krv_wav_header(nullptr);
    krv_finish_wav(h, 1000, 10000000);
    EXPECT_EQ(krv_u32(h.data() + 78), 0u) << "no division by a zero block alignment";
    EXPECT_EQ(krv_u32(h.data() + 4), 1082u);
}
