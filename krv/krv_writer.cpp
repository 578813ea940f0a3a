#include "krv/krv_writer.h"

#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "krv/krv_io.h"

namespace {

constexpr uint32_t kHeader = kMultiPayloadHeaderSize;      // 17
constexpr uint32_t kPacketHeader = kMultiPacketHeaderSize; // 11
// The single-payload form drops the payload flags byte and the payload length.
constexpr uint32_t kSingleFormSaving = 3;

uint32_t lowered(uint64_t value, uint32_t by)
{
    value = value > by ? value - by : 0;
    return value > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(value);
}

bool isVideo(const KrvPayload& p)
{
    return p.streamNumber >= 2 && p.streamNumber <= 5;
}

} // namespace

int KrvPacketBatch::take(std::vector<uint8_t>& packet)
{
    std::vector<uint8_t> next;
    if (!spare_.empty()) {
        next = std::move(spare_.back());
        spare_.pop_back();
    }
    next.resize(packet.size());
    full_.push_back(std::move(packet));
    packet = std::move(next);
    return full_.size() >= kBatchPackets ? flush() : 0;
}

int KrvPacketBatch::flush()
{
    iovec parts[kBatchPackets];
    size_t first = 0; // packets written whole
    size_t done = 0;  // bytes of full_[first] written
    while (first < full_.size()) {
        int count = 0;
        for (size_t i = first; i < full_.size() && count < int(kBatchPackets); ++i, ++count) {
            const size_t skip = i == first ? done : 0;
            parts[count] = {full_[i].data() + skip, full_[i].size() - skip};
        }
        const ssize_t n = writev(fd_, parts, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            failed_ = true;
            return KRV_ERROR_IO;
        }
        for (size_t left = size_t(n); left > 0 && first < full_.size();) {
            const size_t step = std::min(left, full_[first].size() - done);
            done += step;
            left -= step;
            if (done == full_[first].size()) {
                ++first;
                done = 0;
            }
        }
    }
    for (std::vector<uint8_t>& written : full_)
        spare_.push_back(std::move(written));
    full_.clear();
    return 0;
}

void krv_out_packet_clear(KrvPacket& packet)
{
    if (packet.buffer.size() < kPacketSize)
        packet.buffer.resize(kPacketSize);
    if (packet.payloads.size() < kPayloadSlots)
        packet.payloads.resize(kPayloadSlots);
    packet.payloadCapacity = kPayloadCapacity;
    packet.payloadCount = 0;
    packet.payloadDataLength = 0;
    packet.paddingLength = 0;
    packet.sendTime = 0;
    packet.duration = 0;
}

void krv_out_packet_append(KrvPacket& packet, const KrvMediaObject& object, uint32_t offset, const uint8_t* bytes,
                           uint32_t length)
{
    uint8_t* h = packet.buffer.data() + kPacketHeader + packet.payloadDataLength;
    h[0] = uint8_t((object.streamNumber & 0x7F) | (object.keyFrame ? 0x80 : 0));
    h[1] = object.objectNumber;
    krv_put_u32(h + 2, offset);
    h[6] = kReplicatedDataLength;
    krv_put_u32(h + 7, object.size);
    krv_put_u32(h + 11, 0); // presentation time: set when the packet is written
    krv_put_u16(h + 15, uint16_t(length));
    if (length)
        std::memcpy(h + kHeader, bytes, length);

    KrvPayload& p = packet.payloads[packet.payloadCount++];
    p = KrvPayload{};
    p.streamNumber = object.streamNumber;
    p.keyFrame = object.keyFrame;
    p.mediaObjectNumber = object.objectNumber;
    p.offset = offset;
    p.presentationTime = object.presentationTime;
    p.replicatedDataLength = kReplicatedDataLength;
    p.mediaObjectSize = object.size;
    p.payloadLength = length;
    p.header = h;
    p.replicatedData = h + 7;
    p.data = h + kHeader;
    packet.payloadDataLength += kHeader + length;
}

