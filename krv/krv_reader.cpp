#include "krv/krv_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "krv/krv_guid.h"
#include "krv/krv_io.h"
#include "krv/krv_log.h"

namespace {

// Header bytes are read in steps of this size, so a size field larger than
// the file ends in KRV_ERROR_EOF before much memory is taken for it.
constexpr size_t kHeaderReadStep = 1 << 20;

constexpr size_t kFilePropertiesMinSize = 104;
constexpr size_t kStreamPropertiesMinSize = 78;
constexpr size_t kHeaderExtensionMinSize = 46;
constexpr size_t kExtendedStreamPropsMinSize = 88;
constexpr size_t kContentDescriptionMinSize = 34;
constexpr size_t kCodecListMinSize = 44;
constexpr size_t kSmallObjectMinSize = 26;
constexpr size_t kMutualExclusionMinSize = 42;
constexpr size_t kAudioFormatMinSize = 18;
constexpr size_t kVideoFormatMinSize = 51;
constexpr size_t kExtendedStreamTypeSkip = 64;
constexpr uint8_t kVideoReservedFlags = 2;

// Width in bytes of a field whose two-bit length type is `type`.
constexpr uint32_t field_width(unsigned type)
{
    constexpr uint32_t widths[4] = {0, 1, 2, 4};
    return widths[type & 3];
}

uint32_t read_field(const uint8_t* p, uint32_t width)
{
    switch (width) {
    case 1: return p[0];
    case 2: return krv_u16(p);
    case 4: return krv_u32(p);
    default: return 0;
    }
}

// ---------------------------------------------------------------------------
// Header objects
// ---------------------------------------------------------------------------

KrvSubObject sub_object_at(const uint8_t* start)
{
    KrvSubObject o;
    o.guid = krv_guid_read(start);
    o.kind = krv_guid_kind(o.guid);
    o.size = krv_u64(start + 16);
    o.start = start;
    o.data = start + kObjectPrefixSize;
    o.dataLength = o.size >= kObjectPrefixSize ? o.size - kObjectPrefixSize : 0;
    return o;
}

int parse_extension(const KrvSubObject& object, KrvHeader& header)
{
    if (object.size < kHeaderExtensionMinSize)
        return KRV_ERROR_INVALID_OBJECT_SIZE;
    auto ext = std::make_unique<KrvHeaderExtension>();
    ext->guid = object.guid;
    ext->size = object.size;
    ext->reserved1 = krv_guid_read(object.start + 24);
    ext->reserved2 = krv_u16(object.start + 40);
    ext->dataSize = krv_u32(object.start + 42);
    if (ext->dataSize != object.size - kHeaderExtensionMinSize)
        return KRV_ERROR_INVALID_LENGTH;

    const uint8_t* cursor = object.start + kHeaderExtensionMinSize;
    uint64_t remaining = ext->dataSize;
    while (remaining > 0) {
        if (remaining < kObjectPrefixSize)
            break;
        KrvSubObject sub = sub_object_at(cursor);
        if (sub.size > remaining || sub.size < kObjectPrefixSize)
            break;
        ext->objects.push_back(sub);
        cursor += sub.size;
        remaining -= sub.size;
    }
    if (remaining != 0)
        return KRV_ERROR_INVALID_LENGTH;
    header.extension = std::move(ext);
    return 0;
}

// Stream properties object at `start`, `size` bytes long, into `slot`.
int parse_stream_properties(const uint8_t* start, uint64_t size, KrvStream& slot)
{
    if (size < kStreamPropertiesMinSize)
        return KRV_ERROR_INVALID_LENGTH;
    KrvObjectKind type = krv_guid_kind(krv_guid_read(start + 24));
    uint64_t length = krv_u32(start + 64);
    if (length > size - kStreamPropertiesMinSize)
        return KRV_ERROR_INVALID_LENGTH;
    const uint8_t* data = start + kStreamPropertiesMinSize;

    switch (type) {
    case KrvObjectKind::ExtendedStreamType:
        if (length < kExtendedStreamTypeSkip)
            return KRV_ERROR_INVALID_LENGTH;
        slot.type = KrvStreamType::Unknown;
        return 0;

    case KrvObjectKind::AudioMedia:
    case KrvObjectKind::ExtendedAudio: {
        slot.type = KrvStreamType::Audio;
        if (length < kAudioFormatMinSize)
            return KRV_ERROR_INVALID_LENGTH;
        uint32_t extra = krv_u16(data + 16);
        if (extra > length - 16)
            return KRV_ERROR_INVALID_LENGTH;
        if (extra > length - kAudioFormatMinSize)
            extra = uint32_t(length - kAudioFormatMinSize);
        auto wf = std::make_unique<KrvWaveFormat>();
        wf->formatTag = krv_u16(data);
        wf->channels = krv_u16(data + 2);
        wf->samplesPerSec = krv_u32(data + 4);
        wf->avgBytesPerSec = krv_u32(data + 8);
        wf->blockAlign = krv_u16(data + 12);
        wf->bitsPerSample = krv_u16(data + 14);
        wf->extraSize = uint16_t(extra);
        wf->extraData = data + kAudioFormatMinSize;
        slot.audio = std::move(wf);
        slot.flags |= kStreamHasProperties;
        return 0;
    }

    case KrvObjectKind::VideoMedia: {
        slot.type = KrvStreamType::Video;
        if (length < kVideoFormatMinSize)
            return KRV_ERROR_INVALID_LENGTH;
        uint32_t headerSize = krv_u32(data + 11);
        if (headerSize != length - 11)
            return KRV_ERROR_INVALID_LENGTH;
        if (krv_u32(data) != krv_u32(data + 15))
            return KRV_ERROR_INVALID_VALUE;
        if (krv_u32(data + 4) != krv_u32(data + 19))
            return KRV_ERROR_INVALID_VALUE;
        if (data[8] != kVideoReservedFlags)
            return KRV_ERROR_INVALID_VALUE;
        auto bi = std::make_unique<KrvBitmapInfo>();
        bi->headerSize = headerSize;
        bi->width = krv_u32(data + 15);
        bi->height = krv_u32(data + 19);
        bi->planes = krv_u16(data + 23);
        bi->bitCount = krv_u16(data + 25);
        bi->compression = krv_u32(data + 27);
        bi->imageSize = krv_u32(data + 31);
        bi->xPelsPerMeter = krv_u32(data + 35);
        bi->yPelsPerMeter = krv_u32(data + 39);
        bi->clrUsed = krv_u32(data + 43);
        bi->clrImportant = krv_u32(data + 47);
        bi->extraData = data + kVideoFormatMinSize;
        bi->extraSize = headerSize - 40;
        slot.video = std::move(bi);
        slot.flags |= kStreamHasProperties;
        return 0;
    }

    case KrvObjectKind::CommandMedia: slot.type = KrvStreamType::Command; return 0;

    default: slot.type = KrvStreamType::Unknown; return 0;
    }
}

int parse_extended_stream_properties(const KrvSubObject& object, KrvFile& file)
{
    const uint8_t* d = object.data;
    auto props = std::make_unique<KrvExtendedStreamProps>();
    props->startTime = krv_u64(d);
    props->endTime = krv_u64(d + 8);
    props->dataBitrate = krv_u32(d + 16);
    props->bufferSize = krv_u32(d + 20);
    props->initialBufferFullness = krv_u32(d + 24);
    props->altDataBitrate = krv_u32(d + 28);
    props->altBufferSize = krv_u32(d + 32);
    props->altInitialBufferFullness = krv_u32(d + 36);
    props->maxObjectSize = krv_u32(d + 40);
    props->flags = krv_u32(d + 44);
    props->streamNumber = krv_u16(d + 48);
    props->languageIndex = krv_u16(d + 50);
    props->avgTimePerFrame = krv_u64(d + 52);
    props->streamNameCount = krv_u16(d + 60);
    props->payloadExtensionSystemCount = krv_u16(d + 62);

    // The stream number is a full 16-bit field; the slot table has 128 entries.
    if (props->streamNumber >= kMaxStreams)
        return KRV_ERROR_INVALID_OBJECT;
    KrvStream& slot = file.streams[props->streamNumber];

    const uint8_t* cursor = d + 64;
    uint64_t remaining = object.size - kExtendedStreamPropsMinSize;
    for (unsigned n = 0; n < props->streamNameCount; ++n) {
        if (remaining < 4)
            return KRV_ERROR_INVALID_VALUE;
        uint64_t need = 4 + uint64_t(krv_u16(cursor + 2));
        if (need > remaining)
            return KRV_ERROR_INVALID_LENGTH;
        cursor += need;
        remaining -= need;
    }
    for (unsigned m = 0; m < props->payloadExtensionSystemCount; ++m) {
        if (remaining < 22)
            return KRV_ERROR_INVALID_VALUE;
        uint64_t need = 22 + uint64_t(krv_u32(cursor + 18));
        if (need > remaining)
            return KRV_ERROR_INVALID_LENGTH;
        cursor += need;
        remaining -= need;
    }
    if (remaining > 0) {
        if (remaining < kStreamPropertiesMinSize)
            return KRV_ERROR_INVALID_OBJECT_SIZE;
        if (krv_guid_kind(krv_guid_read(cursor)) != KrvObjectKind::StreamProperties)
            return KRV_ERROR_INVALID_OBJECT;
        if (krv_u64(cursor + 16) != remaining)
            return KRV_ERROR_INVALID_OBJECT_SIZE;
        if ((krv_u16(cursor + 72) & 0x7F) != props->streamNumber || slot.type != KrvStreamType::None)
            return KRV_ERROR_INVALID_OBJECT;
        slot.flags |= kStreamInExtended;
        int r = parse_stream_properties(cursor, remaining, slot);
        if (r < 0)
            return r;
    }
    slot.extended = std::move(props);
    slot.flags |= kStreamHasExtended;
    return 0;
}

int parse_file_properties(const KrvSubObject& object, KrvFile& file)
{
    const uint8_t* p = object.start;
    file.fileId = krv_guid_read(p + 24);
    file.fileSize = krv_u64(p + 40);
    file.creationDate = krv_u64(p + 48);
    file.dataPacketsCount = krv_u64(p + 56);
    file.playDuration = krv_u64(p + 64);
    file.sendDuration = krv_u64(p + 72);
    file.preroll = krv_u64(p + 80);
    file.flags = uint16_t(krv_u32(p + 88));
    file.packetSize = krv_u32(p + 92);
    file.maxPacketSize = krv_u32(p + 96);
    file.maxBitrate = krv_u32(p + 100);
    if (file.packetSize != file.maxPacketSize)
        return KRV_ERROR_INVALID_VALUE;
    if (file.packetSize != kPacketSize)
        return KRV_ERROR_INVALID_PACKET_SIZE;
    return 0;
}

int check_content_description(const KrvSubObject& object)
{
    if (object.size < kContentDescriptionMinSize)
        return KRV_ERROR_INVALID_LENGTH;
    uint64_t strings = 0;
    for (int k = 0; k < 5; ++k)
        strings += krv_u16(object.data + 2 * k);
    if (object.size < kContentDescriptionMinSize + strings)
        return KRV_ERROR_INVALID_LENGTH;
    return 0;
}

// Gives every header object its meaning, in file order, then the extension's.
int interpret_header(KrvFile& file)
{
    KrvHeader& header = *file.header;
    bool haveFileProperties = false;
    bool haveStream = false;
    int r = 0;

    for (const KrvSubObject& o : header.objects) {
        switch (o.kind) {
        case KrvObjectKind::Unknown:
        case KrvObjectKind::Marker:
        case KrvObjectKind::Padding: break;
        case KrvObjectKind::FileProperties:
            if (o.size < kFilePropertiesMinSize)
                return KRV_ERROR_INVALID_OBJECT_SIZE;
            if (haveFileProperties)
                return KRV_ERROR_INVALID_OBJECT;
            haveFileProperties = true;
            if ((r = parse_file_properties(o, file)) < 0)
                return r;
            break;
        case KrvObjectKind::StreamProperties: {
            if (o.size < kStreamPropertiesMinSize)
                return KRV_ERROR_INVALID_OBJECT_SIZE;
            KrvStream& slot = file.streams[krv_u16(o.start + 72) & 0x7F];
            if (slot.type != KrvStreamType::None)
                return KRV_ERROR_INVALID_OBJECT;
            haveStream = true;
            if ((r = parse_stream_properties(o.start, o.size, slot)) < 0)
                return r;
            break;
        }
        case KrvObjectKind::ContentDescription:
            if ((r = check_content_description(o)) < 0)
                return r;
            break;
        case KrvObjectKind::CodecList:
            if (o.size < kCodecListMinSize)
                return KRV_ERROR_INVALID_OBJECT_SIZE;
            break;
        case KrvObjectKind::StreamBitrateProperties:
        case KrvObjectKind::ExtendedContentDescription:
            if (o.size < kSmallObjectMinSize)
                return KRV_ERROR_INVALID_OBJECT_SIZE;
            break;
        default: // misplaced or repeated
            return KRV_ERROR_INVALID_OBJECT;
        }
    }

    if (header.extension) {
        for (const KrvSubObject& o : header.extension->objects) {
            switch (o.kind) {
            case KrvObjectKind::ExtendedStreamProperties:
                if (o.size < kExtendedStreamPropsMinSize)
                    return KRV_ERROR_INVALID_OBJECT_SIZE;
                if ((r = parse_extended_stream_properties(o, file)) < 0)
                    return r;
                break;
            case KrvObjectKind::AdvancedMutualExclusion:
                if (o.size < kMutualExclusionMinSize)
                    return KRV_ERROR_INVALID_OBJECT_SIZE;
                break;
            case KrvObjectKind::Metadata:
            case KrvObjectKind::LanguageList:
            case KrvObjectKind::StreamPrioritization:
                if (o.size < kSmallObjectMinSize)
                    return KRV_ERROR_INVALID_OBJECT_SIZE;
                break;
            default: break;
            }
        }
    }

    if (!haveFileProperties || !haveStream || !header.extension)
        return KRV_ERROR_INVALID_OBJECT;
    return 0;
}

// Header object at the current position. Its size, or a negative KrvError.
int64_t parse_header(KrvFile& file)
{
    uint8_t fixed[kHeaderFixedSize];
    int r = krv_read_exact(file.io, fixed, sizeof fixed);
    if (r < 0)
        return r;
    file.header = std::make_unique<KrvHeader>();
    KrvHeader& header = *file.header;
    header.guid = krv_guid_read(fixed);
    header.size = krv_u64(fixed + 16);
    if (header.size < kHeaderFixedSize || header.size > kMaxHeaderSize)
        return KRV_ERROR_INVALID_OBJECT_SIZE;
    uint32_t count = krv_u32(fixed + 24) & 0xFFFF;
    header.objectCount = uint16_t(count);
    header.reserved1 = fixed[28];
    header.reserved2 = fixed[29];

    const size_t want = size_t(header.size - kHeaderFixedSize);
    while (header.data.size() < want) {
        size_t old = header.data.size();
        size_t step = std::min(want - old, kHeaderReadStep);
        header.data.resize(old + step);
        if ((r = krv_read_exact(file.io, header.data.data() + old, step)) < 0)
            return r;
    }

    uint64_t remaining = want;
    if (count != 0) {
        const uint8_t* cursor = header.data.data();
        uint64_t offset = 0;
        uint32_t i = 0;
        for (; i < count; ++i) {
            if (remaining < kObjectPrefixSize)
                break;
            KrvSubObject o = sub_object_at(cursor);
            if (o.size > remaining || o.size < kObjectPrefixSize)
                break;
            if (o.kind == KrvObjectKind::HeaderExtension && !header.extension) {
                if ((r = parse_extension(o, header)) < 0)
                    return r;
            } else {
                header.objects.push_back(o);
            }
            if (o.kind == KrvObjectKind::StreamProperties && o.size >= kObjectPrefixSize + 16 &&
                krv_guid_kind(krv_guid_read(o.data)) == KrvObjectKind::AudioMedia) {
                file.audioPropsOffset = kHeaderFixedSize + offset;
                file.audioPropsSize = o.size;
            }
            cursor += o.size;
            remaining -= o.size;
            offset += o.size;
        }
        if (i != count)
            return KRV_ERROR_INVALID_VALUE;
    }
    if (remaining != 0)
        return KRV_ERROR_INVALID_VALUE;

    if ((r = interpret_header(file)) < 0)
        return r;
    return int64_t(header.size);
}

int parse_data_object(KrvFile& file)
{
    uint8_t bytes[kDataObjectHeaderSize];
    int r = krv_read_exact(file.io, bytes, sizeof bytes);
    if (r < 0)
        return r;
    file.data = std::make_unique<KrvDataObject>();
    KrvDataObject& d = *file.data;
    d.guid = krv_guid_read(bytes);
    d.size = krv_u64(bytes + 16);
    if (d.size < kDataObjectHeaderSize)
        return KRV_ERROR_INVALID_OBJECT_SIZE;
    d.fileId = krv_guid_read(bytes + 24);
    d.totalDataPackets = krv_u64(bytes + 40);
    d.reserved = krv_u16(bytes + 48);
    d.packetsPosition = file.position + kDataObjectHeaderSize;
    if (d.fileId != file.fileId)
        return KRV_ERROR_INVALID_VALUE;
    if (d.totalDataPackets != 0 && d.totalDataPackets != file.dataPacketsCount)
        return KRV_ERROR_INVALID_VALUE;
    return int(kDataObjectHeaderSize);
}

// ---------------------------------------------------------------------------
// Packets
// ---------------------------------------------------------------------------

struct PayloadWalk {
    uint8_t* area;
    uint32_t length; // bytes of the area the walk may use
    bool multiple;
    unsigned announced; // payload count of the payload flags (multiple payloads)
    bool continuing;
    const KrvSavedHeader* saved;
    uint64_t preroll;
    uint8_t propertyFlags;
    uint32_t sendTime;
};

// Breaks the payload area into payloads. Bytes of the area used, or a
// negative KrvError. Inconsistent payload headers end the walk quietly.
int64_t parse_payloads(KrvPacket& packet, const PayloadWalk& w)
{
    uint8_t* const a = w.area;
    const uint32_t len = w.length;
    const uint8_t* saved = w.saved ? w.saved->bytes : nullptr;
    bool continuing = w.continuing && saved;
    const uint32_t numberWidth = field_width(w.propertyFlags >> 4);
    const uint32_t offsetWidth = field_width(w.propertyFlags >> 2);
    const uint32_t replicatedWidth = field_width(w.propertyFlags);

    uint32_t i = 0;
    uint32_t skip = 0;
    uint32_t consumed = 0; // end of the last payload stored
    unsigned walked = 0;

    while (skip < len && i < packet.payloadCapacity) {
        if (w.multiple && walked >= w.announced)
            break;
        ++walked;

        uint8_t* header = a + skip;
        uint8_t streamByte = continuing ? saved[1] : a[skip];
        uint32_t objectSize = 0;
        if (continuing)
            objectSize = krv_u32(saved + 8);
        else if (uint64_t(skip) + 11 <= len)
            objectSize = krv_u32(a + skip + 7);
        skip += 1;

        if (uint64_t(skip) + numberWidth + offsetWidth + replicatedWidth > len)
            break;
        uint32_t objectNumber = read_field(a + skip, numberWidth);
        skip += numberWidth;
        uint32_t offset = read_field(a + skip, offsetWidth);
        skip += offsetWidth;
        uint32_t replicatedLength = read_field(a + skip, replicatedWidth);
        skip += replicatedWidth;
        if (continuing) {
            offset = krv_u32(saved + 16);
            replicatedLength = saved[7];
        }

        uint8_t* replicated = nullptr;
        uint32_t time = 0;
        bool compressed = false;
        uint8_t delta = 0;
        if (replicatedLength >= 2) {
            if (replicatedLength < 8)
                break;
            if (uint64_t(skip) + replicatedLength > len)
                break;
            replicated = a + skip;
            skip += replicatedLength;
            time = continuing ? krv_u32(saved + 12) : krv_u32(replicated + 4);
        } else if (replicatedLength == 1) {
            if (uint64_t(skip) + 1 > len)
                break;
            compressed = true;
            delta = a[skip];
            time = offset;
            offset = 0;
            replicatedLength = 0;
            skip += 1;
        } else {
            time = w.sendTime;
        }
        time = time > w.preroll ? uint32_t(time - w.preroll) : 0;

        uint32_t payloadLength;
        if (w.multiple) {
            if (uint64_t(skip) + 2 > len)
                break;
            if (continuing) {
                // Only what this packet holds; the rest follows in the next one.
                payloadLength = krv_u32(saved + 8) - krv_u32(saved + 16);
                payloadLength = std::min(payloadLength, len - skip - 2);
            } else {
                payloadLength = krv_u16(a + skip);
                if (payloadLength > len - skip - 2)
                    break;
            }
            skip += 2;
        } else {
            payloadLength = len - skip;
        }

        KrvPayload p;
        p.streamNumber = streamByte & 0x7F;
        p.keyFrame = streamByte >> 7;
        p.mediaObjectNumber = objectNumber;
        p.offset = offset;
        p.presentationTime = time;
        p.replicatedDataLength = replicatedLength;
        p.mediaObjectSize = objectSize;
        p.replicatedData = replicated;
        p.header = header;

        if (compressed) {
            uint32_t count = 0;
            uint32_t pos = 0;
            while (pos < payloadLength) {
                pos += 1 + a[skip + pos];
                ++count;
            }
            if (pos != payloadLength)
                return KRV_ERROR_INVALID_LENGTH;
            // A compressed payload counts as one against the capacity.
            const size_t capacity = size_t(packet.payloadCapacity) + count - 1;
            if (capacity + 1 > packet.payloads.size()) {
                try {
                    packet.payloads.resize(capacity + 1);
                } catch (const std::bad_alloc&) {
                    return KRV_ERROR_OUTOFMEM;
                }
            }
            packet.payloadCapacity = uint16_t(capacity);
            pos = 0;
            for (uint32_t k = 0; k < count; ++k) {
                KrvPayload sub = p;
                sub.payloadLength = a[skip + pos];
                sub.data = a + skip + pos + 1;
                sub.presentationTime = time + k * delta;
                packet.payloads[i++] = sub;
                pos += 1 + sub.payloadLength;
            }
            skip += payloadLength;
            consumed = skip;
        } else {
            p.payloadLength = payloadLength;
            p.data = a + skip;
            packet.payloads[i++] = p;
            skip += payloadLength;
            consumed = skip;
        }
        continuing = false;
    }

    packet.payloadCount = uint16_t(i);
    return consumed;
}

int read_packet(KrvFile& file, KrvPacket& packet, bool continuing, const KrvSavedHeader* saved)
{
    const uint32_t size = file.packetSize;
    if (size == 0)
        return KRV_ERROR_INVALID_LENGTH;
    if (packet.buffer.size() < size) {
        try {
            packet.buffer.resize(size);
        } catch (const std::bad_alloc&) {
            return KRV_ERROR_OUTOFMEM;
        }
    }
    uint8_t* b = packet.buffer.data();
    int r = krv_read_exact(file.io, b, size);
    if (r < 0)
        return r;

    uint32_t pos = 0;
    if (b[0] & 0x80) {
        packet.errorCorrectionLength = b[0] & 0x0F;
        if (packet.errorCorrectionLength != 2 || (b[0] & 0x10) || (b[0] & 0x60))
            return KRV_ERROR_INVALID_VALUE;
        if (size < 3)
            return KRV_ERROR_INVALID_LENGTH;
        packet.errorCorrectionData = b + 1;
        pos = 3;
    } else {
        packet.errorCorrectionLength = 0;
        packet.errorCorrectionData = nullptr;
    }

    if (uint64_t(pos) + 2 > size)
        return KRV_ERROR_INVALID_LENGTH;
    packet.lengthTypeFlags = b[pos];
    packet.propertyFlags = b[pos + 1];
    pos += 2;

    const uint8_t ltf = packet.lengthTypeFlags;
    const uint32_t lengthWidth = field_width(ltf >> 5);
    const uint32_t sequenceWidth = field_width(ltf >> 1);
    const uint32_t paddingWidth = field_width(ltf >> 3);
    if (uint64_t(lengthWidth) + sequenceWidth + paddingWidth + 6 > size - pos)
        return KRV_ERROR_INVALID_LENGTH;
    packet.packetLength = read_field(b + pos, lengthWidth);
    pos += lengthWidth;
    packet.sequence = read_field(b + pos, sequenceWidth);
    pos += sequenceWidth;
    packet.paddingLength = read_field(b + pos, paddingWidth);
    pos += paddingWidth;
    packet.sendTime = krv_u32(b + pos);
    packet.duration = krv_u16(b + pos + 4);
    pos += 6;

    if (lengthWidth == 0)
        packet.packetLength = size;
    if (packet.packetLength < size) {
        packet.paddingLength += size - packet.packetLength;
        packet.packetLength = size;
    }
    if (packet.packetLength != size)
        return KRV_ERROR_INVALID_LENGTH;

    const bool multiple = ltf & 1;
    unsigned announced = 1;
    if (multiple) {
        if (uint64_t(pos) + 1 > packet.packetLength)
            return KRV_ERROR_INVALID_LENGTH;
        packet.payloadFlags = b[pos];
        announced = packet.payloadFlags & 0x3F;
        if (announced == 0)
            return KRV_ERROR_INVALID_VALUE;
        if ((packet.payloadFlags >> 6) != 2)
            return KRV_ERROR_INVALID_VALUE;
        pos += 1;
    }

    packet.payloadData = b + pos;
    packet.payloadDataLength = size - pos;

    // The padding closes the payload area in both forms; a padding length
    // larger than the area leaves no payloads.
    PayloadWalk walk;
    walk.area = packet.payloadData;
    walk.length = packet.payloadDataLength - std::min(packet.paddingLength, packet.payloadDataLength);
    walk.multiple = multiple;
    walk.announced = announced;
    walk.continuing = continuing;
    walk.saved = saved;
    walk.preroll = file.preroll;
    walk.propertyFlags = packet.propertyFlags;
    walk.sendTime = packet.sendTime;
    int64_t consumed = parse_payloads(packet, walk);
    if (consumed < 0)
        return int(consumed);

    const int64_t headerBytes = multiple ? kMultiPacketHeaderSize : kSinglePacketHeaderSize;
    packet.paddingLength = uint32_t(std::max<int64_t>(0, int64_t(size) - consumed - headerBytes));
    return int(size);
}

// Audio channel definition: low four bits of byte 649; a short file gives 0.
uint8_t read_audio_definition(const KrvIo& io)
{
    uint8_t byte = 0;
    if (io.seek && io.seek(io.context, kAudioDefinitionOffset) == 0) {
        if (io.read(io.context, &byte, 1) != 1)
            byte = 0;
    }
    return byte & 0x0F;
}

KrvFile* open_over(KrvFile* file, const KrvMessageSink* sink)
{
    const uint8_t definition = read_audio_definition(file->io);
    if (definition > kMaxAudioDefinition) {
        krv_message(sink, kKrvAudioDefinitionError, "Warning");
        krv_close(file);
        return nullptr;
    }
    file->audioChannelDefinition = definition;
    if (file->io.seek)
        file->io.seek(file->io.context, 0);
    return file;
}

// A recording opened for reading: a regular file only, so that a FIFO or a
// device named like one can never block the caller. Null with errno set
// (EISDIR for a folder, ENXIO for anything else that is no regular file).
FILE* open_regular(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    int error = 0;
    if (fstat(fd, &st) != 0)
        error = errno;
    else if (S_ISDIR(st.st_mode))
        error = EISDIR;
    else if (!S_ISREG(st.st_mode))
        error = ENXIO;
    else if (fcntl(fd, F_SETFL, 0) != 0) // reads block again, as on any file
        error = errno;
    if (error != 0) {
        close(fd);
        errno = error;
        return nullptr;
    }
    FILE* stream = fdopen(fd, "rb");
    if (!stream)
        close(fd);
    return stream;
}

} // namespace

