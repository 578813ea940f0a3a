// The recorder's audio objects: MS ADPCM blocks, each behind the two marker
// bytes E1 1E. Players and muxers want the bare blocks.
#pragma once

#include <cstdint>
#include <vector>

// Copies the blocks of an audio object without their markers to the start
// of `out` (grown when needed); `unpacked` = bytes copied. False when the
// object holds no marker (or the block alignment is 0): nothing to keep.
bool krv_unpack_audio(const uint8_t* data, uint32_t size, uint16_t blockAlign, std::vector<uint8_t>& out,
                      uint32_t& unpacked);
