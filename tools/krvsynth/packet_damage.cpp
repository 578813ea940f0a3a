#include "packet_damage.h"

#include "byte_buffer.h"

namespace krvsynth {

void PacketDamage::apply(std::span<uint8_t> packet, const std::vector<PayloadInfo>& payloads)
{
    if (!armed_ || applied_ || !wanted() || payloads.size() < 3)
        return;
    const PayloadInfo& victim = payloads[1];
    uint8_t* header = packet.data() + victim.headerPos;
    if (kind_ == Damage::Stream6) {
        // A payload in the middle of the packet, neither its first nor its last.
        header[0] = uint8_t((header[0] & 0x80) | 6);
        applied_ = true;
        return;
    }
    // A whole video object that claims to be larger than it is, so the payload
    // after it in the same packet reads as its continuation, with another size.
    if (victim.stream < 2 || victim.stream > 5 || victim.offset != 0 || victim.length != victim.objectSize)
        return;
    uint32_t claimed = victim.objectSize + 1000;
    if (claimed == payloads[2].objectSize)
        ++claimed;
    setU32(header + 7, claimed);
    applied_ = true;
}

} // namespace krvsynth