KrvFile* krv_open(const std::string& path, bool forReading, const KrvMessageSink* sink)
{
    FILE* stream = forReading ? open_regular(path) : fopen(path.c_str(), "wb+");
    if (!stream)
        return nullptr;
    KrvFile* file = new (std::nothrow) KrvFile;
    if (!file) {
        fclose(stream);
        return nullptr;
    }
    file->path = path;
    file->stream = stream;
    file->io = krv_stdio_io(stream);
    if (!forReading)
        return file;
    return open_over(file, sink);
}

int krv_read_audio_definition(const std::string& path, uint8_t& definition)
{
    definition = 0;
    FILE* stream = open_regular(path);
    if (!stream)
        return KRV_ERROR_FAIL_OPEN_FILE;
    definition = read_audio_definition(krv_stdio_io(stream));
    fclose(stream);
    return definition > kMaxAudioDefinition ? KRV_ERROR_INVALID_VALUE : 1;
}

KrvFile* krv_create(const std::string& path, unsigned mode)
{
    if (unlink(path.c_str()) != 0 && errno != ENOENT)
        return nullptr;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode_t(mode));
    if (fd < 0)
        return nullptr;
    FILE* stream = fdopen(fd, "wb+");
    KrvFile* file = stream ? new (std::nothrow) KrvFile : nullptr;
    if (!file) {
        const int saved = stream ? ENOMEM : errno;
        if (stream)
            fclose(stream);
        else
            close(fd);
        errno = saved;
        return nullptr;
    }
    file->path = path;
    file->stream = stream;
    file->io = krv_stdio_io(stream);
    return file;
}

