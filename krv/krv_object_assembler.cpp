#include "krv/krv_object_assembler.h"

#include <cstring>
#include <new>

#include "krv/krv_io.h"

KrvObjectMeta krv_object_meta(const KrvPayload& p)
{
    return {p.streamNumber, p.keyFrame != 0, uint8_t(p.mediaObjectNumber), p.presentationTime};
}

bool krv_inside_packet(const KrvPacket& packet, const uint8_t* p, uint64_t length)
{
    const uint8_t* begin = packet.buffer.data();
    const uint8_t* end = begin + packet.buffer.size();
    return p && p >= begin && p <= end && length <= uint64_t(end - p);
}

int krv_check_payload(const KrvPacket& packet, const KrvPayload& p)
{
    if (p.streamNumber < 1 || p.streamNumber > 5)
        return KRV_ERROR_INVALID_STREAM_NUMBER;
    if (p.payloadLength && !krv_inside_packet(packet, p.data, p.payloadLength))
        return KRV_ERROR_INVALID_MULTIPAYLOAD_SIZE;
    return 0;
}

int KrvObjectAssembler::start(const KrvPacket& packet, const KrvPayload& p, int tag, KrvWholeObject& out)
{
    if (p.mediaObjectSize < p.payloadLength)
        return KRV_ERROR_INVALID_MULTIPAYLOAD_SIZE;
    if (p.mediaObjectSize == p.payloadLength) {
        out = {krv_object_meta(p), p.data, p.payloadLength, tag};
        return 1;
    }

    // The object continues in the next packet.
    if (p.mediaObjectSize > kMaxMediaObjectSize || !krv_inside_packet(packet, p.header, kSavedHeaderSize - 5))
        return KRV_ERROR_INVALID_MULTIPAYLOAD_SIZE;
    try {
        if (object_.size() < p.mediaObjectSize)
            object_.resize(p.mediaObjectSize);
    } catch (const std::bad_alloc&) {
        return KRV_ERROR_OUTOFMEM;
    }
    if (p.payloadLength)
        std::memcpy(object_.data(), p.data, p.payloadLength);
    busy_ = true;
    first_ = krv_object_meta(p);
    tag_ = tag;
    objectSize_ = p.mediaObjectSize;
    received_ = p.payloadLength;
    saved_ = {};
    const bool multiple = packet.lengthTypeFlags & 1;
    saved_.bytes[0] = uint8_t(multiple ? kMultiPayloadHeaderSize : kSinglePayloadHeaderSize);
    std::memcpy(saved_.bytes + 1, p.header, 15);
    krv_put_u32(saved_.bytes + 16, received_);
    return 0;
}

int KrvObjectAssembler::resume(const KrvPacket& packet, const KrvPayload& p, bool lastPacket, uint16_t count,
                               KrvWholeObject& out)
{
    // The continuation's own header must describe the same object.
    const uint32_t announced = krv_inside_packet(packet, p.header, 11) ? krv_u32(p.header + 7) : p.mediaObjectSize;
    if (announced != objectSize_)
        return KRV_ERROR_INVALID_MULTIPAYLOAD_SIZE;
    uint32_t length = p.payloadLength;
    if (uint64_t(received_) + length > objectSize_) {
        if (!lastPacket || count != 1)
            return KRV_ERROR_INVALID_MULTIPAYLOAD_SIZE;
        length = objectSize_ - received_;
    }
    if (length)
        std::memcpy(object_.data() + received_, p.data, length);
    received_ += length;
    krv_put_u32(saved_.bytes + 16, received_);
    if (received_ < objectSize_)
        return 0;
    busy_ = false;
    saved_ = {};
    out = {first_, object_.data(), objectSize_, tag_};
    return 1;
}

void KrvObjectAssembler::reset()
{
    busy_ = false;
    saved_ = {};
    objectSize_ = 0;
    received_ = 0;
}
