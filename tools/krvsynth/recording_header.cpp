#include "recording_header.h"

#include <cassert>
#include <string_view>

#include "asf_guids.h"

namespace krvsynth {

namespace {

constexpr uint64_t kCodecInfoOffset = 617; // video codec information of the codec list
constexpr uint64_t kCodecListOffset = 437;

void putGuid(Bytes& b, const GuidBytes& g)
{
    b.insert(b.end(), g.begin(), g.end());
}

// Object prefix with a size patched in by endObject.
size_t beginObject(Bytes& b, const GuidBytes& g)
{
    size_t start = b.size();
    putGuid(b, g);
    putU64(b, 0);
    return start;
}

void endObject(Bytes& b, size_t start)
{
    setU64(b.data() + start + 16, b.size() - start);
}

void putWideString(Bytes& b, std::u16string_view s)
{
    for (char16_t c : s)
        putU16(b, uint16_t(c));
    putU16(b, 0);
}

void putFileProperties(Bytes& b, const HeaderFields& f)
{
    size_t start = beginObject(b, kFilePropertiesGuid);
    putGuid(b, f.fileId);
    putU64(b, f.fileSize);
    putU64(b, f.creationDate);
    putU64(b, f.packets);
    putU64(b, f.playDuration);
    putU64(b, f.sendDuration);
    putU64(b, f.prerollMs);
    putU32(b, 2); // seekable
    uint32_t minSize = kPacketSize, maxSize = kPacketSize;
    if (f.damage == Damage::BadPacketSize)
        minSize = maxSize = 32000;
    else if (f.damage == Damage::PacketSizeMismatch)
        maxSize = 32000;
    putU32(b, minSize);
    putU32(b, maxSize);
    putU32(b, f.maxBitrate);
    endObject(b, start);
}

void putHeaderExtension(Bytes& b, Damage damage)
{
    if (damage == Damage::NoHeaderExtension) {
        // Same size, so every later offset stays where the recorder puts it.
        size_t start = beginObject(b, kPaddingGuid);
        b.resize(b.size() + 22, 0);
        endObject(b, start);
        return;
    }
    size_t start = beginObject(b, kHeaderExtensionGuid);
    putGuid(b, kHeaderExtensionReservedGuid);
    putU16(b, 6);
    putU32(b, 0);
    endObject(b, start);
}

void putVideoStream(Bytes& b, const HeaderFields& f)
{
    size_t start = beginObject(b, kStreamPropertiesGuid);
    putGuid(b, kVideoMediaGuid);
    putGuid(b, kNoErrorCorrectionGuid);
    putU64(b, 0);  // time offset
    putU32(b, 51); // type-specific data: 11 + 40-byte bitmap header
    putU32(b, 0);
    putU16(b, 2); // stream number 2 = channel 1; the splitter renumbers per channel
    putU32(b, 0);
    putU32(b, uint32_t(f.width));
    putU32(b, uint32_t(f.height));
    putU8(b, 2);
    putU16(b, 40);
    putU32(b, 40);
    putU32(b, uint32_t(f.width));
    putU32(b, uint32_t(f.height));
    putU16(b, 1);
    putU16(b, 24);
    putAscii(b, "MP4S");
    putU32(b, uint32_t(f.width) * uint32_t(f.height) * 3);
    putU32(b, 0);
    putU32(b, 0);
    putU32(b, 0);
    putU32(b, 0);
    if (f.damage == Damage::ShortStreamProps)
        b.resize(start + 70);
    endObject(b, start);
}

void putAudioStream(Bytes& b, const AudioFormat& a)
{
    size_t start = beginObject(b, kStreamPropertiesGuid);
    putGuid(b, kAudioMediaGuid);
    putGuid(b, kNoErrorCorrectionGuid);
    putU64(b, 0);
    putU32(b, uint32_t(18 + a.extra.size()));
    putU32(b, 0);
    putU16(b, 1); // stream number 1
    putU32(b, 0);
    putU16(b, 2); // Microsoft ADPCM
    putU16(b, a.channels);
    putU32(b, a.sampleRate);
    putU32(b, a.avgBytesPerSecond);
    putU16(b, a.blockAlign);
    putU16(b, a.bitsPerSample);
    putU16(b, uint16_t(a.extra.size()));
    putBytes(b, a.extra);
    endObject(b, start);
}

// The audio entry comes first so that the video entry's codec information
// ends the object at 621 and the settings object can hold offset 649.
void putCodecList(Bytes& b)
{
    size_t start = beginObject(b, kCodecListGuid);
    putGuid(b, kCodecListReservedGuid);
    putU32(b, 2);

    putU16(b, 2); // audio codec
    const std::u16string_view audioName = u"Microsoft ADPCM";
    const std::u16string_view audioDesc = u"8 kHz, 4 bits, mono";
    putU16(b, uint16_t(audioName.size() + 1));
    putWideString(b, audioName);
    putU16(b, uint16_t(audioDesc.size() + 1));
    putWideString(b, audioDesc);
    putU16(b, 2);
    putU16(b, 2);

    putU16(b, 1); // video codec
    const std::u16string_view videoName = u"MPEG-4 Video";
    putU16(b, uint16_t(videoName.size() + 1));
    putWideString(b, videoName);
    // Pad the description so the codec information lands at its fixed offset.
    const uint64_t infoAt = start + (kCodecInfoOffset - kCodecListOffset);
    const uint64_t descBytes = infoAt - 2 - (b.size() + 2);
    assert(descBytes % 2 == 0 && descBytes >= 2);
    std::u16string desc = u"Simple Profile";
    desc.resize(descBytes / 2 - 1, u' ');
    putU16(b, uint16_t(desc.size() + 1));
    putWideString(b, desc);
    putU16(b, 4);
    assert(b.size() == infoAt);
    putAscii(b, "MP4S");
    endObject(b, start);
}

void putSettings(Bytes& b, const HeaderFields& f)
{
    size_t start = beginObject(b, kVendorSettingsGuid);
    assert(b.size() <= kAudioDefOffset);
    b.resize(kDataObjectOffset, 0);
    uint8_t* p = b.data();
    p[kAudioDefOffset] = f.damage == Damage::BadAudioDef ? 0x15 : f.audioDef;
    p[650] = resolutionIndex(f.width, f.height);
    p[651] = 1;
    p[653] = 0;
    p[659] = 1;
    endObject(b, start);
}

} // namespace

GuidBytes recordingFileId(const std::string& seed)
{
    GuidBytes id{};
    // Two FNV-1a hashes of the seed, told apart by their offset bases.
    uint64_t halves[2] = {0xcbf29ce484222325ull, 0x84222325cbf29ce4ull};
    for (uint64_t& h : halves)
        for (const unsigned char c : seed)
            h = (h ^ c) * 0x100000001b3ull;
    for (size_t i = 0; i < id.size(); ++i)
        id[i] = uint8_t(halves[i / 8] >> (8 * (i % 8)));
    id[7] = uint8_t((id[7] & 0x0F) | 0x40); // a version 4 GUID, as random ones are
    id[8] = uint8_t((id[8] & 0x3F) | 0x80);
    return id;
}

uint8_t resolutionIndex(int w, int h)
{
    struct Size {
        int w, h;
        uint8_t index;
    };
    static constexpr Size kSizes[] = {{160, 128, 0}, {176, 144, 1}, {320, 240, 2},  {320, 256, 3},  {352, 288, 4},
                                      {640, 480, 5}, {800, 600, 6}, {1024, 768, 7}, {1600, 1200, 8}};
    for (const Size& s : kSizes)
        if (s.w == w && s.h == h)
            return s.index;
    return 2;
}

Bytes buildRecordingHeader(const HeaderFields& f)
{
    Bytes b;
    b.reserve(kDataObjectOffset + 50);
    putGuid(b, kHeaderGuid);
    putU64(b, kDataObjectOffset);
    putU32(b, f.audio ? 6 : 5);
    putU8(b, 1);
    putU8(b, 2);

    putFileProperties(b, f);
    putHeaderExtension(b, f.damage);
    putVideoStream(b, f);
    if (f.audio)
        putAudioStream(b, *f.audio);
    putCodecList(b);
    putSettings(b, f);

    // Data object header.
    putGuid(b, kDataGuid);
    putU64(b, 50 + f.packets * kPacketSize);
    putGuid(b, f.fileId);
    putU64(b, f.packets);
    putU16(b, 0x0101);
    return b;
}

} // namespace krvsynth
