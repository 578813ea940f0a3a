#include "krv/krv_timeline.h"

#include <algorithm>

#include "krv/krv_data_packets.h"
#include "krv/krv_object_assembler.h"
#include "krv/krv_reader.h"
#include "krv/krv_time.h"

namespace {

// Objects of a packet lie within this much of each other, so once packets
// begin this far past the first start nothing earlier can follow.
constexpr uint32_t kOrderSlackMs = 5000;
// Packets read back from the end for the last frame, at most.
constexpr uint64_t kTailPackets = 64;

// 1601-01-01 and 10000-01-01 as FILETIMEs.
constexpr uint64_t kFiletimeYear10000 = 2650467744000000000ull;

bool isVideo(const KrvPayload& p)
{
    return p.streamNumber >= 2 && p.streamNumber <= 5;
}

bool looksLikeAudioBlocks(const KrvPayload& p)
{
    if (p.payloadLength < 2 || !p.data)
        return false;
    for (uint32_t i = 0; i + 1 < p.payloadLength; ++i)
        if (p.data[i] == 0xE1 && p.data[i + 1] == 0x1E)
            return true;
    return false;
}

// Reads packet `index` without carrying an object over; false for a damaged one.
bool readAt(KrvFile* file, KrvPacket* packet, uint64_t index)
{
    if (file->packetCounter != index && krv_seek_packet(file, index) < 0)
        return false;
    krv_packet_reset(packet);
    return krv_get_packet(file, packet, false, nullptr) > 0;
}

} // namespace

uint64_t krv_trusted_creation_date(uint64_t filetime)
{
    return filetime < kFiletimeYear10000 ? filetime : 0;
}

bool krv_channel_can_start(const KrvPayload& p, uint16_t index, uint16_t count)
{
    const bool whole = p.payloadLength == p.mediaObjectSize;
    return p.keyFrame && p.offset == 0 && (index + 1 == count || whole);
}

int krv_read_timeline(KrvFile* file, uint64_t fileSize, KrvTimeline& timeline)
{
    timeline = {};
    timeline.creationDate = krv_trusted_creation_date(file->creationDate);
    KrvPacketPtr packet(krv_packet_create(file, true));
    if (!packet)
        return KRV_ERROR_OUTOFMEM;
    const uint64_t packets = krv_cut_short(*file, fileSize).whole;

    // The start as a split makes it: each channel from the first payload it
    // can start at, the audio from its first object once a channel started.
    bool started = false;
    uint32_t origin = UINT32_MAX;
    for (uint64_t k = 0; k < packets; ++k) {
        if (!readAt(file, packet.get(), k))
            continue;
        uint32_t packetFirst = UINT32_MAX;
        for (uint16_t i = 0; i < packet->payloadCount; ++i) {
            const KrvPayload& p = packet->payloads[i];
            if (krv_check_payload(*packet, p) < 0)
                break;
            packetFirst = std::min(packetFirst, p.presentationTime);
            if (isVideo(p) && krv_channel_can_start(p, i, packet->payloadCount)) {
                started = true;
                origin = std::min(origin, p.presentationTime);
            } else if (started && p.streamNumber == 1 && p.offset == 0 && looksLikeAudioBlocks(p)) {
                origin = std::min(origin, p.presentationTime);
            }
        }
        if (started && packetFirst != UINT32_MAX && packetFirst > origin && packetFirst - origin > kOrderSlackMs)
            break;
    }
    if (!started)
        return 1;
    timeline.hasMedia = true;
    timeline.originMs = origin;

    // The last frame: the latest time among the last packets that hold video.
    uint32_t last = origin;
    bool video = false;
    for (uint64_t n = 0, k = packets; k > 0 && n < kTailPackets && !(video && n >= 2); ++n) {
        if (!readAt(file, packet.get(), --k))
            continue;
        for (uint16_t i = 0; i < packet->payloadCount; ++i) {
            const KrvPayload& p = packet->payloads[i];
            if (krv_check_payload(*packet, p) < 0)
                break;
            if (isVideo(p) || p.streamNumber == 1)
                last = std::max(last, p.presentationTime);
            video = video || isVideo(p);
        }
    }
    timeline.lastMs = last;
    return 1;
}
