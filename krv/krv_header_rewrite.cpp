#include "krv/krv_header_rewrite.h"

#include <algorithm>
#include <cstring>

#include "krv/krv_guid.h"
#include "krv/krv_io.h"

namespace {

constexpr uint64_t kFilePropsFileSize = 40;
constexpr uint64_t kFilePropsPacketCount = 56;
constexpr uint64_t kFilePropsPlayDuration = 64;
constexpr uint64_t kFilePropsSendDuration = 72;
constexpr uint64_t kStreamPropsMinSize = 78;
constexpr uint64_t kStreamPropsFlags = 72;
constexpr uint64_t kStreamPropsTypeData = 78;
constexpr uint64_t kVideoCompression = 27; // inside the video type-specific data
constexpr uint64_t kVideoTypeDataMin = 51;
constexpr uint64_t kDataObjectSizeField = 16;
constexpr uint64_t kDataObjectPacketsField = 40;
constexpr uint64_t kTicksPerMs = 10000;
constexpr char kMpeg4Code[4] = {'M', 'P', '4', 'S'};
static_assert(kRecorderVideoPropsOffset + kStreamPropsTypeData + kVideoCompression == kRecorderCompressionOffset,
              "the compression code of the recorder's video stream");
static_assert(kRecorderVideoPropsOffset + kStreamPropsFlags == kRecorderStreamNumberOffset,
              "the stream number of the recorder's video stream");

struct Object {
    uint64_t offset = 0;
    uint64_t size = 0;
    KrvObjectKind kind = KrvObjectKind::Unknown;
    KrvObjectKind streamType = KrvObjectKind::Unknown; // stream properties only
};

// What the walk of a header copy found.
struct Layout {
    uint64_t headerSize = 0;     // Header object
    std::vector<Object> objects; // its sub-objects in file order
    const Object* fileProps = nullptr;
    const Object* video = nullptr; // the stream properties object the channel keeps
    const Object* audio = nullptr; // the audio object to cut, when it is one
    bool recorder = false;         // the recorder's fixed offsets apply
};

bool walk(const std::vector<uint8_t>& copy, const KrvHeaderRewrite& how, Layout& layout)
{
    if (copy.size() < kHeaderFixedSize + kDataObjectHeaderSize)
        return false;
    const uint8_t* b = copy.data();
    layout.headerSize = krv_u64(b + 16);
    if (layout.headerSize != copy.size() - kDataObjectHeaderSize || layout.headerSize < kHeaderFixedSize)
        return false;
    for (uint64_t at = kHeaderFixedSize; at + kObjectPrefixSize <= layout.headerSize;) {
        Object o;
        o.offset = at;
        o.size = krv_u64(b + at + 16);
        if (o.size < kObjectPrefixSize || o.size > layout.headerSize - at)
            break;
        o.kind = krv_guid_kind(krv_guid_read(b + at));
        if (o.kind == KrvObjectKind::StreamProperties && o.size >= kStreamPropsMinSize)
            o.streamType = krv_guid_kind(krv_guid_read(b + at + kObjectPrefixSize));
        layout.objects.push_back(o);
        at += o.size;
    }

    const int wanted = how.channel + 1;
    const Object* firstVideo = nullptr;
    for (const Object& o : layout.objects) {
        if (o.kind == KrvObjectKind::FileProperties && !layout.fileProps && o.size >= 104)
            layout.fileProps = &o;
        if (o.streamType == KrvObjectKind::VideoMedia) {
            if (!firstVideo)
                firstVideo = &o;
            if ((krv_u16(b + o.offset + kStreamPropsFlags) & 0x7F) == wanted && !layout.video)
                layout.video = &o;
        }
        if (o.offset == how.audioPropsOffset && o.size == how.audioPropsSize &&
            o.streamType == KrvObjectKind::AudioMedia)
            layout.audio = &o;
    }
    const Object* atRecorderOffset = nullptr;
    for (const Object& o : layout.objects) {
        if (o.offset == kRecorderVideoPropsOffset)
            atRecorderOffset = &o;
    }
    // The recorder's layout: a video stream properties object at 180 whose
    // bitmap compression code sits at 285 - and no other video stream already
    // numbered for this channel, which renumbering would duplicate.
    layout.recorder = atRecorderOffset && atRecorderOffset->streamType == KrvObjectKind::VideoMedia &&
                      atRecorderOffset->size >= kStreamPropsMinSize + kVideoTypeDataMin &&
                      krv_u32(b + atRecorderOffset->offset + 64) >= kVideoTypeDataMin &&
                      (!layout.video || layout.video == atRecorderOffset);
    if (layout.recorder)
        layout.video = atRecorderOffset;
    else if (!layout.video)
        layout.video = firstVideo;
    return true;
}

bool cutsAudio(const Layout& layout, const KrvHeaderRewrite& how)
{
    return !how.keepAudio && layout.audio != nullptr;
}

// A sub-object the reader does not interpret, holding [from, to).
const Object* vendorAreaAround(const Layout& layout, uint64_t from, uint64_t to)
{
    for (const Object& o : layout.objects) {
        if (from >= o.offset + kObjectPrefixSize && to <= o.offset + o.size)
            return o.kind == KrvObjectKind::Unknown || o.kind == KrvObjectKind::Padding ? &o : nullptr;
    }
    return nullptr;
}

} // namespace

