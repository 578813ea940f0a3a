#include "krv_fixture.h"

#include <fstream>
#include <unistd.h>

#include "krv/krv_guid.h"
#include "krv/krv_reader.h"

namespace krvtest {

void put16(Bytes& b, uint16_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void put32(Bytes& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}
void put64(Bytes& b, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}
void putGuid(Bytes& b, const KrvGuid& g)
{
    uint8_t raw[16];
    krv_guid_write(g, raw);
    b.insert(b.end(), raw, raw + 16);
}
void set32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.at(at + i) = uint8_t(v >> (8 * i));
}
void set64(Bytes& b, size_t at, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        b.at(at + i) = uint8_t(v >> (8 * i));
}

const KrvGuid kFileId{0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
const KrvGuid kGuidCommandMedia{0x59DACFC0, 0x59E6, 0x11D0, {0xA3, 0xAC, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6}};
const KrvGuid kGuidExtendedStreamType{0x3AFB65E2, 0x47EF, 0x40F2, {0xAC, 0x2C, 0x70, 0xA9, 0x0D, 0x71, 0xD3, 0x43}};
const KrvGuid kGuidPadding{0x1806D474, 0xCADF, 0x4509, {0xA4, 0xBA, 0x9A, 0xAB, 0xCB, 0x96, 0xAA, 0xE8}};
const KrvGuid kGuidContentDescription{0x75B22633, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}};
const KrvGuid kGuidCodecList{0x86D15240, 0x311D, 0x11D0, {0xA3, 0xA4, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6}};
const KrvGuid kGuidExtendedAudio{0x31178C9D, 0x03E1, 0x4528, {0xB5, 0x82, 0x3D, 0xF9, 0xDB, 0x22, 0xF5, 0x03}};
const KrvGuid kGuidUnknown{0xDEADBEEF, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

Bytes object(const KrvGuid& guid, const Bytes& body, std::optional<uint64_t> size)
{
    Bytes b;
    putGuid(b, guid);
    put64(b, size.value_or(body.size() + kObjectPrefixSize));
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

Bytes fileProperties(const FileProps& p)
{
    Bytes body;
    putGuid(body, p.fileId);
    put64(body, 0); // file size
    put64(body, 0); // creation date
    put64(body, p.dataPackets);
    put64(body, p.playDuration);
    put64(body, p.sendDuration);
    put64(body, p.preroll);
    put32(body, p.flags);
    put32(body, p.minPacket);
    put32(body, p.maxPacket);
    put32(body, 1'000'000); // max bitrate
    body.resize(p.size - kObjectPrefixSize, 0);
    return object(kGuidFileProperties, body, p.size);
}

Bytes streamProperties(const KrvGuid& type, uint16_t flags, const Bytes& typeData, std::optional<uint32_t> typeLength,
                       uint32_t trailing)
{
    Bytes body;
    putGuid(body, type);
    body.resize(body.size() + 16, 0); // error correction type
    put64(body, 0);                   // time offset
    put32(body, typeLength.value_or(uint32_t(typeData.size())));
    put32(body, 0); // error correction data length
    put16(body, flags);
    put32(body, 0); // reserved
    body.insert(body.end(), typeData.begin(), typeData.end());
    body.resize(body.size() + trailing, 0);
    return object(kGuidStreamProperties, body);
}

Bytes videoStream(const VideoProps& p)
{
    Bytes t;
    put32(t, p.width);
    put32(t, p.height);
    t.push_back(p.reserved);
    put16(t, uint16_t(40 + p.extra));
    put32(t, p.bitmapHeaderSize.value_or(40 + p.extra));
    put32(t, p.bitmapWidth);
    put32(t, p.bitmapHeight);
    put16(t, 1);  // planes
    put16(t, 24); // bit count
    t.insert(t.end(), {'M', 'P', '4', 'S'});
    put32(t, p.width * p.height * 3);
    put32(t, 0);
    put32(t, 0);
    put32(t, 0);
    put32(t, 0);
    for (uint32_t i = 0; i < p.extra; ++i)
        t.push_back(uint8_t(i));
    return streamProperties(kGuidVideoMedia, p.flags, t, p.typeLength);
}

Bytes audioStream(const AudioProps& p)
{
    Bytes t;
    put16(t, 2); // MS ADPCM
    put16(t, 1);
    put32(t, 8000);
    put32(t, 4096);
    put16(t, p.blockAlign);
    put16(t, 4);
    put16(t, p.extraSize);
    for (uint32_t i = 0; i < p.extraBytes; ++i)
        t.push_back(uint8_t(0x40 + i));
    return streamProperties(p.type ? *p.type : kGuidAudioMedia, p.flags, t, p.typeLength);
}

Bytes headerExtension(const std::vector<Bytes>& objects, std::optional<uint32_t> dataSize)
{
    Bytes data;
    for (const Bytes& o : objects)
        data.insert(data.end(), o.begin(), o.end());
    Bytes body;
    body.resize(16, 0x11); // reserved GUID
    put16(body, 6);
    put32(body, dataSize.value_or(uint32_t(data.size())));
    body.insert(body.end(), data.begin(), data.end());
    return object(kGuidHeaderExtension, body);
}

Bytes extendedStreamProperties(const ExtStreamProps& p)
{
    Bytes body;
    put64(body, 0);
    put64(body, 0);
    for (int i = 0; i < 7; ++i)
        put32(body, 1000 + i); // bitrates, buffers, max object size
    put32(body, 0);            // flags
    put16(body, p.streamNumber);
    put16(body, 0);       // language
    put64(body, 333'333); // time per frame
    put16(body, uint16_t(p.names.size()));
    put16(body, uint16_t(p.extensionSystems.size()));
    for (uint16_t len : p.names) {
        put16(body, 0);
        put16(body, len);
        body.resize(body.size() + len, 'n');
    }
    for (uint32_t len : p.extensionSystems) {
        body.resize(body.size() + 16, 0x22);
        put16(body, 0xFFFF);
        put32(body, len);
        body.resize(body.size() + len, 'i');
    }
    body.insert(body.end(), p.embedded.begin(), p.embedded.end());
    return object(kGuidExtendedStreamProperties, body, p.size);
}

Bytes header(const std::vector<Bytes>& objects, std::optional<uint32_t> count, std::optional<uint64_t> size)
{
    Bytes subs = object(kGuidPadding, Bytes(700, 0));
    for (const Bytes& o : objects)
        subs.insert(subs.end(), o.begin(), o.end());
    Bytes b;
    putGuid(b, kGuidHeader);
    put64(b, size.value_or(subs.size() + kHeaderFixedSize));
    put32(b, count.value_or(uint32_t(objects.size() + 1)));
    b.push_back(1);
    b.push_back(2);
    b.insert(b.end(), subs.begin(), subs.end());
    return b;
}

Bytes dataObject(const KrvGuid& fileId, uint64_t totalPackets, std::optional<uint64_t> size)
{
    Bytes b;
    putGuid(b, kGuidData);
    put64(b, size.value_or(kDataObjectHeaderSize + totalPackets * kPacketSize));
    putGuid(b, fileId);
    put64(b, totalPackets);
    put16(b, 0x0101);
    return b;
}

Bytes payloadHeader(const PayloadSpec& s, bool multiple)
{
    Bytes b;
    b.push_back(uint8_t(s.stream | (s.key ? 0x80 : 0)));
    b.push_back(s.objectNumber);
    put32(b, s.offset);
    uint8_t rep = s.replicatedLength.value_or(8);
    b.push_back(rep);
    if (rep >= 8) {
        put32(b, s.objectSize ? s.objectSize : uint32_t(s.data.size()));
        put32(b, s.time);
        b.resize(b.size() + (rep - 8), 0);
    } else {
        b.resize(b.size() + rep, 0);
    }
    if (multiple)
        put16(b, s.declaredLength.value_or(uint16_t(s.data.size())));
    return b;
}

Bytes packet(const PacketSpec& p)
{
    Bytes area;
    if (!p.rawPayloadArea.empty()) {
        area = p.rawPayloadArea;
    } else {
        for (const PayloadSpec& s : p.payloads) {
            Bytes h = payloadHeader(s, p.multiple);
            area.insert(area.end(), h.begin(), h.end());
            area.insert(area.end(), s.data.begin(), s.data.end());
        }
    }
    Bytes b = p.errorCorrection;
    uint8_t ltf = 0x10 | (p.multiple ? 1 : 0); // u16 padding length
    if (p.packetLength)
        ltf |= 0x40; // u16 packet length
    b.push_back(ltf);
    b.push_back(0x5D); // recorder property flags
    if (p.packetLength)
        put16(b, *p.packetLength);
    size_t headerSize = b.size() + 2 + 6 + (p.multiple ? 1 : 0);
    put16(b, p.padding.value_or(uint16_t(kPacketSize - headerSize - area.size())));
    put32(b, p.sendTime);
    put16(b, p.duration);
    if (p.multiple)
        b.push_back(uint8_t((p.announced.value_or(uint8_t(p.payloads.size())) & 0x3F) | (p.payloadLengthType << 6)));
    b.insert(b.end(), area.begin(), area.end());
    b.resize(kPacketSize, 0);
    return b;
}

Bytes simplePacket()
{
    PacketSpec p;
    p.payloads.push_back(PayloadSpec{});
    return packet(p);
}

Bytes build(const Recording& r)
{
    std::vector<Bytes> objects;
    if (r.withFileProperties)
        objects.push_back(fileProperties(r.file));
    if (r.withVideo)
        objects.push_back(videoStream(r.video));
    if (r.withAudio)
        objects.push_back(audioStream(r.audio));
    for (const Bytes& o : r.extraObjects)
        objects.push_back(o);
    if (r.withExtension)
        objects.push_back(headerExtension(r.extensionObjects));
    Bytes b = header(objects, r.count, r.headerSize);
    Bytes d = dataObject(r.dataFileId, r.dataTotal.value_or(r.file.dataPackets), r.dataSize);
    b.insert(b.end(), d.begin(), d.end());
    for (const Bytes& p : r.packets)
        b.insert(b.end(), p.begin(), p.end());
    if (r.audioDefinition)
        b.at(kAudioDefinitionOffset) = *r.audioDefinition;
    return b;
}

namespace {

// One folder per test process, removed when the process ends.
struct TempFolder {
    std::filesystem::path path;
    TempFolder()
    {
        path = std::filesystem::temp_directory_path() / ("krv_tests_" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

} // namespace

std::filesystem::path tempDir()
{
    static TempFolder folder;
    return folder.path;
}

std::string writeTemp(const Bytes& bytes, const std::string& name)
{
    std::filesystem::path path = tempDir() / name; // UTF-8 bytes as they are
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path.string();
}

} // namespace krvtest

namespace krvtest {

Opened openBytes(const Bytes& bytes, const std::string& name)
{
    Opened o;
    std::string path = writeTemp(bytes, name);
    o.file.reset(krv_open(path, true));
    o.init = o.file ? krv_init(o.file.get()) : KRV_ERROR_FAIL_OPEN_FILE;
    return o;
}

} // namespace krvtest
