// Records of the KRV container: the recording being read, the per-channel
// output files being written, packets and payloads. Plain structs so the
// reader, the writers and the splitter share raw access to the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Limits of the format
// ---------------------------------------------------------------------------
inline constexpr uint32_t kPacketSize = 32768;          // every data packet, bytes
inline constexpr int kMaxStreams = 128;                 // stream numbers 0-127
inline constexpr uint16_t kPayloadCapacity = 63;        // payloads delivered per packet
inline constexpr uint16_t kPayloadSlots = 64;           // payload array allocated for reading
inline constexpr uint64_t kAudioDefinitionOffset = 649; // low four bits: audio channel definition
inline constexpr uint8_t kMaxAudioDefinition = 4;
inline constexpr size_t kObjectPrefixSize = 24; // GUID + u64 size
inline constexpr size_t kHeaderFixedSize = 30;
inline constexpr size_t kDataObjectHeaderSize = 50;
inline constexpr size_t kIndexObjectFixedSize = 56;
inline constexpr size_t kIndexEntrySize = 6;
inline constexpr size_t kSavedHeaderSize = 20;
inline constexpr size_t kMultiPayloadHeaderSize = 17;  // recorder layout, multiple payloads
inline constexpr size_t kSinglePayloadHeaderSize = 15; // recorder layout, single payload
inline constexpr size_t kMultiPacketHeaderSize = 11;
inline constexpr size_t kSinglePacketHeaderSize = 10;
inline constexpr size_t kSequenceHeaderSize = 19;        // MPEG-4 VO + VOL start, VOL header
inline constexpr size_t kMaxAudioPositions = 8000;       // A/V-sync audio position table entries
inline constexpr size_t kAudioPositionTableSize = 32000; // bytes, 4 per entry
// Larger headers are refused before anything is allocated for them.
inline constexpr uint64_t kMaxHeaderSize = 64ull << 20;

// ---------------------------------------------------------------------------
// Error codes: negative results of every krv_ function
// ---------------------------------------------------------------------------
enum KrvError : int {
    KRV_ERROR_INTERNAL = -100,
    KRV_ERROR_OUTOFMEM = -101,
    KRV_ERROR_NEEDS_BYTES = -200,
    KRV_ERROR_EOF = -201,
    KRV_ERROR_IO = -202,
    KRV_ERROR_INVALID_LENGTH = -300,
    KRV_ERROR_INVALID_VALUE = -301,
    KRV_ERROR_INVALID_OBJECT = -302,
    KRV_ERROR_INVALID_OBJECT_SIZE = -303,
    KRV_ERROR_SEEK = -401,
    KRV_ERROR_FAIL_OPEN_FILE = -9000,
    KRV_ERROR_INVALID_PACKET_SIZE = -9003,
    KRV_ERROR_INVALID_MULTIPAYLOAD_SIZE = -9004,
    KRV_ERROR_INVALID_STREAM_NUMBER = -9005,
    KRV_ERROR_INVALID_PAYLOAD_COUNT = -9006,
    KRV_ERROR_INVALID_PAYLOAD_HEADER = -9007,
};

// ---------------------------------------------------------------------------
// GUIDs and what they identify
// ---------------------------------------------------------------------------
struct KrvGuid {
    uint32_t data1 = 0;
    uint32_t data2 = 0; // holds the 16-bit value
    uint16_t data3 = 0;
    uint8_t data4[8] = {};

    friend bool operator==(const KrvGuid&, const KrvGuid&) = default;
};

// What a GUID names. The stream-type kinds follow the object kinds because an
// object GUID that is no object kind is looked up among the stream types too.
enum class KrvObjectKind : uint8_t {
    Unknown = 0,
    Header,
    Data,
    SimpleIndex,
    FileProperties,
    StreamProperties,
    ContentDescription,
    HeaderExtension,
    Marker,
    CodecList,
    StreamBitrateProperties,
    Padding,
    ExtendedContentDescription,
    Metadata,
    LanguageList,
    ExtendedStreamProperties,
    AdvancedMutualExclusion,
    StreamPrioritization,
    // stream types
    AudioMedia,
    VideoMedia,
    CommandMedia,
    ExtendedStreamType,
    ExtendedAudio,
};

// Type of a stream slot.
enum class KrvStreamType : uint8_t {
    None = 0,
    Audio = 1,
    Video = 2,
    Command = 3,
    Unknown = 255,
};

