#include "sequence_header.h"

namespace krvsynth {

SequenceHeader makeSequenceHeader(int width, int height)
{
    SequenceHeader h = {0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x20, 0x00, 0xC8,
                        0x88, 0xBA, 0x98, 0x51, 0x40, 0x43, 0xC1, 0x41, 0x83};
    const unsigned w = unsigned(width);
    const unsigned ht = unsigned(height);
    h[13] = uint8_t((h[13] & 0xF0) | ((w >> 9) & 0x0F));
    h[14] = uint8_t((w >> 1) & 0xFF);
    h[15] = uint8_t(((w & 1) << 7) | (h[15] & 0x40) | ((ht >> 7) & 0x3F));
    h[16] = uint8_t(((ht & 0x7F) << 1) | (h[16] & 0x01));
    return h;
}

} // namespace krvsynth
