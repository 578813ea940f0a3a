// Media objects put back together from their payloads. An object larger than
// its payload goes on at the start of the next packet (and the one after);
// the reader needs the saved header of the first fragment to parse those
// continuations. The splitter, the range reader and the facts walk all use
// this, so they agree on what a whole object is.
#pragma once

#include <cstdint>
#include <vector>

#include "krv/krv_types.h"

// Media objects above this size are refused rather than reassembled.
inline constexpr uint32_t kMaxMediaObjectSize = 64u << 20;

// Header values of a media object, kept while its bytes are collected.
struct KrvObjectMeta {
    uint8_t streamNumber = 0;
    bool keyFrame = false;
    uint8_t objectNumber = 0;      // low byte of the media object number
    uint32_t presentationTime = 0; // ms, preroll subtracted
};

KrvObjectMeta krv_object_meta(const KrvPayload& payload);

// A whole object; `data` is valid until the assembler is next called.
struct KrvWholeObject {
    KrvObjectMeta meta;
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    int tag = 0; // what the caller gave start() for it
};

// True when `length` bytes at `p` lie inside the packet's buffer.
bool krv_inside_packet(const KrvPacket& packet, const uint8_t* p, uint64_t length);

// The checks every payload of a recording passes before it is used: stream
// number 1-5 (KRV_ERROR_INVALID_STREAM_NUMBER) and bytes inside the packet
// (KRV_ERROR_INVALID_MULTIPAYLOAD_SIZE). 0 when it passes.
int krv_check_payload(const KrvPacket& packet, const KrvPayload& payload);

class KrvObjectAssembler {
public:
    // What krv_get_packet needs for the next packet.
    bool busy() const { return busy_; }
    const KrvSavedHeader* saved() const { return &saved_; }

    // A payload that begins an object (offset 0) while not busy. 1: the payload
    // is the whole object, in `out`; 0: the object goes on in the next packet
    // and is kept with `tag`; or a negative KrvError.
    int start(const KrvPacket& packet, const KrvPayload& payload, int tag, KrvWholeObject& out);

    // The payload that continues the kept object. 1: the object is complete,
    // in `out`; 0: more is to come; or a negative KrvError. The last packet of
    // the data may hold more than the object needs when it holds only this
    // payload (`lastPacket`, `count`: payloads in the packet).
    int resume(const KrvPacket& packet, const KrvPayload& payload, bool lastPacket, uint16_t count,
               KrvWholeObject& out);

    // Drops the object being collected.
    void reset();

private:
    bool busy_ = false;
    KrvSavedHeader saved_{};
    KrvObjectMeta first_;
    int tag_ = 0;
    uint32_t objectSize_ = 0;
    uint32_t received_ = 0;
    std::vector<uint8_t> object_; // reused for every object
};
