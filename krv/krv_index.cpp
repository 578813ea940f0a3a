#include "krv/krv_index.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "krv/krv_guid.h"
#include "krv/krv_io.h"

namespace {

// First packet m >= from with P + S[m] < l <= P + S[m] + D[m], or -1.
// `minStartFrom[m]` (lowest P + S over m..end) ends the search as soon as no
// later packet can start before l, so a whole index costs about one pass.
long findPacket(const std::vector<double>& start, const std::vector<double>& end,
                const std::vector<double>& minStartFrom, size_t from, double l)
{
    for (size_t m = from; m < start.size(); ++m) {
        if (minStartFrom[m] >= l)
            return -1;
        if (start[m] < l && l <= end[m])
            return long(m);
    }
    return -1;
}

} // namespace

std::unique_ptr<KrvIndex> krv_build_index(const KrvFile& out, const std::vector<double>& sendTimes,
                                          const std::vector<double>& durations, bool avSync)
{
    std::unique_ptr<KrvIndex> index(new (std::nothrow) KrvIndex);
    if (!index)
        return nullptr;
    index->guid = avSync ? kGuidSimpleIndexKrv : kGuidSimpleIndex;
    index->fileId = kGuidKrvFileId;
    index->entryTimeInterval = kIndexInterval;
    index->maxPacketCount = kIndexMaxPacketCount;
    const uint32_t count = uint16_t((out.playDuration + kIndexInterval - 1) / kIndexInterval);
    index->entryCount = count;
    index->size = kIndexObjectFixedSize + kIndexEntrySize * count;
    index->entries.assign(count, KrvIndexEntry{});

    const size_t n = std::min(sendTimes.size(), durations.size());
    if (count == 0 || n == 0)
        return index;

    const double preroll = double(out.preroll) / 1000.0;
    std::vector<double> start(n), end(n), minStartFrom(n);
    for (size_t m = 0; m < n; ++m) {
        start[m] = preroll + sendTimes[m];
        end[m] = start[m] + durations[m];
    }
    minStartFrom[n - 1] = start[n - 1];
    for (size_t m = n - 1; m-- > 0;)
        minStartFrom[m] = std::min(start[m], minStartFrom[m + 1]);

    // Every second up to the end of the first packet points at packet 0.
    const double firstEnd = std::floor(end[0]);
    const uint32_t u = firstEnd < 0 ? 0 : firstEnd >= double(count) ? count - 1 : uint32_t(firstEnd);
    for (uint32_t l = 0; l <= u; ++l)
        index->entries[l] = {0, 1};
    uint32_t set = u + 1;

    size_t last = 0;
    for (uint32_t l = u + 1; l < count; ++l) {
        long m = findPacket(start, end, minStartFrom, last, double(l));
        if (m < 0)
            continue; // stays packet 0, count 0
        index->entries[l] = {uint32_t(m), 1};
        last = size_t(m);
        ++set;
    }
    if (set < count) {
        for (size_t m = last; m < n; ++m) {
            if (start[m] < double(count) && end[m] < double(count)) {
                index->entries[set] = {uint32_t(m), 1};
                break;
            }
        }
    }
    return index;
}

std::vector<uint8_t> krv_index_bytes(const KrvIndex& index)
{
    const size_t entries = std::min<size_t>(index.entryCount, index.entries.size());
    std::vector<uint8_t> bytes(kIndexObjectFixedSize + kIndexEntrySize * entries);
    uint8_t* p = bytes.data();
    krv_guid_write(index.guid, p);
    krv_put_u64(p + 16, bytes.size());
    krv_guid_write(index.fileId, p + 24);
    krv_put_u64(p + 40, index.entryTimeInterval);
    krv_put_u32(p + 48, index.maxPacketCount);
    krv_put_u32(p + 52, uint32_t(entries));
    for (size_t i = 0; i < entries; ++i) {
        krv_put_u32(p + 56 + 6 * i, index.entries[i].packetNumber);
        krv_put_u16(p + 60 + 6 * i, index.entries[i].packetCount);
    }
    return bytes;
}

int krv_write_index(KrvFile& out, const std::vector<uint8_t>& bytes)
{
    if (!out.io.write || !out.io.seek)
        return KRV_ERROR_INTERNAL;
    if (out.io.seek(out.io.context, out.bytesWritten) != 0)
        return KRV_ERROR_IO;
    if (out.io.write(out.io.context, bytes.data(), bytes.size()) != int64_t(bytes.size()))
        return KRV_ERROR_IO;
    return 0;
}
