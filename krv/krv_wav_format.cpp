#include "krv/krv_wav_format.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kMaxChunks = 64;
constexpr uint32_t kFmtBytesRead = 20; // up to the ADPCM samples per block
constexpr uint32_t kAdpcmBlockHeaderPerChannel = 7;

uint32_t U16(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}
uint32_t U32(const uint8_t* p)
{
    return U16(p) | U16(p + 2) << 16;
}

} // namespace

KrvWavFormat krv_read_wav_format(const std::string& path)
{
    KrvWavFormat info;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return info;
    uint8_t head[12];
    if (std::fread(head, 1, sizeof head, f) == sizeof head && std::memcmp(head, "RIFF", 4) == 0 &&
        std::memcmp(head + 8, "WAVE", 4) == 0) {
        long offset = sizeof head;
        for (int chunks = 0; chunks < kMaxChunks; ++chunks) {
            uint8_t chunk[8 + kFmtBytesRead] = {};
            if (std::fseek(f, offset, SEEK_SET) != 0 || std::fread(chunk, 1, 8, f) != 8)
                break;
            const uint32_t size = U32(chunk + 4);
            if (std::memcmp(chunk, "fmt ", 4) == 0) {
                const size_t want = std::min(size, kFmtBytesRead);
                if (size >= 2 && std::fread(chunk + 8, 1, want, f) == want) {
                    const uint8_t* fmt = chunk + 8;
                    info.formatTag = static_cast<int>(U16(fmt));
                    const uint32_t channels = U16(fmt + 2);
                    const uint32_t blockAlign = U16(fmt + 12);
                    if (info.formatTag == kWaveFormatAdpcm && size >= kFmtBytesRead && channels != 0 &&
                        blockAlign > kAdpcmBlockHeaderPerChannel * channels) {
                        info.samplesPerBlock = U16(fmt + 18);
                        info.parserSamplesPerBlock = ((blockAlign - channels * kAdpcmBlockHeaderPerChannel) / 2) * 2;
                    }
                }
                break;
            }
            if (size > 0x7fffffffu - 9 - static_cast<uint32_t>(offset))
                break;
            offset += 8 + static_cast<long>(size) + (size & 1);
        }
    }
    std::fclose(f);
    return info;
}