uint64_t krv_channel_header_size(const std::vector<uint8_t>& copy, const KrvHeaderRewrite& how)
{
    Layout layout;
    if (!walk(copy, how, layout))
        return 0;
    return copy.size() - (cutsAudio(layout, how) ? layout.audio->size : 0);
}

std::vector<uint8_t> krv_rewrite_header(const std::vector<uint8_t>& copy, const KrvHeaderRewrite& how,
                                        const KrvFile& out)
{
    Layout layout;
    if (!walk(copy, how, layout))
        return {};
    std::vector<uint8_t> h = copy;
    uint8_t* b = h.data();
    const bool cut = cutsAudio(layout, how);
    const uint64_t cutSize = cut ? layout.audio->size : 0;

    if (layout.fileProps) {
        uint8_t* fp = b + layout.fileProps->offset;
        krv_put_u64(fp + kFilePropsFileSize, out.bytesWritten);
        krv_put_u64(fp + kFilePropsPacketCount, out.packetsWritten);
        krv_put_u64(fp + kFilePropsPlayDuration, (out.preroll + out.sendDurationMs) * kTicksPerMs);
        krv_put_u64(fp + kFilePropsSendDuration, uint64_t(out.sendDurationMs) * kTicksPerMs);
    }

    const uint16_t streamNumber = uint16_t(how.channel + 1);
    if (layout.recorder) {
        krv_put_u32(b + kRecorderStreamNumberOffset, streamNumber);
        uint8_t code[4];
        std::memcpy(code, b + kRecorderCompressionOffset, 4);
        std::memcpy(b + kRecorderCompressionOffset, kMpeg4Code, 4);
        // The codec list repeats the code; only rewrite it where it does.
        const uint64_t second = kRecorderCodecListCodeOffset;
        if (cut && second + 4 <= layout.headerSize && second >= layout.audio->offset + cutSize &&
            std::memcmp(b + second, code, 4) == 0)
            std::memcpy(b + second, kMpeg4Code, 4);

        if (how.avSync && vendorAreaAround(layout, kRecorderResolutionOffset, kRecorderAudioTableOffset)) {
            b[kRecorderResolutionOffset] = out.resolutionIndex;
            b[kRecorderVendorFlagOffset] = 1;
            b[kRecorderVendorZeroOffset] = 0;
            if (!how.keepAudio)
                b[kRecorderAudioFlagOffset] = 0;
        }
        if (how.avSync && how.keepAudio) {
            const Object* area = vendorAreaAround(layout, kRecorderResolutionOffset, kRecorderAudioTableOffset + 4);
            if (area) {
                const uint64_t end =
                    std::min(area->offset + area->size, kRecorderAudioTableOffset + kAudioPositionTableSize);
                const size_t room = size_t((end - kRecorderAudioTableOffset) / 4);
                const size_t n = std::min({out.audioPositions.size(), room, kMaxAudioPositions});
                for (size_t i = 0; i < n; ++i) {
                    uint8_t* e = b + kRecorderAudioTableOffset + 4 * i;
                    const uint32_t v = out.audioPositions[i];
                    e[0] = uint8_t(v >> 24);
                    e[1] = uint8_t(v >> 16);
                    e[2] = uint8_t(v >> 8);
                    e[3] = uint8_t(v);
                }
            }
        }
    } else if (layout.video) {
        uint8_t* flags = b + layout.video->offset + kStreamPropsFlags;
        krv_put_u16(flags, uint16_t((krv_u16(flags) & 0xFF80) | streamNumber));
    }

    if (cut) {
        krv_put_u64(b + 16, layout.headerSize - cutSize);
        krv_put_u32(b + 24, krv_u32(b + 24) - 1);
        h.erase(h.begin() + std::ptrdiff_t(layout.audio->offset),
                h.begin() + std::ptrdiff_t(layout.audio->offset + cutSize));
        b = h.data();
    }
    const uint64_t newHeaderSize = layout.headerSize - cutSize;
    krv_put_u64(b + newHeaderSize + kDataObjectSizeField,
                out.bytesWritten > newHeaderSize ? out.bytesWritten - newHeaderSize : kDataObjectHeaderSize);
    krv_put_u64(b + newHeaderSize + kDataObjectPacketsField, out.packetsWritten);
    return h;
}

int krv_finish_header(const KrvHeaderRewrite& how, KrvFile& out, const std::vector<uint8_t>& copy)
{
    out.playDuration = (out.preroll + out.sendDurationMs) * kTicksPerMs;
    out.sendDuration = uint64_t(out.sendDurationMs) * kTicksPerMs;
    out.dataPacketsCount = out.packetsWritten;
    const std::vector<uint8_t> header = krv_rewrite_header(copy, how, out);
    if (header.empty())
        return KRV_ERROR_INTERNAL;
    if (!out.io.write || !out.io.seek)
        return KRV_ERROR_INTERNAL;
    if (out.io.seek(out.io.context, 0) != 0)
        return KRV_ERROR_IO;
    if (out.io.write(out.io.context, header.data(), header.size()) != int64_t(header.size()))
        return KRV_ERROR_IO;
    return 0;
}
