#include "krv/krv_wav.h"

#include <algorithm>
#include <cstring>

#include "krv/krv_io.h"

namespace {

constexpr uint16_t kFormatMsAdpcm = 2;
constexpr uint16_t kAdpcmBitsPerSample = 4;
constexpr uint32_t kFmtChunkSize = 50; // 18-byte WAVEFORMATEX + 32 extra bytes
constexpr uint32_t kFactChunkSize = 4;

} // namespace

KrvWavHeader krv_wav_header(const KrvWaveFormat* format)
{
    KrvWavHeader h{};
    uint8_t* p = h.data();
    std::memcpy(p + 0, "RIFF", 4);
    std::memcpy(p + 8, "WAVE", 4);
    std::memcpy(p + 12, "fmt ", 4);
    krv_put_u32(p + 16, kFmtChunkSize);
    krv_put_u16(p + 20, kFormatMsAdpcm);
    krv_put_u16(p + 34, kAdpcmBitsPerSample);
    std::memcpy(p + 70, "fact", 4);
    krv_put_u32(p + 74, kFactChunkSize);
    std::memcpy(p + 82, "data", 4);
    if (format) {
        krv_put_u16(p + 22, format->channels);
        krv_put_u32(p + 24, format->samplesPerSec);
        krv_put_u32(p + 28, format->avgBytesPerSec);
        krv_put_u16(p + 32, format->blockAlign);
        // The fmt chunk has room for 32 extra bytes; a larger size would make
        // readers take the fact chunk for coefficients.
        krv_put_u16(p + 36, std::min<uint16_t>(format->extraSize, kWavExtraBytes));
        if (format->extraData)
            std::memcpy(p + 38, format->extraData, std::min<size_t>(format->extraSize, kWavExtraBytes));
    }
    return h;
}

void krv_finish_wav(KrvWavHeader& header, uint32_t dataSize, uint64_t sendDuration)
{
    uint8_t* p = header.data();
    krv_put_u32(p + 4, dataSize + kWavRiffOverhead);
    const uint64_t seconds = sendDuration / 10000000u;
    if (seconds > 0)
        krv_put_u32(p + 28, uint32_t(dataSize / seconds));
    const uint16_t blockAlign = krv_u16(p + 32);
    const uint16_t samplesPerBlock = krv_u16(p + 38);
    krv_put_u32(p + kWavSampleCountOffset, blockAlign ? uint32_t((dataSize / blockAlign) * samplesPerBlock) : 0u);
    krv_put_u32(p + kWavDataSizeOffset, dataSize);
}
