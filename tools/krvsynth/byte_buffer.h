// Little-endian byte building for the container structures krvsynth writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

namespace krvsynth {

using Bytes = std::vector<uint8_t>;

inline void putU8(Bytes& b, uint8_t v)
{
    b.push_back(v);
}

inline void putU16(Bytes& b, uint16_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

inline void putU32(Bytes& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}

inline void putU64(Bytes& b, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}

inline void putBytes(Bytes& b, std::span<const uint8_t> src)
{
    b.insert(b.end(), src.begin(), src.end());
}

inline void putAscii(Bytes& b, std::string_view s)
{
    b.insert(b.end(), s.begin(), s.end());
}

// Writes into an existing buffer; the caller guarantees the range.
inline void setU16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

inline void setU32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

inline void setU64(uint8_t* p, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

inline uint32_t getU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace krvsynth
