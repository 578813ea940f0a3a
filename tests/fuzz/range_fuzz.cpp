// libFuzzer target for the readers that jump between packets: the input is a
// range and data packets, put behind a valid header in the recorder's layout.
// The range reader looks for key frames back and forth and reads the range;
// then the facts walk reads every packet, skipping damaged ones.
//   byte 0: bits 0-3 channels wanted, bit 4 audio, bit 5 one packet more
//           announced than given (a recording cut short)
//   bytes 1-2, 3-4: from and the range's length, 10 ms units (length 0: to the end)
//   then the packets; a last partial packet stays partial
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"
#include "krv/krv_facts.h"
#include "krv/krv_range_reader.h"

namespace {

constexpr size_t kMaxPackets = 16;
constexpr size_t kLead = 5;
constexpr int kMaxObjects = 100000;

KrvFilePtr openMemory(krvtest::MemoryFile& memory)
{
    memory.pos = 0;
    KrvFilePtr file(krv_open_io(memory.io(), "fuzz", &krv_quiet_sink()));
    if (file && krv_init(file.get()) < 0)
        file.reset();
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kLead)
        return 0;
    KrvRange range;
    range.channels = data[0] & 0x0F;
    range.audio = data[0] & 0x10;
    range.fromMs = int64_t(data[1] | data[2] << 8) * 10;
    const int64_t length = int64_t(data[3] | data[4] << 8) * 10;
    if (length)
        range.toMs = range.fromMs + length;
    const bool cut = data[0] & 0x20;
    data += kLead;
    size -= kLead;
    size = std::min(size, kMaxPackets * kPacketSize);

    krvtest::MemoryFile memory;
    memory.bytes = fuzz::behindHeader(data, size, (size + kPacketSize - 1) / kPacketSize + (cut ? 1 : 0));

    if (KrvFilePtr file = openMemory(memory)) {
        KrvRangeReader reader(file.get(), memory.bytes.size());
        if (reader.seek(range) == 1) {
            KrvRangeObject object;
            volatile uint32_t sum = 0;
            for (int n = 0; n < kMaxObjects && reader.next(object) > 0; ++n)
                if (object.size)
                    sum = sum + object.data[0] + object.data[object.size - 1];
            (void)sum;
            (void)reader.progress();
        }
    }
    if (KrvFilePtr file = openMemory(memory)) {
        KrvFacts facts;
        krv_gather_facts(file.get(), memory.bytes.size(), facts);
    }
    return 0;
}