KrvFile* krv_open_io(const KrvIo& io, const std::string& name, const KrvMessageSink* sink)
{
    if (!io.read)
        return nullptr;
    KrvFile* file = new (std::nothrow) KrvFile;
    if (!file)
        return nullptr;
    file->path = name;
    file->io = io;
    return open_over(file, sink);
}

int krv_init(KrvFile* file)
{
    if (!file)
        return KRV_ERROR_INTERNAL;
    try {
        int64_t headerSize = parse_header(*file);
        if (headerSize < 0)
            return int(headerSize);
        file->position += uint64_t(headerSize);

        file->dataPosition = file->position;
        int r = parse_data_object(*file);
        if (r < 0)
            return r;
        file->position += kDataObjectHeaderSize;
        const uint64_t packetsPosition = file->dataPosition + kDataObjectHeaderSize;

        if ((file->flags & kFileSeekable) && file->io.seek) {
            // Index objects are not read; the seek only proves the data's end
            // is reachable, then the file goes back to the first packet.
            int64_t s = file->io.seek(file->io.context, file->dataPosition + file->data->size);
            if (s < 0)
                return 1;
            file->indexPosition = 0;
            s = file->io.seek(file->io.context, packetsPosition);
            if (s != 0 && uint64_t(s) != packetsPosition)
                return KRV_ERROR_SEEK;
        }
        return 1;
    } catch (const std::bad_alloc&) {
        return KRV_ERROR_OUTOFMEM;
    }
}

