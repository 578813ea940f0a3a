// Fills 32768-byte data packets the way a continuous recorder does: payloads
// back to back with 17-byte headers, the object that does not fit split at the
// packet's end and continued in the next packet, at most 63 payloads a packet.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "byte_buffer.h"

namespace krvsynth {

constexpr size_t kPacketHeaderSize = 11;
constexpr size_t kPayloadHeaderSize = 17;
constexpr size_t kMaxPayloads = 63;

struct MediaObject {
    uint8_t stream = 0; // 1 = audio, 2-5 = video channels 1-4
    bool key = false;
    uint32_t presentationMs = 0;   // as written, preroll included
    std::span<const uint8_t> head; // written before body (the sequence header), may be empty
    std::span<const uint8_t> body;
    uint32_t size() const { return uint32_t(head.size() + body.size()); }
};

struct PayloadInfo {
    size_t headerPos = 0; // offset of the payload header in the packet
    uint8_t stream = 0;
    uint32_t objectSize = 0;
    uint32_t offset = 0; // offset into the media object
    uint32_t length = 0;
};

class PacketPacker {
public:
    // Receives every finished packet, in order, before it is dropped.
    using Sink =
        std::function<void(uint64_t index, std::span<uint8_t> packet, const std::vector<PayloadInfo>& payloads)>;

    // `prerollMs`: the recording's preroll; a packet is sent that long before the
    // presentation time its first payload carries, as the recorder sends it.
    PacketPacker(Sink sink, uint32_t prerollMs);

    void add(const MediaObject& object);
    // Writes the open packet, zero-padded.
    void finish();

    uint64_t packetCount() const { return packets_; }
    // Objects whose bytes ended up in two packets, and in three or more.
    uint64_t spanningTwo() const { return spanTwo_; }
    uint64_t spanningThree() const { return spanThree_; }

private:
    void flush();
    void copyObjectBytes(const MediaObject& object, uint32_t offset, uint32_t length);

    Sink sink_;
    uint32_t prerollMs_;
    std::array<uint8_t, 32768> packet_{};
    size_t used_ = kPacketHeaderSize;
    std::vector<PayloadInfo> payloads_;
    uint32_t sendTime_ = 0;
    uint32_t lastTime_ = 0;
    std::array<uint8_t, 128> objectNumbers_{};
    uint64_t packets_ = 0;
    uint64_t spanTwo_ = 0;
    uint64_t spanThree_ = 0;
};

} // namespace krvsynth
