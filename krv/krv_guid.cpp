#include "krv/krv_guid.h"

#include <cstdio>
#include <iterator>

namespace {

constexpr KrvGuid guid(uint32_t d1, uint16_t d2, uint16_t d3, uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint8_t e,
                       uint8_t f, uint8_t g, uint8_t h)
{
    return KrvGuid{d1, d2, d3, {a, b, c, d, e, f, g, h}};
}

struct GuidEntry {
    const char* name;
    KrvGuid guid;
    KrvObjectKind kind;
};

// Order matters: the first match wins.
const GuidEntry kObjectGuids[] = {
    {"Header", guid(0x75B22630, 0x668E, 0x11CF, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C), KrvObjectKind::Header},
    {"Data", guid(0x75B22636, 0x668E, 0x11CF, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C), KrvObjectKind::Data},
    {"SimpleIndex", guid(0x33000890, 0xE5B1, 0x11CF, 0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB),
     KrvObjectKind::SimpleIndex},
    {"SimpleIndexKrv", guid(0x33000891, 0xE5B1, 0x11CF, 0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB),
     KrvObjectKind::SimpleIndex},
    {"FileProperties", guid(0x8CABDCA1, 0xA947, 0x11CF, 0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65),
     KrvObjectKind::FileProperties},
    {"StreamProperties", guid(0xB7DC0791, 0xA9B7, 0x11CF, 0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65),
     KrvObjectKind::StreamProperties},
    {"ContentDescription", guid(0x75B22633, 0x668E, 0x11CF, 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C),
     KrvObjectKind::ContentDescription},
    {"HeaderExtension", guid(0x5FBF03B5, 0xA92E, 0x11CF, 0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65),
     KrvObjectKind::HeaderExtension},
    {"Marker", guid(0xF487CD01, 0xA951, 0x11CF, 0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65), KrvObjectKind::Marker},
    {"CodecList", guid(0x86D15240, 0x311D, 0x11D0, 0xA3, 0xA4, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6),
     KrvObjectKind::CodecList},
    {"StreamBitrateProperties", guid(0x7BF875CE, 0x468D, 0x11D1, 0x8D, 0x82, 0x00, 0x60, 0x97, 0xC9, 0xA2, 0xB2),
     KrvObjectKind::StreamBitrateProperties},
    {"Padding", guid(0x1806D474, 0xCADF, 0x4509, 0xA4, 0xBA, 0x9A, 0xAB, 0xCB, 0x96, 0xAA, 0xE8),
     KrvObjectKind::Padding},
    {"ExtendedContentDescription", guid(0xD2D0A440, 0xE307, 0x11D2, 0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50),
     KrvObjectKind::ExtendedContentDescription},
    {"Metadata", guid(0xC5F8CBEA, 0x5BAF, 0x4877, 0x84, 0x67, 0xAA, 0x8C, 0x44, 0xFA, 0x4C, 0xCA),
     KrvObjectKind::Metadata},
    {"LanguageList", guid(0x7C4346A9, 0xEFE0, 0x4BFC, 0xB2, 0x29, 0x39, 0x3E, 0xDE, 0x41, 0x5C, 0x85),
     KrvObjectKind::LanguageList},
    {"ExtendedStreamProperties", guid(0x14E6A5CB, 0xC672, 0x4332, 0x83, 0x99, 0xA9, 0x69, 0x52, 0x06, 0x5B, 0x5A),
     KrvObjectKind::ExtendedStreamProperties},
    {"AdvancedMutualExclusion", guid(0xA08649CF, 0x4775, 0x4670, 0x8A, 0x16, 0x6E, 0x35, 0x35, 0x75, 0x66, 0xCD),
     KrvObjectKind::AdvancedMutualExclusion},
    {"StreamPrioritization", guid(0xD4FED15B, 0x88D3, 0x454F, 0x81, 0xF0, 0xED, 0x5C, 0x45, 0x99, 0x9E, 0x24),
     KrvObjectKind::StreamPrioritization},
};

const GuidEntry kStreamTypeGuids[] = {
    {"AudioMedia", guid(0xF8699E40, 0x5B4D, 0x11CF, 0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B),
     KrvObjectKind::AudioMedia},
    {"VideoMedia", guid(0xBC19EFC0, 0x5B4D, 0x11CF, 0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B),
     KrvObjectKind::VideoMedia},
    {"CommandMedia", guid(0x59DACFC0, 0x59E6, 0x11D0, 0xA3, 0xAC, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6),
     KrvObjectKind::CommandMedia},
    {"ExtendedStreamType", guid(0x3AFB65E2, 0x47EF, 0x40F2, 0xAC, 0x2C, 0x70, 0xA9, 0x0D, 0x71, 0xD3, 0x43),
     KrvObjectKind::ExtendedStreamType},
    {"ExtendedAudio", guid(0x31178C9D, 0x03E1, 0x4528, 0xB5, 0x82, 0x3D, 0xF9, 0xDB, 0x22, 0xF5, 0x03),
     KrvObjectKind::ExtendedAudio},
};

} // namespace

const KrvGuid kGuidHeader = kObjectGuids[0].guid;
const KrvGuid kGuidData = kObjectGuids[1].guid;
const KrvGuid kGuidSimpleIndex = kObjectGuids[2].guid;
const KrvGuid kGuidSimpleIndexKrv = kObjectGuids[3].guid;
const KrvGuid kGuidFileProperties = kObjectGuids[4].guid;
const KrvGuid kGuidStreamProperties = kObjectGuids[5].guid;
const KrvGuid kGuidHeaderExtension = kObjectGuids[7].guid;
const KrvGuid kGuidExtendedStreamProperties = kObjectGuids[15].guid;
const KrvGuid kGuidAudioMedia = kStreamTypeGuids[0].guid;
const KrvGuid kGuidVideoMedia = kStreamTypeGuids[1].guid;
const KrvGuid kGuidKrvFileId = guid(0xE6A9E968, 0xEC23, 0x4DCC, 0x85, 0x9F, 0x07, 0x1C, 0xAD, 0xD8, 0x8D, 0xF1);

KrvGuid krv_guid_read(const uint8_t* b)
{
    KrvGuid g;
    g.data1 = uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
    g.data2 = uint32_t(b[4]) | (uint32_t(b[5]) << 8);
    g.data3 = uint16_t(b[6] | (b[7] << 8));
    for (int i = 0; i < 8; ++i)
        g.data4[i] = b[8 + i];
    return g;
}

void krv_guid_write(const KrvGuid& g, uint8_t* b)
{
    for (int i = 0; i < 4; ++i)
        b[i] = uint8_t(g.data1 >> (8 * i));
    b[4] = uint8_t(g.data2);
    b[5] = uint8_t(g.data2 >> 8);
    b[6] = uint8_t(g.data3);
    b[7] = uint8_t(g.data3 >> 8);
    for (int i = 0; i < 8; ++i)
        b[8 + i] = g.data4[i];
}

KrvObjectKind krv_guid_kind(const KrvGuid& g)
{
    for (const GuidEntry& e : kObjectGuids)
        if (e.guid == g)
            return e.kind;
    for (const GuidEntry& e : kStreamTypeGuids)
        if (e.guid == g)
            return e.kind;
    return KrvObjectKind::Unknown;
}

std::string krv_guid_text(const KrvGuid& g)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.data1, g.data2 & 0xFFFF,
                  g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6],
                  g.data4[7]);
    return buf;
}
