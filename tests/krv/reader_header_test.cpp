// krv_init over crafted headers: every rule of the Header, its sub-objects,
// the header extension and the Data object header.
#include <functional>

#include <gtest/gtest.h>

#include "krv/krv_guid.h"
#include "krv/krv_reader.h"
#include "krv_fixture.h"

using namespace krvtest;

namespace {

struct HeaderCase {
    const char* name;
    std::function<void(Recording&)> change;
    int expected;
};

std::ostream& operator<<(std::ostream& os, const HeaderCase& c)
{
    return os << c.name;
}

Bytes contentDescription(uint16_t firstLength, size_t bodyBytes)
{
    Bytes body;
    put16(body, firstLength);
    for (int i = 0; i < 4; ++i)
        put16(body, 0);
    body.resize(bodyBytes, 0);
    return object(kGuidContentDescription, body);
}

const HeaderCase kHeaderCases[] = {
    {"Valid", [](Recording&) {}, 1},
    {"NoAudioStream", [](Recording& r) { r.withAudio = false; }, 1},
    {"MissingHeaderExtension", [](Recording& r) { r.withExtension = false; }, KRV_ERROR_INVALID_OBJECT},
    {"PacketSizes32000And32000", [](Recording& r) { r.file.minPacket = r.file.maxPacket = 32000; },
     KRV_ERROR_INVALID_PACKET_SIZE},
    {"PacketSizes32768And32000", [](Recording& r) { r.file.maxPacket = 32000; }, KRV_ERROR_INVALID_VALUE},
    {"FilePropertiesTooSmall", [](Recording& r) { r.file.size = 100; }, KRV_ERROR_INVALID_OBJECT_SIZE},
    {"SecondFileProperties", [](Recording& r) { r.extraObjects.push_back(fileProperties(r.file)); },
     KRV_ERROR_INVALID_OBJECT},
    {"DuplicateStreamNumber", [](Recording& r) { r.audio.flags = 2; }, KRV_ERROR_INVALID_OBJECT},
    {"StreamNumberHighBitsIgnored", [](Recording& r) { r.audio.flags = 0x8001; }, 1},
    {"DuplicateAfterMasking", [](Recording& r) { r.audio.flags = 0x0082; }, KRV_ERROR_INVALID_OBJECT},
    {"MoreSubObjectsAnnounced", [](Recording& r) { r.count = 9; }, KRV_ERROR_INVALID_VALUE},
    {"FewerSubObjectsAnnounced", [](Recording& r) { r.count = 2; }, KRV_ERROR_INVALID_VALUE},
    {"CountHighBitsIgnored", [](Recording& r) { r.count = 0x10005; }, 1},
    {"ZeroSubObjectsAnnounced", [](Recording& r) { r.count = 0; }, KRV_ERROR_INVALID_VALUE},
    {"HeaderSizeBelow30", [](Recording& r) { r.headerSize = 29; }, KRV_ERROR_INVALID_OBJECT_SIZE},
    {"HeaderSizeAbsurd", [](Recording& r) { r.headerSize = uint64_t(1) << 40; }, KRV_ERROR_INVALID_OBJECT_SIZE},
    {"HeaderSizePastFileEnd", [](Recording& r) { r.headerSize = 60u << 20; }, KRV_ERROR_EOF},
    {"JunkBetweenObjects",
     [](Recording& r) {
         r.extraObjects.push_back(Bytes(10, 0));
         r.count = 5;
     },
     KRV_ERROR_INVALID_VALUE},
    {"NoStreamProperties",
     [](Recording& r) {
         r.withAudio = false;
         r.withVideo = false;
     },
     KRV_ERROR_INVALID_OBJECT},
    {"NoFileProperties", [](Recording& r) { r.withFileProperties = false; }, KRV_ERROR_INVALID_OBJECT},
    {"VideoBitmapWidthDiffers", [](Recording& r) { r.video.bitmapWidth = 320; }, KRV_ERROR_INVALID_VALUE},
    {"VideoBitmapHeightDiffers", [](Recording& r) { r.video.bitmapHeight = 240; }, KRV_ERROR_INVALID_VALUE},
    {"VideoReservedFlagsZero", [](Recording& r) { r.video.reserved = 0; }, KRV_ERROR_INVALID_VALUE},
    {"VideoTypeDataTooShort", [](Recording& r) { r.video.typeLength = 50; }, KRV_ERROR_INVALID_LENGTH},
    {"VideoBitmapHeaderSizeWrong", [](Recording& r) { r.video.bitmapHeaderSize = 44; }, KRV_ERROR_INVALID_LENGTH},
    {"VideoLengthCheckedBeforeWidth",
     [](Recording& r) {
         r.video.bitmapHeaderSize = 44;
         r.video.bitmapWidth = 1;
     },
     KRV_ERROR_INVALID_LENGTH},
    {"VideoCodecExtraData", [](Recording& r) { r.video.extra = 12; }, 1},
    {"TypeLengthPastObject", [](Recording& r) { r.video.typeLength = 52; }, KRV_ERROR_INVALID_LENGTH},
    {"AudioTypeDataTooShort",
     [](Recording& r) {
         r.audio.extraBytes = 0;
         r.audio.extraSize = 0;
         r.audio.typeLength = 17;
     },
     KRV_ERROR_INVALID_LENGTH},
    {"AudioExtraSizeBeyondLMinus16", [](Recording& r) { r.audio.extraSize = 35; }, KRV_ERROR_INVALID_LENGTH},
    {"AudioExtraSizeClamped", [](Recording& r) { r.audio.extraSize = 34; }, 1},
    {"ExtendedAudioType", [](Recording& r) { r.audio.type = &kGuidExtendedAudio; }, 1},
    {"StreamPropertiesOf70Bytes",
     [](Recording& r) {
         r.extraObjects.push_back(object(kGuidStreamProperties, Bytes(46, 0)));
         r.count = {};
     },
     KRV_ERROR_INVALID_OBJECT_SIZE},
    {"ExtendedStreamTypeTooShort",
     [](Recording& r) { r.extraObjects.push_back(streamProperties(kGuidExtendedStreamType, 5, Bytes(63, 0))); },
     KRV_ERROR_INVALID_LENGTH},
    {"ExtendedStreamType",
     [](Recording& r) { r.extraObjects.push_back(streamProperties(kGuidExtendedStreamType, 5, Bytes(64, 0))); }, 1},
    {"CommandStream", [](Recording& r) { r.extraObjects.push_back(streamProperties(kGuidCommandMedia, 6, Bytes())); },
     1},
    {"DataObjectInsideHeader", [](Recording& r) { r.extraObjects.push_back(dataObject(kFileId, 0, 50)); },
     KRV_ERROR_INVALID_OBJECT},
    {"StreamTypeGuidAsObject", [](Recording& r) { r.extraObjects.push_back(object(kGuidVideoMedia, Bytes(8, 0))); },
     KRV_ERROR_INVALID_OBJECT},
    {"SecondHeaderExtension", [](Recording& r) { r.extraObjects.push_back(headerExtension({})); },
     KRV_ERROR_INVALID_OBJECT},
    {"UnknownObjectSkipped", [](Recording& r) { r.extraObjects.push_back(object(kGuidUnknown, Bytes(5, 1))); }, 1},
    {"ContentDescriptionFits", [](Recording& r) { r.extraObjects.push_back(contentDescription(4, 14)); }, 1},
    {"ContentDescriptionStringsTooLong", [](Recording& r) { r.extraObjects.push_back(contentDescription(5, 14)); },
     KRV_ERROR_INVALID_LENGTH},
    {"CodecListTooSmall", [](Recording& r) { r.extraObjects.push_back(object(kGuidCodecList, Bytes(19, 0))); },
     KRV_ERROR_INVALID_OBJECT_SIZE},
    {"ExtensionDataSizeWrong",
     [](Recording& r) {
         r.withExtension = false;
         r.extraObjects.push_back(headerExtension({}, 4));
     },
     KRV_ERROR_INVALID_LENGTH},
    {"ExtensionTrailingBytes", [](Recording& r) { r.extensionObjects.push_back(Bytes(10, 0)); },
     KRV_ERROR_INVALID_LENGTH},
    {"ExtensionUnknownSkipped", [](Recording& r) { r.extensionObjects.push_back(object(kGuidUnknown, Bytes(3, 0))); },
     1},
    {"ExtendedStreamPropsTooSmall",
     [](Recording& r) { r.extensionObjects.push_back(object(kGuidExtendedStreamProperties, Bytes(63, 0))); },
     KRV_ERROR_INVALID_OBJECT_SIZE},
    {"ExtendedStreamPropsPlain", [](Recording& r) { r.extensionObjects.push_back(extendedStreamProperties({})); }, 1},
    {"ExtendedStreamPropsNamesAndSystems",
     [](Recording& r) {
         ExtStreamProps e;
         e.names = {3, 0};
         e.extensionSystems = {5};
         r.extensionObjects.push_back(extendedStreamProperties(e));
     },
     1},
    {"ExtendedStreamPropsNameTooLong",
     [](Recording& r) {
         ExtStreamProps e;
         e.names = {3};
         Bytes o = extendedStreamProperties(e);
         o[24 + 64 + 2] = 4; // name length one more than present
         r.extensionObjects.push_back(o);
     },
     KRV_ERROR_INVALID_LENGTH},
    {"ExtendedStreamPropsNameMissing",
     [](Recording& r) {
         ExtStreamProps e;
         Bytes o = extendedStreamProperties(e);
         o[24 + 60] = 1; // one name announced, none present
         r.extensionObjects.push_back(o);
     },
     KRV_ERROR_INVALID_VALUE},
    {"ExtendedStreamPropsSystemMissing",
     [](Recording& r) {
         ExtStreamProps e;
         e.names = {16}; // 20 bytes follow the fixed part: too few for a system
         Bytes o = extendedStreamProperties(e);
         o[24 + 60] = 0;
         o[24 + 62] = 1;
         r.extensionObjects.push_back(o);
     },
     KRV_ERROR_INVALID_VALUE},
    {"ExtendedStreamPropsEmbeddedStream",
     [](Recording& r) {
         ExtStreamProps e;
         e.streamNumber = 4;
         VideoProps v;
         v.flags = 4;
         e.embedded = videoStream(v);
         r.extensionObjects.push_back(extendedStreamProperties(e));
     },
     1},
    {"ExtendedStreamPropsEmbeddedOtherNumber",
     [](Recording& r) {
         ExtStreamProps e;
         e.streamNumber = 4;
         VideoProps v;
         v.flags = 5;
         e.embedded = videoStream(v);
         r.extensionObjects.push_back(extendedStreamProperties(e));
     },
     KRV_ERROR_INVALID_OBJECT},
    {"ExtendedStreamPropsEmbeddedSlotTaken",
     [](Recording& r) {
         ExtStreamProps e;
         e.streamNumber = 2;
         e.embedded = videoStream({});
         r.extensionObjects.push_back(extendedStreamProperties(e));
     },
     KRV_ERROR_INVALID_OBJECT},
    {"ExtendedStreamPropsEmbeddedTooSmall",
     [](Recording& r) {
         ExtStreamProps e;
         e.embedded = Bytes(40, 0);
         r.extensionObjects.push_back(extendedStreamProperties(e));
     },
     KRV_ERROR_INVALID_OBJECT_SIZE},
    {"ExtendedStreamPropsEmbeddedNotStream",
     [](Recording& r) {
         ExtStreamProps e;
         e.embedded = object(kGuidUnknown, Bytes(60, 0));
         r.extensionObjects.push_back(extendedStreamProperties(e));
     },
     KRV_ERROR_INVALID_OBJECT},
    {"ExtendedStreamPropsEmbeddedSizeWrong",
     [](Recording& r) {
         ExtStreamProps e;
         e.streamNumber = 3;
         VideoProps v;
         v.flags = 3;
         e.embedded = videoStream(v);
         e.embedded.push_back(0);
         r.extensionObjects.push_back(extendedStreamProperties(e));
     },
     KRV_ERROR_INVALID_OBJECT_SIZE},
    // Mended: a 16-bit stream number must not index past the 128 slots.
    {"ExtendedStreamNumber200",
     [](Recording& r) {
         ExtStreamProps e;
         e.streamNumber = 200;
         r.extensionObjects.push_back(extendedStreamProperties(e));
     },
     KRV_ERROR_INVALID_OBJECT},
    {"ExtendedStreamNumber128",
     [](Recording& r) {
         ExtStreamProps e;
         e.streamNumber = 128;
         r.extensionObjects.push_back(extendedStreamProperties(e));
     },
     KRV_ERROR_INVALID_OBJECT},
    {"ExtendedStreamNumber127",
     [](Recording& r) {
         ExtStreamProps e;
         e.streamNumber = 127;
         r.extensionObjects.push_back(extendedStreamProperties(e));
     },
     1},
    {"MutualExclusionTooSmall",
     [](Recording& r) {
         KrvGuid g{0xA08649CF, 0x4775, 0x4670, {0x8A, 0x16, 0x6E, 0x35, 0x35, 0x75, 0x66, 0xCD}};
         r.extensionObjects.push_back(object(g, Bytes(17, 0)));
     },
     KRV_ERROR_INVALID_OBJECT_SIZE},
    {"DataObjectTooSmall", [](Recording& r) { r.dataSize = 49; }, KRV_ERROR_INVALID_OBJECT_SIZE},
    {"DataObjectOtherFileId", [](Recording& r) { r.dataFileId = kGuidUnknown; }, KRV_ERROR_INVALID_VALUE},
    {"DataObjectZeroTotalPackets", [](Recording& r) { r.dataTotal = 0; }, 1},
    {"DataObjectOtherTotalPackets", [](Recording& r) { r.dataTotal = 3; }, KRV_ERROR_INVALID_VALUE},
    {"NotSeekableDataSizeHuge",
     [](Recording& r) {
         r.file.flags = 0;
         r.dataSize = ~uint64_t(0);
     },
     1},
    {"SeekableDataSizeHuge", [](Recording& r) { r.dataSize = ~uint64_t(0); }, 1},
};

class HeaderRules : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderRules, InitResult)
{
    Recording r;
    r.packets.push_back(simplePacket());
    GetParam().change(r);
    Opened o = openBytes(build(r));
    ASSERT_TRUE(o.file);
    EXPECT_EQ(o.init, GetParam().expected);
    if (o.init == 1) {
        // Positioned at the first packet: it reads.
        auto p = KrvPacketPtr(krv_packet_create(o.file.get(), true));
        EXPECT_EQ(krv_get_packet(o.file.get(), p.get(), false, nullptr), int(kPacketSize));
    }
}

