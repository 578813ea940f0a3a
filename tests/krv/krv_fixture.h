// Builds KRV recordings byte by byte for reader tests: every object and
// packet field can be set, so each rule of the reader can be broken alone.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "krv/krv_reader.h"
#include "krv/krv_types.h"

namespace krvtest {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, uint16_t v);
void put32(Bytes& b, uint32_t v);
void put64(Bytes& b, uint64_t v);
void putGuid(Bytes& b, const KrvGuid& g);
void set32(Bytes& b, size_t at, uint32_t v);
void set64(Bytes& b, size_t at, uint64_t v);

// An object: GUID, u64 size (body + 24 unless given), body.
Bytes object(const KrvGuid& guid, const Bytes& body, std::optional<uint64_t> size = {});

extern const KrvGuid kFileId;
extern const KrvGuid kGuidCommandMedia;
extern const KrvGuid kGuidExtendedStreamType;
extern const KrvGuid kGuidPadding;
extern const KrvGuid kGuidContentDescription;
extern const KrvGuid kGuidCodecList;
extern const KrvGuid kGuidUnknown;
extern const KrvGuid kGuidExtendedAudio;

struct FileProps {
    KrvGuid fileId = kFileId;
    uint64_t dataPackets = 1;
    uint64_t playDuration = 10'000'000;
    uint64_t sendDuration = 10'000'000;
    uint64_t preroll = 0;
    uint32_t flags = 2; // seekable
    uint32_t minPacket = kPacketSize;
    uint32_t maxPacket = kPacketSize;
    uint32_t size = 104; // object size
};
Bytes fileProperties(const FileProps& p);

struct VideoProps {
    uint16_t flags = 2; // stream number 2
    uint32_t width = 352, height = 288;
    uint32_t bitmapWidth = 352, bitmapHeight = 288;
    uint8_t reserved = 2;
    uint32_t extra = 0;                                      // codec extra data bytes
    std::optional<uint32_t> bitmapHeaderSize = std::nullopt; // default 40 + extra
    std::optional<uint32_t> typeLength = std::nullopt;       // default 51 + extra
};
Bytes videoStream(const VideoProps& p);

struct AudioProps {
    uint16_t flags = 1; // stream number 1
    uint16_t blockAlign = 512;
    uint16_t extraSize = 32;                           // announced
    uint32_t extraBytes = 32;                          // present
    std::optional<uint32_t> typeLength = std::nullopt; // default 18 + extraBytes
    const KrvGuid* type = nullptr;                     // default AudioMedia
};
Bytes audioStream(const AudioProps& p);

// Stream properties object with a given type GUID and type-specific data.
Bytes streamProperties(const KrvGuid& type, uint16_t flags, const Bytes& typeData,
                       std::optional<uint32_t> typeLength = {}, uint32_t trailing = 0);

Bytes headerExtension(const std::vector<Bytes>& objects, std::optional<uint32_t> dataSize = {});

struct ExtStreamProps {
    uint16_t streamNumber = 3;
    std::vector<uint16_t> names = {};            // name lengths
    std::vector<uint32_t> extensionSystems = {}; // info lengths
    Bytes embedded = {};                         // optional stream properties object
    std::optional<uint64_t> size = std::nullopt;
};
Bytes extendedStreamProperties(const ExtStreamProps& p);

// Header object from its sub-objects; a 700-byte padding object comes first
// so that byte 649 (audio channel definition) lies inside it.
Bytes header(const std::vector<Bytes>& objects, std::optional<uint32_t> count = {}, std::optional<uint64_t> size = {});

Bytes dataObject(const KrvGuid& fileId, uint64_t totalPackets, std::optional<uint64_t> size = {});

// ---------------------------------------------------------------------------
// Packets in the recorder's layout
// ---------------------------------------------------------------------------
struct PayloadSpec {
    uint8_t stream = 2;
    bool key = false;
    uint8_t objectNumber = 0;
    uint32_t offset = 0;
    uint32_t objectSize = 0; // 0: the data size
    uint32_t time = 1000;    // ms
    Bytes data = Bytes(100, 0xAB);
    std::optional<uint8_t> replicatedLength = std::nullopt; // default 8
    std::optional<uint16_t> declaredLength = std::nullopt;  // default data size
};

struct PacketSpec {
    bool multiple = true;
    std::vector<PayloadSpec> payloads = {};
    std::optional<uint8_t> announced = std::nullopt; // default payload count
    uint8_t payloadLengthType = 2;
    std::optional<uint16_t> padding = std::nullopt; // default: the rest of the packet
    uint32_t sendTime = 1000;
    uint16_t duration = 40;
    std::optional<uint16_t> packetLength = std::nullopt; // a u16 packet length field when given
    Bytes errorCorrection = {};                          // bytes before the length type flags
    Bytes rawPayloadArea = {};                           // used instead of payloads when not empty
};
Bytes packet(const PacketSpec& p);

// One video payload of 100 bytes.
Bytes simplePacket();

Bytes payloadHeader(const PayloadSpec& s, bool multiple);

// A whole recording: header, data object, packets.
struct Recording {
    FileProps file;
    VideoProps video;
    AudioProps audio;
    bool withFileProperties = true;
    bool withVideo = true;
    bool withAudio = true;
    bool withExtension = true;
    std::vector<Bytes> extraObjects = {}; // appended to the header's list
    std::vector<Bytes> extensionObjects = {};
    std::optional<uint32_t> count = std::nullopt;
    std::optional<uint64_t> headerSize = std::nullopt;
    std::optional<uint64_t> dataTotal = std::nullopt; // default: file.dataPackets
    std::optional<uint64_t> dataSize = std::nullopt;
    KrvGuid dataFileId = kFileId;
    std::vector<Bytes> packets = {};
    std::optional<uint8_t> audioDefinition = std::nullopt; // byte 649
};
Bytes build(const Recording& r);

// Writes bytes into a fresh file under the test temp folder; returns its path.
std::string writeTemp(const Bytes& bytes, const std::string& name = "rec.krv");
std::filesystem::path tempDir();

// Writes the bytes to a file, opens it for reading and runs krv_init.
struct Opened {
    KrvFilePtr file = nullptr;
    int init = 0;
};
Opened openBytes(const Bytes& bytes, const std::string& name = "rec.krv");

} // namespace krvtest
