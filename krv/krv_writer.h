// Data packets of the channel files: filling an output packet with payloads
// and writing it out in the recorder's layout (11-byte packet header,
// 17-byte payload headers; one payload: the 10/15-byte single-payload form).
#pragma once

#include <cstdint>
#include <vector>

#include "krv/krv_types.h"

inline constexpr uint32_t kRebaseThresholdMs = 649; // first send time above it is moved to 650
inline constexpr uint32_t kRebasedFirstSendMs = 650;
inline constexpr uint8_t kWrittenLengthTypeFlags = 0x11; // multiple payloads, u16 padding length
inline constexpr uint8_t kWrittenPropertyFlags = 0x5D; // u8 stream, u8 object number, u32 offset, u8 replicated length
inline constexpr uint8_t kWrittenPayloadLengthType = 0x80; // u16 payload lengths
inline constexpr uint8_t kReplicatedDataLength = 8;        // object size + presentation time
// Data bytes of a packet holding nothing but one fragment (multiple-payload budget).
inline constexpr uint32_t kFragmentCapacity = kPacketSize - kMultiPacketHeaderSize - kMultiPayloadHeaderSize;

// One whole media object on its way into a channel file.
struct KrvMediaObject {
    uint8_t streamNumber = 0; // 1 audio, 2-5 video
    bool keyFrame = false;
    uint8_t objectNumber = 0;      // low byte of the media object number
    uint32_t presentationTime = 0; // ms, preroll subtracted (as the reader delivers it)
    const uint8_t* data = nullptr;
    uint32_t size = 0;
};

// A channel file's packets on their way to the disk, for writing many at once
// without copying them: each finished packet's buffer is taken whole (the
// packet gets a spare one of the same size), and kBatchPackets of them go out
// with one writev on the file's descriptor. Whatever else is written to the
// file must wait for flush() and must not wait in a stdio buffer itself.
class KrvPacketBatch {
public:
    static constexpr size_t kBatchPackets = 32;

    explicit KrvPacketBatch(int fd = -1) : fd_(fd) {}
    void attach(int fd) { fd_ = fd; }

    // Takes `packet`'s bytes, leaving it a buffer of the same size to fill
    // anew. 0, or KRV_ERROR_IO (errno set) when a full batch cannot be written.
    int take(std::vector<uint8_t>& packet);
    // Writes the packets held. 0, or KRV_ERROR_IO with errno set.
    int flush();
    // A write has failed.
    bool failed() const { return failed_; }

private:
    int fd_;
    bool failed_ = false;
    std::vector<std::vector<uint8_t>> full_;
    std::vector<std::vector<uint8_t>> spare_; // written ones, for the packets to come
};

// Context of one channel file's packet writing.
struct KrvChannelWriter {
    int channel = 0; // 1-4
    bool avSync = false;
    bool carriesAudio = false;       // A/V-sync file of the audio's channel: keeps audio positions
    KrvPacketBatch* batch = nullptr; // null: each packet goes to the file's io.write at once
};

// Empties an output packet for reuse (no allocation once sized).
void krv_out_packet_clear(KrvPacket& packet);

// Adds a payload (header + bytes) to the output packet; the caller has made
// sure it fits. `offset`: position of these bytes inside the media object.
void krv_out_packet_append(KrvPacket& packet, const KrvMediaObject& object, uint32_t offset, const uint8_t* bytes,
                           uint32_t length);

// Bytes of the packet taken by payloads and their headers.
inline uint32_t krv_out_packet_used(const KrvPacket& packet)
{
    return packet.payloadDataLength;
}

// Packs a whole object into the channel file: appended to the open packet
// when it fits, else split into fragments that fill packets, each full
// packet written at once; the last fragment stays in the open packet.
// 0 or a negative KrvError.
int krv_pack_object(const KrvChannelWriter& writer, KrvFile& out, KrvPacket& packet, const KrvMediaObject& object);

// Completes the packet header and payload headers (send time, duration,
// times rebased, padding), writes the packet (packet size bytes) at the end
// of the file or into the writer's batch, records its time for the index and
// clears it. Number of
// payloads written (0 for an empty packet, which is not written) or a
// negative KrvError.
int krv_write_packet(const KrvChannelWriter& writer, KrvFile& out, KrvPacket& packet);