int krv_pack_object(const KrvChannelWriter& writer, KrvFile& out, KrvPacket& packet, const KrvMediaObject& object)
{
    const uint32_t capacity = uint32_t(packet.buffer.size());
    const uint32_t length = object.size;
    const uint32_t used = krv_out_packet_used(packet);
    int r = 0;

    if (uint64_t(used) + length + kHeader + kPacketHeader <= capacity) {
        krv_out_packet_append(packet, object, 0, object.data, length);
        if (krv_out_packet_used(packet) + kPacketHeader == capacity || packet.payloadCount >= kPayloadCapacity)
            r = krv_write_packet(writer, out, packet);
        return r < 0 ? r : 0;
    }

    // Split: the first fragment completes the open packet when more than a
    // payload header's worth of room is left, else the packet goes out as is.
    uint32_t written = 0;
    const uint32_t room = capacity - used - kPacketHeader;
    if (room > kHeader) {
        written = room - kHeader;
        krv_out_packet_append(packet, object, 0, object.data, written);
    }
    if ((r = krv_write_packet(writer, out, packet)) < 0)
        return r;
    while (length - written > kFragmentCapacity) {
        krv_out_packet_append(packet, object, written, object.data + written, kFragmentCapacity);
        written += kFragmentCapacity;
        if ((r = krv_write_packet(writer, out, packet)) < 0)
            return r;
    }
    krv_out_packet_append(packet, object, written, object.data + written, length - written);
    if (krv_out_packet_used(packet) + kPacketHeader == capacity)
        r = krv_write_packet(writer, out, packet);
    return r < 0 ? r : 0;
}

int krv_write_packet(const KrvChannelWriter& writer, KrvFile& out, KrvPacket& packet)
{
    const uint16_t count = packet.payloadCount;
    if (count == 0)
        return 0;
    if (!out.io.write && !writer.batch)
        return KRV_ERROR_INTERNAL;
    const uint32_t capacity = uint32_t(packet.buffer.size());
    const uint32_t used = krv_out_packet_used(packet);
    uint8_t* buf = packet.buffer.data();

    // The send time is the first payload's time; A/V-sync files go by the
    // first video payload so that audio does not pull the packet earlier.
    const KrvPayload* timing = &packet.payloads[0];
    if (writer.avSync) {
        for (uint16_t i = 0; i < count; ++i) {
            if (isVideo(packet.payloads[i])) {
                timing = &packet.payloads[i];
                break;
            }
        }
    }
    if (out.packetsWritten == 0 && timing->presentationTime > kRebaseThresholdMs) {
        out.timeRebased = true;
        out.rebaseOffset = timing->presentationTime - kRebasedFirstSendMs;
    }
    const uint32_t sendTime = lowered(timing->presentationTime, out.rebaseOffset);

    const uint32_t first = packet.payloads[0].presentationTime;
    uint32_t last = packet.payloads[count - 1].presentationTime;
    for (uint16_t i = count; i-- > 1;) {
        if (isVideo(packet.payloads[i])) {
            last = packet.payloads[i].presentationTime;
            break;
        }
    }
    const uint16_t duration = last > first ? uint16_t(last - first) : 0;

    for (uint16_t i = 0; i < count; ++i) {
        const KrvPayload& p = packet.payloads[i];
        krv_put_u32(p.header + 11, lowered(uint64_t(p.presentationTime) + out.preroll, out.rebaseOffset));
        if (writer.carriesAudio && i > 0 && p.streamNumber == 1 && out.audioPositions.size() < kMaxAudioPositions) {
            const uint64_t position = out.bytesWritten + uint64_t(p.header - buf);
            if (position <= 0xFFFFFFFFu)
                out.audioPositions.push_back(uint32_t(position));
        }
    }
    out.audioPositionCount = uint32_t(out.audioPositions.size());

    uint32_t padding = capacity - used - kPacketHeader;
    if (count == 1) {
        // Single-payload form: no payload flags byte, no payload length.
        const uint32_t length = packet.payloads[0].payloadLength;
        std::memmove(buf + kSinglePacketHeaderSize, buf + kPacketHeader, kSinglePayloadHeaderSize);
        std::memmove(buf + kSinglePacketHeaderSize + kSinglePayloadHeaderSize, buf + kPacketHeader + kHeader, length);
        padding += kSingleFormSaving;
        buf[0] = kWrittenLengthTypeFlags & ~1u;
    } else {
        buf[0] = kWrittenLengthTypeFlags;
        buf[10] = uint8_t(kWrittenPayloadLengthType | count);
    }
    std::memset(buf + capacity - padding, 0, padding);
    buf[1] = kWrittenPropertyFlags;
    krv_put_u16(buf + 2, uint16_t(padding));
    krv_put_u32(buf + 4, sendTime);
    krv_put_u16(buf + 8, duration);

    if (writer.batch) {
        if (const int r = writer.batch->take(packet.buffer); r < 0)
            return r;
    } else if (out.io.write(out.io.context, buf, capacity) != int64_t(capacity)) {
        return KRV_ERROR_IO;
    }
    out.bytesWritten += capacity;
    out.fileSize = out.bytesWritten;
    out.packetsWritten += 1;
    out.sendDurationMs = sendTime + duration;
    out.packetSendTimes.push_back(sendTime / 1000.0);
    out.packetDurations.push_back(duration / 1000.0);
    krv_out_packet_clear(packet);
    return count;
}
