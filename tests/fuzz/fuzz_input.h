// What the fuzz targets share: fuzz bytes put behind a valid header in the recorder's layout so every run gets past
// the header to the code under test.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "split_fixture.h"

namespace fuzz {

// A recording announcing `packets` data packets, holding `size` bytes of
// `data` after its header (zero-filled up to `fill` bytes when that is more).
inline krvtest::Bytes behindHeader(const uint8_t* data, size_t size, uint64_t packets, size_t fill = 0)
{
    krvtest::RecorderLayout layout;
    layout.packets = packets;
    krvtest::Bytes file = krvtest::recorderHeader(layout);
    const size_t header = file.size();
    file.resize(header + std::max(size, fill), 0);
    std::copy(data, data + size, file.begin() + long(header));
    return file;
}

} // namespace fuzz