INSTANTIATE_TEST_SUITE_P(Reader, HeaderRules, ::testing::ValuesIn(kHeaderCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReaderHeader, FieldsOfAValidRecording)
{
    Recording r;
    r.file.preroll = 3000;
    r.file.dataPackets = 1;
    r.video.extra = 4;
    r.audio.extraSize = 34; // two more than the type data holds: cut to what fits
    r.packets.push_back(simplePacket());
    Bytes bytes = build(r);
    Opened o = openBytes(bytes);
    ASSERT_EQ(o.init, 1);
    const KrvFile& f = *o.file;
    EXPECT_EQ(f.fileId, kFileId);
    EXPECT_EQ(f.preroll, 3000u);
    EXPECT_EQ(f.packetSize, kPacketSize);
    EXPECT_EQ(f.flags, kFileSeekable);

    const KrvStream& video = f.streams[2];
    ASSERT_EQ(video.type, KrvStreamType::Video);
    ASSERT_TRUE(video.video);
    EXPECT_EQ(video.flags, kStreamHasProperties);
    EXPECT_EQ(video.video->width, 352u);
    EXPECT_EQ(video.video->height, 288u);
    EXPECT_EQ(video.video->compression, uint32_t('M' | 'P' << 8 | '4' << 16 | 'S' << 24));
    EXPECT_EQ(video.video->extraSize, 4u);
    EXPECT_EQ(video.video->extraData[3], 3);

    const KrvStream& audio = f.streams[1];
    ASSERT_EQ(audio.type, KrvStreamType::Audio);
    ASSERT_TRUE(audio.audio);
    EXPECT_EQ(audio.audio->blockAlign, 512);
    EXPECT_EQ(audio.audio->extraSize, 32);
    EXPECT_EQ(audio.audio->extraData[0], 0x40);

    // Header object, then the Data object, then the packets.
    EXPECT_EQ(f.dataPosition, f.header->size);
    EXPECT_EQ(f.data->packetsPosition, f.header->size + kDataObjectHeaderSize);
    EXPECT_EQ(f.position, f.data->packetsPosition);
    EXPECT_EQ(f.header->extension->objects.size(), 0u);
    EXPECT_EQ(f.header->reserved1, 1);
    EXPECT_EQ(f.header->reserved2, 2);

    // The audio stream properties object, located for the splitter.
    ASSERT_GT(f.audioPropsSize, 0u);
    EXPECT_EQ(f.audioPropsSize, audioStream(r.audio).size());
    EXPECT_EQ(krv_guid_kind(krv_guid_read(bytes.data() + f.audioPropsOffset)), KrvObjectKind::StreamProperties);
    EXPECT_EQ(krv_guid_read(bytes.data() + f.audioPropsOffset + 24), kGuidAudioMedia);
}

TEST(ReaderHeader, StreamSlotsByKind)
{
    Recording r;
    r.audio.flags = 0x8001;
    r.extraObjects.push_back(streamProperties(kGuidCommandMedia, 6, Bytes()));
    r.extraObjects.push_back(streamProperties(kGuidExtendedStreamType, 7, Bytes(64, 0)));
    ExtStreamProps e;
    e.streamNumber = 4;
    VideoProps v;
    v.flags = 4;
    e.embedded = videoStream(v);
    r.extensionObjects.push_back(extendedStreamProperties(e));
    ExtStreamProps plain;
    plain.streamNumber = 2;
    r.extensionObjects.push_back(extendedStreamProperties(plain));
    r.packets.push_back(simplePacket());
    Opened o = openBytes(build(r));
    ASSERT_EQ(o.init, 1);
    const KrvFile& f = *o.file;
    EXPECT_EQ(f.streams[1].type, KrvStreamType::Audio);
    EXPECT_EQ(f.streams[6].type, KrvStreamType::Command);
    EXPECT_EQ(f.streams[7].type, KrvStreamType::Unknown);
    EXPECT_EQ(f.streams[4].type, KrvStreamType::Video);
    EXPECT_EQ(f.streams[4].flags, kStreamHasProperties | kStreamInExtended | kStreamHasExtended);
    ASSERT_TRUE(f.streams[4].extended);
    EXPECT_EQ(f.streams[4].extended->avgTimePerFrame, 333'333u);
    EXPECT_EQ(f.streams[2].flags, kStreamHasProperties | kStreamHasExtended);
    int mediaStreams = 0;
    for (const KrvStream& s : f.streams)
        mediaStreams += s.type == KrvStreamType::Audio || s.type == KrvStreamType::Video;
    EXPECT_EQ(mediaStreams, 3);
}

TEST(ReaderHeader, NoAudioStreamGivesNoLocation)
{
    Recording r;
    r.withAudio = false;
    r.packets.push_back(simplePacket());
    Opened o = openBytes(build(r));
    ASSERT_EQ(o.init, 1);
    EXPECT_EQ(o.file->audioPropsOffset, 0u);
    EXPECT_EQ(o.file->audioPropsSize, 0u);
}

TEST(ReaderHeader, TruncatedHeaderIsEof)
{
    Recording r;
    Bytes bytes = build(r);
    for (size_t keep : {size_t(10), size_t(29), size_t(700), bytes.size() - 51, bytes.size() - 1}) {
        Bytes cut(bytes.begin(), bytes.begin() + long(keep));
        Opened o = openBytes(cut);
        ASSERT_TRUE(o.file) << keep;
        EXPECT_EQ(o.init, KRV_ERROR_EOF) << keep;
    }
}

TEST(ReaderHeader, InitWithoutFileIsInternal)
{
    EXPECT_EQ(krv_init(nullptr), KRV_ERROR_INTERNAL);
}

} // namespace
