// stdio callbacks of KrvIo and the exact read every parser step uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "krv/krv_types.h"

// Callbacks over an open FILE* (context).
KrvIo krv_stdio_io(FILE* stream);

// Reads exactly `size` bytes: KRV_ERROR_EOF when the file ends first,
// KRV_ERROR_IO on a read error, KRV_ERROR_INTERNAL without a read callback;
// 0 on success.
int krv_read_exact(const KrvIo& io, uint8_t* buffer, size_t size);

// Little-endian field access.
inline uint16_t krv_u16(const uint8_t* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t krv_u32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t krv_u64(const uint8_t* p)
{
    return uint64_t(krv_u32(p)) | (uint64_t(krv_u32(p + 4)) << 32);
}
inline void krv_put_u16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void krv_put_u32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
inline void krv_put_u64(uint8_t* p, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
