#include "packet_packer.h"

#include <algorithm>
#include <cstring>

namespace krvsynth {

namespace {

constexpr uint8_t kLengthTypeFlags = 0x11; // multiple payloads, 16-bit padding length
constexpr uint8_t kPropertyFlags = 0x5D;   // 8-bit replicated length, 32-bit offset, 8-bit object number
constexpr uint8_t kPayloadLengthType = 0x80;

} // namespace

PacketPacker::PacketPacker(Sink sink, uint32_t prerollMs) : sink_(std::move(sink)), prerollMs_(prerollMs) {}

void PacketPacker::copyObjectBytes(const MediaObject& o, uint32_t offset, uint32_t length)
{
    uint8_t* dst = packet_.data() + used_;
    const size_t headSize = o.head.size();
    while (length > 0) {
        size_t n;
        if (offset < headSize) {
            n = std::min<size_t>(length, headSize - offset);
            std::memcpy(dst, o.head.data() + offset, n);
        } else {
            n = length;
            std::memcpy(dst, o.body.data() + (offset - headSize), n);
        }
        dst += n;
        offset += uint32_t(n);
        length -= uint32_t(n);
    }
}

void PacketPacker::add(const MediaObject& o)
{
    const uint32_t size = o.size();
    const uint8_t number = objectNumbers_[o.stream & 0x7F]++;
    uint32_t offset = 0;
    int pieces = 0;
    while (offset < size) {
        const size_t room = packet_.size() - used_;
        if (room < kPayloadHeaderSize + 1 || payloads_.size() == kMaxPayloads) {
            flush();
            continue;
        }
        const uint32_t length = uint32_t(std::min<size_t>(size - offset, room - kPayloadHeaderSize));
        if (payloads_.empty())
            sendTime_ = o.presentationMs > prerollMs_ ? o.presentationMs - prerollMs_ : 0;
        lastTime_ = o.presentationMs > prerollMs_ ? o.presentationMs - prerollMs_ : 0;

        uint8_t* h = packet_.data() + used_;
        h[0] = uint8_t((o.stream & 0x7F) | (o.key ? 0x80 : 0));
        h[1] = number;
        setU32(h + 2, offset);
        h[6] = 8;
        setU32(h + 7, size);
        setU32(h + 11, o.presentationMs);
        setU16(h + 15, uint16_t(length));
        payloads_.push_back(PayloadInfo{used_, uint8_t(o.stream & 0x7F), size, offset, length});
        used_ += kPayloadHeaderSize;
        copyObjectBytes(o, offset, length);
        used_ += length;
        offset += length;
        ++pieces;
        if (used_ == packet_.size())
            flush();
    }
    if (pieces == 2)
        ++spanTwo_;
    else if (pieces > 2)
        ++spanThree_;
}

void PacketPacker::flush()
{
    if (payloads_.empty())
        return;
    const size_t padding = packet_.size() - used_;
    std::fill(packet_.begin() + long(used_), packet_.end(), 0);
    uint8_t* p = packet_.data();
    p[0] = kLengthTypeFlags;
    p[1] = kPropertyFlags;
    setU16(p + 2, uint16_t(padding));
    setU32(p + 4, sendTime_);
    setU16(p + 8, uint16_t(lastTime_ > sendTime_ ? std::min<uint32_t>(lastTime_ - sendTime_, 0xFFFF) : 0));
    p[10] = uint8_t(kPayloadLengthType | payloads_.size());
    sink_(packets_, std::span<uint8_t>(packet_), payloads_);
    ++packets_;
    used_ = kPacketHeaderSize;
    payloads_.clear();
}

void PacketPacker::finish()
{
    flush();
}

} // namespace krvsynth