// KrvStream::flags
inline constexpr uint16_t kStreamHasProperties = 0x1;
inline constexpr uint16_t kStreamInExtended = 0x2;
inline constexpr uint16_t kStreamHasExtended = 0x4;

// File properties flags
inline constexpr uint16_t kFileSeekable = 0x2;

// ---------------------------------------------------------------------------
// I/O callbacks
// ---------------------------------------------------------------------------
struct KrvIo {
    // bytes read, 0 at end of file, negative on error
    int64_t (*read)(void* context, uint8_t* buffer, size_t size) = nullptr;
    // bytes written
    int64_t (*write)(void* context, const uint8_t* buffer, size_t size) = nullptr;
    // absolute offset from the start; 0 on success, negative on failure
    int64_t (*seek)(void* context, uint64_t offset) = nullptr;
    void* context = nullptr;
};

// ---------------------------------------------------------------------------
// Stream properties
// ---------------------------------------------------------------------------
struct KrvWaveFormat {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t extraSize = 0;             // already cut to what the header holds
    const uint8_t* extraData = nullptr; // inside the header data buffer
};

struct KrvBitmapInfo {
    uint32_t headerSize = 0; // 40 + codec extra data
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t compression = 0; // four-character code
    uint32_t imageSize = 0;
    uint32_t xPelsPerMeter = 0;
    uint32_t yPelsPerMeter = 0;
    uint32_t clrUsed = 0;
    uint32_t clrImportant = 0;
    const uint8_t* extraData = nullptr; // inside the header data buffer
    uint32_t extraSize = 0;             // headerSize - 40
};

// The fixed fields of an extended stream properties object.
struct KrvExtendedStreamProps {
    uint64_t startTime = 0;
    uint64_t endTime = 0;
    uint32_t dataBitrate = 0;
    uint32_t bufferSize = 0;
    uint32_t initialBufferFullness = 0;
    uint32_t altDataBitrate = 0;
    uint32_t altBufferSize = 0;
    uint32_t altInitialBufferFullness = 0;
    uint32_t maxObjectSize = 0;
    uint32_t flags = 0;
    uint16_t streamNumber = 0;
    uint16_t languageIndex = 0;
    uint64_t avgTimePerFrame = 0; // 100-ns units
    uint16_t streamNameCount = 0;
    uint16_t payloadExtensionSystemCount = 0;
};

struct KrvStream {
    KrvStreamType type = KrvStreamType::None;
    uint16_t flags = 0;                   // kStreamHas... bits
    std::unique_ptr<KrvWaveFormat> audio; // type Audio
    std::unique_ptr<KrvBitmapInfo> video; // type Video
    std::unique_ptr<KrvExtendedStreamProps> extended;
};

// ---------------------------------------------------------------------------
// Header, data and index objects
// ---------------------------------------------------------------------------
struct KrvSubObject {
    KrvGuid guid;
    KrvObjectKind kind = KrvObjectKind::Unknown;
    uint64_t size = 0;              // with the 24-byte prefix
    const uint8_t* start = nullptr; // first byte, inside the header data buffer
    const uint8_t* data = nullptr;  // start + 24
    uint64_t dataLength = 0;        // size - 24
};

struct KrvHeaderExtension {
    KrvGuid guid;
    uint64_t size = 0;
    KrvGuid reserved1;
    uint16_t reserved2 = 0;
    uint32_t dataSize = 0;             // size - 46
    std::vector<KrvSubObject> objects; // file order
};

struct KrvHeader {
    KrvGuid guid;
    uint64_t size = 0;        // whole Header object
    uint16_t objectCount = 0; // low 16 bits of the announced count
    uint8_t reserved1 = 0;
    uint8_t reserved2 = 0;
    std::vector<uint8_t> data;         // size - 30 bytes after the fixed part
    std::vector<KrvSubObject> objects; // file order, the extension kept apart
    std::unique_ptr<KrvHeaderExtension> extension;
};

struct KrvDataObject {
    KrvGuid guid;
    uint64_t size = 0;
    KrvGuid fileId;
    uint64_t totalDataPackets = 0; // 0 or the file properties' count
    uint16_t reserved = 0;
    uint64_t packetsPosition = 0; // file offset of the first packet
};

struct KrvIndexEntry {
    uint32_t packetNumber = 0;
    uint16_t packetCount = 0;
};

struct KrvIndex {
    KrvGuid guid;
    uint64_t size = 0;
    KrvGuid fileId;
    uint64_t entryTimeInterval = 0; // 100-ns units
    uint32_t maxPacketCount = 0;
    uint32_t entryCount = 0;
    std::vector<KrvIndexEntry> entries;
};