KrvPacket* krv_packet_create(const KrvFile* file, bool /*forReading*/)
{
    KrvPacket* packet = new (std::nothrow) KrvPacket;
    if (!packet)
        return nullptr;
    try {
        packet->buffer.assign(file ? file->packetSize : kPacketSize, 0);
        packet->payloads.assign(kPayloadSlots, KrvPayload{});
    } catch (const std::bad_alloc&) {
        delete packet;
        return nullptr;
    }
    packet->payloadCapacity = kPayloadCapacity;
    return packet;
}

void krv_packet_reset(KrvPacket* packet)
{
    if (!packet)
        return;
    packet->errorCorrectionLength = 0;
    packet->errorCorrectionData = nullptr;
    packet->packetLength = 0;
    packet->sequence = 0;
    packet->paddingLength = 0;
    packet->sendTime = 0;
    packet->duration = 0;
    packet->payloadCount = 0;
    packet->payloadDataLength = 0;
    packet->payloadData = nullptr;
    packet->lengthTypeFlags = 0;
    packet->propertyFlags = 0;
    packet->payloadFlags = 0;
    std::fill(packet->buffer.begin(), packet->buffer.end(), 0);
    std::fill(packet->payloads.begin(), packet->payloads.end(), KrvPayload{});
    packet->payloadCapacity = kPayloadCapacity;
}

void krv_packet_destroy(KrvPacket* packet)
{
    delete packet;
}

int krv_get_packet(KrvFile* file, KrvPacket* packet, bool continuing, const KrvSavedHeader* saved)
{
    if (!file || !packet)
        return KRV_ERROR_INTERNAL;
    if (file->packetCounter >= file->dataPacketsCount)
        return 0;
    if (packet->payloads.size() < kPayloadSlots) {
        try {
            packet->payloads.resize(kPayloadSlots);
        } catch (const std::bad_alloc&) {
            return KRV_ERROR_OUTOFMEM;
        }
    }
    packet->payloadCapacity = kPayloadCapacity;
    int r = read_packet(*file, *packet, continuing, saved);
    if (r < 0)
        return r;
    file->position += uint64_t(r);
    file->packetCounter += 1;
    return r;
}

void krv_close(KrvFile* file)
{
    if (!file)
        return;
    if (file->stream)
        fclose(file->stream);
    delete file;
}
