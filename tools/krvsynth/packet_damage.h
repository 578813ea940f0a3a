// Damage applied to data packets as they are written (--damage stream6 and
// multipayload-size); header damage is built by recording_header.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "packet_packer.h"
#include "synth_options.h"

namespace krvsynth {

class PacketDamage {
public:
    explicit PacketDamage(Damage kind) : kind_(kind) {}

    // From now on the next packet that can carry the damage gets it.
    void arm() { armed_ = true; }
    void apply(std::span<uint8_t> packet, const std::vector<PayloadInfo>& payloads);
    bool applied() const { return applied_; }
    bool wanted() const { return kind_ == Damage::Stream6 || kind_ == Damage::MultipayloadSize; }

private:
    Damage kind_;
    bool armed_ = false;
    bool applied_ = false;
};

} // namespace krvsynth