// ---------------------------------------------------------------------------
// One open recording or output file
// ---------------------------------------------------------------------------
struct KrvFile {
    std::string path;       // UTF-8, as given at open
    FILE* stream = nullptr; // owned when opened by path
    KrvIo io;

    uint64_t position = 0;      // bytes consumed from the start
    uint64_t packetCounter = 0; // data packets delivered so far

    std::unique_ptr<KrvHeader> header;
    std::unique_ptr<KrvDataObject> data;
    std::unique_ptr<KrvIndex> index;
    uint64_t dataPosition = 0;  // file offset of the Data object
    uint64_t indexPosition = 0; // 0: index objects are not read

    // file properties
    KrvGuid fileId;
    uint64_t fileSize = 0;
    uint64_t creationDate = 0;
    uint64_t dataPacketsCount = 0;
    uint64_t playDuration = 0;  // 100-ns units
    uint64_t sendDuration = 0;  // 100-ns units
    uint64_t preroll = 0;       // ms
    uint16_t flags = 0;         // kFileSeekable
    uint32_t packetSize = 0;    // minimum data packet size
    uint32_t maxPacketSize = 0; // equals packetSize
    uint32_t maxBitrate = 0;

    KrvStream streams[kMaxStreams]; // indexed by stream number

    uint8_t audioChannelDefinition = 0; // 0-4, byte 649 of a recording
    uint64_t audioPropsOffset = 0;      // AudioMedia stream properties object, 0 when none
    uint64_t audioPropsSize = 0;

    // Writer state of an output file (the reader leaves it alone).
    bool started = false;             // first usable key frame seen
    bool needsSequenceHeader = false; // insert the 19 header bytes before the key frame
    bool timeRebased = false;
    uint32_t rebaseOffset = 0; // ms taken off every time written
    uint64_t packetsWritten = 0;
    uint64_t bytesWritten = 0;
    uint32_t sendDurationMs = 0;          // send time + duration of the last packet written
    uint8_t resolutionIndex = 0;          // 0-8, by the first video stream's size
    std::vector<uint32_t> audioPositions; // A/V-sync audio channel, at most kMaxAudioPositions
    uint32_t audioPositionCount = 0;
    std::vector<double> packetSendTimes; // seconds, one per packet written (index building)
    std::vector<double> packetDurations; // seconds
};

// ---------------------------------------------------------------------------
// Packets and payloads
// ---------------------------------------------------------------------------
struct KrvPayload {
    uint8_t streamNumber = 0; // 0-127
    uint8_t keyFrame = 0;     // 0 or 1
    uint32_t mediaObjectNumber = 0;
    uint32_t offset = 0;           // into the media object
    uint32_t presentationTime = 0; // ms, preroll subtracted, never below 0
    uint32_t replicatedDataLength = 0;
    uint32_t mediaObjectSize = 0; // bytes 7-10 of the payload header
    uint32_t payloadLength = 0;
    uint8_t* replicatedData = nullptr; // inside the packet buffer, or null
    uint8_t* header = nullptr;         // the payload's stream number byte
    uint8_t* data = nullptr;           // payload bytes
};

struct KrvPacket {
    uint8_t errorCorrectionLength = 0;
    uint8_t* errorCorrectionData = nullptr;
    uint32_t packetLength = 0;
    uint32_t sequence = 0;
    uint32_t paddingLength = 0; // after reading: size - consumed - 11 (10 single)
    uint32_t sendTime = 0;      // ms
    uint16_t duration = 0;      // ms
    uint16_t payloadCount = 0;
    std::vector<KrvPayload> payloads; // kPayloadSlots entries, grows for compressed payloads
    uint16_t payloadCapacity = 0;     // kPayloadCapacity
    uint32_t payloadDataLength = 0;
    uint8_t* payloadData = nullptr; // inside buffer
    std::vector<uint8_t> buffer;    // the packet's bytes, packet size long
    uint8_t lengthTypeFlags = 0;    // bit 0: multiple payloads
    uint8_t propertyFlags = 0;
    uint8_t payloadFlags = 0; // multiple payloads only
};

// Header of a media object being reassembled across packets; filled by the
// splitter, read by the reader for the continuation in the next packet.
// byte 0: saved length (17, 15 or 0); 1-15: payload header bytes 0-14 of the
// first fragment; 16-19: bytes of the object received so far (u32).
struct KrvSavedHeader {
    uint8_t bytes[kSavedHeaderSize] = {};
};
