#include "krv/krv_io.h"

namespace {

int64_t stdio_read(void* context, uint8_t* buffer, size_t size)
{
    FILE* f = static_cast<FILE*>(context);
    size_t n = fread(buffer, 1, size, f);
    if (n == 0)
        return ferror(f) ? -1 : 0;
    return int64_t(n);
}

int64_t stdio_write(void* context, const uint8_t* buffer, size_t size)
{
    return int64_t(fwrite(buffer, 1, size, static_cast<FILE*>(context)));
}

// 64-bit offsets; 0 on success like fseek.
int64_t stdio_seek(void* context, uint64_t offset)
{
    if (offset > uint64_t(INT64_MAX))
        return -1;
    return fseeko(static_cast<FILE*>(context), off_t(offset), SEEK_SET);
}

} // namespace

KrvIo krv_stdio_io(FILE* stream)
{
    KrvIo io;
    io.read = stdio_read;
    io.write = stdio_write;
    io.seek = stdio_seek;
    io.context = stream;
    return io;
}

int krv_read_exact(const KrvIo& io, uint8_t* buffer, size_t size)
{
    if (!io.read)
        return KRV_ERROR_INTERNAL;
    size_t got = 0;
    while (got < size) {
        int64_t r = io.read(io.context, buffer + got, size - got);
        if (r == 0)
            return KRV_ERROR_EOF;
        if (r < 0)
            return KRV_ERROR_IO;
        if (uint64_t(r) > size - got)
            return KRV_ERROR_IO; // a callback claiming more than asked
        got += size_t(r);
    }
    return 0;
}
