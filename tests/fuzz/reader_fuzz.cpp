// libFuzzer target: the input is a whole recording. Open it, parse the header
// and read every packet, carrying a reassembly across packets the way the
// splitter does, so continuations are exercised too.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "krv/krv_io.h"
#include "krv/krv_log.h"
#include "krv/krv_reader.h"

namespace {

struct Memory {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

int64_t memory_read(void* context, uint8_t* buffer, size_t size)
{
    auto* m = static_cast<Memory*>(context);
    size_t left = m->pos < m->size ? m->size - m->pos : 0;
    size_t n = std::min(size, left);
    if (n)
        std::memcpy(buffer, m->data + m->pos, n);
    m->pos += n;
    return int64_t(n);
}

int64_t memory_seek(void* context, uint64_t offset)
{
    auto* m = static_cast<Memory*>(context);
    if (offset > SIZE_MAX)
        return -1;
    m->pos = size_t(offset);
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Memory memory{data, size, 0};
    KrvIo io;
    io.read = memory_read;
    io.seek = memory_seek;
    io.context = &memory;
    KrvFilePtr file(krv_open_io(io, "fuzz", &krv_quiet_sink()));
    if (!file || krv_init(file.get()) < 0)
        return 0;

    KrvPacketPtr packet(krv_packet_create(file.get(), true));
    if (!packet)
        return 0;
    KrvSavedHeader saved{};
    bool continuing = false;
    // Bounded so a huge announced packet count cannot run forever on EOF-free input.
    for (int n = 0; n < 4096; ++n) {
        krv_packet_reset(packet.get());
        int r = krv_get_packet(file.get(), packet.get(), continuing, &saved);
        if (r <= 0)
            break;
        const uint8_t* end = packet->buffer.data() + packet->buffer.size();
        volatile uint32_t sum = 0;
        for (int i = 0; i < packet->payloadCount; ++i) {
            const KrvPayload& p = packet->payloads[size_t(i)];
            if (p.payloadLength)
                sum = sum + p.data[0] + p.data[p.payloadLength - 1];
        }
        (void)sum;
        continuing = false;
        if (packet->payloadCount > 0) {
            const KrvPayload& last = packet->payloads[size_t(packet->payloadCount - 1)];
            if (last.mediaObjectSize > last.payloadLength && last.header && last.header + 15 <= end) {
                saved.bytes[0] = 17;
                std::memcpy(saved.bytes + 1, last.header, 15);
                krv_put_u32(saved.bytes + 16, last.payloadLength);
                continuing = true;
            }
        }
    }
    return 0;
}
