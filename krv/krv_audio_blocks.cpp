#include "krv/krv_audio_blocks.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8_t kAudioMarker[2] = {0xE1, 0x1E};

} // namespace

bool krv_unpack_audio(const uint8_t* data, uint32_t size, uint16_t blockAlign, std::vector<uint8_t>& out,
                      uint32_t& unpacked)
{
    unpacked = 0;
    if (blockAlign == 0 || size < 2)
        return false;
    const uint8_t* marker = std::search(data, data + size, kAudioMarker, kAudioMarker + 2);
    if (marker == data + size)
        return false;
    const uint32_t start = uint32_t(marker - data);
    const uint32_t blocks = size / (uint32_t(blockAlign) + 2);
    if (out.size() < size)
        out.resize(size);
    for (uint32_t k = 1; k <= blocks; ++k) {
        const uint64_t at = uint64_t(start) + 2ull * k + uint64_t(k - 1) * blockAlign;
        if (at >= size)
            break;
        const uint32_t take = uint32_t(std::min<uint64_t>(blockAlign, size - at));
        std::memcpy(out.data() + unpacked, data + at, take);
        unpacked += take;
    }
    return true;
}
