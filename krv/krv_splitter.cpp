#include "krv/krv_splitter.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "krv/krv_header_rewrite.h"
#include "krv/krv_index.h"
#include "krv/krv_io.h"
#include "krv/krv_log.h"
#include "krv/krv_reader.h"
#include "krv/krv_wav.h"
#include "krv/krv_writer.h"

namespace {

// MPEG-4 video object start code, video object layer start code and the
// first 11 bytes of a VOL header (simple profile, 30000 ticks per second),
// here for 640 x 480.
constexpr KrvSequenceHeader kSequenceTemplate = {0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01,
                                                 0x20, 0x00, 0xC8, 0x88, 0xBA, 0x98, 0x51,
                                                 0x40, 0x43, 0xC1, 0x41, 0x83};
constexpr size_t kOutputBufferSize = 1 << 20; // whole packets reach the disk in large writes
constexpr uint8_t kAudioMarker[2] = {0xE1, 0x1E};
constexpr int kAudioOutput = 0;
// Bytes at the start of a file that stay zero until it is whole: the header
// object's GUID, or the WAV file's "RIFF".
constexpr size_t kUnfinishedKrvBytes = 16;
constexpr size_t kUnfinishedWavBytes = 4;
constexpr const char* kTemporarySuffix = ".part";

std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from signal handlers");

struct Resolution {
    uint32_t width, height;
    uint8_t index;
};
constexpr Resolution kResolutions[] = {
    {160, 128, 0}, {176, 144, 1}, {320, 240, 2}, {320, 256, 3}, {352, 288, 4},
    {640, 480, 5}, {800, 600, 6}, {1024, 768, 7}, {1600, 1200, 8},
};
constexpr uint8_t kDefaultResolutionIndex = 2;

struct Output {
    std::string path;                 // the file's own name
    std::string temp;                 // its name while written; empty until created
    bool renamed = false;             // moved to `path`
    KrvFile* file = nullptr;
    KrvPacket* packet = nullptr;
    std::unique_ptr<char[]> ioBuffer; // stdio buffer of `file`, freed after it is closed
    KrvChannelWriter writer;
    KrvHeaderRewrite header;
    std::vector<uint8_t> placeholder; // the header of a channel file with no packets
    bool checkSequenceHeader = false; // the channel's first object is still to come
    KrvWavHeader wav{};               // audio output only
    uint32_t wavData = 0;             // bytes of audio data written
};

// Header values of a media object, kept while its bytes are collected.
struct ObjectMeta {
    uint8_t streamNumber = 0;
    bool keyFrame = false;
    uint8_t objectNumber = 0;
    uint32_t presentationTime = 0;
};

ObjectMeta metaOf(const KrvPayload& p)
{
    return {p.streamNumber, p.keyFrame != 0, uint8_t(p.mediaObjectNumber), p.presentationTime};
}

class Splitter {
public:
    Splitter(KrvFile* recording, const std::string& folder, const KrvSplitOptions& options,
             KrvSplitFailure* failure, KrvSplitTimeline* timeline)
        : rec_(recording), folder_(folder), avSync_(options.avSync), privateFiles_(options.privateFiles),
          failure_(failure), audioDef_(recording->audioChannelDefinition), timeline_(timeline)
    {
    }
    ~Splitter() { cleanUp(); }

    int run();

private:
    int prepare();
    int createOutputs();
    int openOutput(int z, const std::string& path);
    int packetLoop();
    int handlePayload(const KrvPayload& p, uint16_t i, uint16_t count);
    int take(int z, const KrvPayload& p);
    int emit(int z, const ObjectMeta& meta, const uint8_t* data, uint32_t size);
    int finish();
    int commit();
    void cleanUp();
    // Keeps the first cause of a failure for the caller.
    void noteFailure(int systemError, const std::string& path);
    // After KRV_ERROR_IO: the file whose stream failed, else the recording.
    void noteIoFailure(int systemError);
    bool insidePacket(const uint8_t* p, uint64_t length) const;
    // The first media object written to output z begins its timeline; the
    // audio file's time 0 is its first block.
    void noteFirst(int z, uint32_t presentationTime)
    {
        if (!timeline_ || timeline_->hasMedia[z])
            return;
        timeline_->hasMedia[z] = true;
        timeline_->firstMs[z] = presentationTime;
        if (z == kAudioOutput)
            timeline_->fileZeroMs[z] = presentationTime;
    }

    // Audio blocks without their E1 1E markers into scratch_; false when the
    // object has no marker.
    bool unpackAudio(const uint8_t* data, uint32_t size, uint32_t& unpacked);

    KrvFile* rec_;
    std::string folder_;
    bool avSync_;
    bool privateFiles_;
    KrvSplitFailure* failure_;
    bool committed_ = false;
    uint8_t audioDef_;
    KrvSplitTimeline* timeline_;
    std::vector<uint8_t> headerCopy_;
    Output outs_[kSplitOutputs];
    KrvPacket* source_ = nullptr;
    uint16_t blockAlign_ = 0;
    uint8_t resolutionIndex_ = kDefaultResolutionIndex;
    KrvSequenceHeader sequence_ = kSequenceTemplate;
    bool multiple_ = true; // the source packet has multiple payloads

    // Reassembly of one media object split across packets.
    bool reassembling_ = false;
    KrvSavedHeader saved_{};
    ObjectMeta first_;
    int target_ = 0;
    uint32_t objectSize_ = 0;
    uint32_t received_ = 0;
    std::vector<uint8_t> object_;  // reused for every object
    std::vector<uint8_t> scratch_; // unpacked audio, key frame with its sequence header
};

bool Splitter::insidePacket(const uint8_t* p, uint64_t length) const
{
    const uint8_t* begin = source_->buffer.data();
    const uint8_t* end = begin + source_->buffer.size();
    return p && p >= begin && p <= end && length <= uint64_t(end - p);
}

int Splitter::prepare()
{
    // The recording's header object and data object header, up to its first packet.
    if (rec_->position < kHeaderFixedSize + kDataObjectHeaderSize || rec_->position > kMaxHeaderSize + kDataObjectHeaderSize)
        return KRV_ERROR_INTERNAL;
    try {
        headerCopy_.resize(size_t(rec_->position));
    } catch (const std::bad_alloc&) {
        return KRV_ERROR_OUTOFMEM;
    }
    if (!rec_->io.seek || rec_->io.seek(rec_->io.context, 0) != 0)
        return KRV_ERROR_SEEK;
    int r = krv_read_exact(rec_->io, headerCopy_.data(), headerCopy_.size());
    if (r < 0)
        return r;

    for (int s = 0; s < int(kSplitOutputs); ++s) {
        const KrvStream& slot = rec_->streams[s];
        if (slot.type == KrvStreamType::Audio && slot.audio)
            blockAlign_ = slot.audio->blockAlign;
        if (slot.type == KrvStreamType::Video && slot.video) {
            resolutionIndex_ = krv_resolution_index(slot.video->width, slot.video->height);
            sequence_ = krv_sequence_header(slot.video->width, slot.video->height);
            break;
        }
    }
    rec_->resolutionIndex = resolutionIndex_;
    return 0;
}

void Splitter::noteFailure(int systemError, const std::string& path)
{
    if (failure_ && failure_->systemError == 0) {
        failure_->systemError = systemError;
        failure_->path = path;
    }
}

void Splitter::noteIoFailure(int systemError)
{
    for (const Output& out : outs_) {
        if (out.file && out.file->stream && ferror(out.file->stream)) {
            noteFailure(systemError, out.path);
            return;
        }
    }
    noteFailure(systemError, rec_->path);
}

int Splitter::openOutput(int z, const std::string& path)
{
    Output& out = outs_[z];
    out.path = path;
    out.file = krv_create(path + kTemporarySuffix, privateFiles_ ? 0600 : 0666);
    if (!out.file)
        return -1;
    out.temp = path + kTemporarySuffix;
    out.ioBuffer.reset(new (std::nothrow) char[kOutputBufferSize]);
    if (out.ioBuffer && out.file->stream)
        setvbuf(out.file->stream, out.ioBuffer.get(), _IOFBF, kOutputBufferSize);
    return 0;
}

int Splitter::createOutputs()
{
    if (!avSync_) {
        if (openOutput(kAudioOutput, folder_ + "/Audio1.wav") == 0) {
            const KrvWaveFormat* format = nullptr;
            for (const KrvStream& slot : rec_->streams) {
                if (slot.type == KrvStreamType::Audio && slot.audio) {
                    format = slot.audio.get();
                    break;
                }
            }
            if (format)
                blockAlign_ = format->blockAlign;
            Output& out = outs_[kAudioOutput];
            out.wav = krv_wav_header(format);
            KrvWavHeader unfinished = out.wav;
            std::fill_n(unfinished.begin(), kUnfinishedWavBytes, 0);
            if (out.file->io.write(out.file->io.context, unfinished.data(), unfinished.size()) != int64_t(unfinished.size()))
                return KRV_ERROR_IO;
            out.file->bytesWritten = out.wav.size();
        }
    }

    const std::string base = krv_base_name(rec_->path);
    for (int z = 1; z < int(kSplitOutputs); ++z) {
        const std::string path = avSync_ ? folder_ + "/" + base + "_Video" + std::to_string(z) + ".asf"
                                         : folder_ + "/Video" + std::to_string(z) + ".krv";
        if (openOutput(z, path) < 0) {
            noteFailure(errno, path);
            if (avSync_) {
                krv_log("Error opening file %s\n", path.c_str());
                return KRV_ERROR_FAIL_OPEN_FILE;
            }
            krv_log("Error opening file %s ..... \n", path.c_str());
            return 0;
        }
        Output& out = outs_[z];
        KrvFile& f = *out.file;
        const bool carriesAudio = avSync_ && z == audioDef_ + 1;
        out.writer = {z, avSync_, carriesAudio};
        out.header = {z, avSync_, carriesAudio, rec_->audioPropsOffset, rec_->audioPropsSize};

        f.position = rec_->position;
        f.dataPosition = rec_->dataPosition;
        f.indexPosition = rec_->indexPosition;
        f.creationDate = rec_->creationDate;
        f.sendDuration = rec_->sendDuration;
        f.preroll = rec_->preroll;
        f.flags = rec_->flags;
        f.packetSize = rec_->packetSize;
        f.maxPacketSize = rec_->packetSize;
        f.maxBitrate = rec_->maxBitrate;
        f.resolutionIndex = resolutionIndex_;
        f.fileId = rec_->fileId;
        if (carriesAudio)
            f.audioPositions.reserve(kMaxAudioPositions);

        // The placeholder is the final header with empty counts: a valid,
        // empty container until the split finishes, and of the final length.
        const uint64_t headerSize = krv_channel_header_size(headerCopy_, out.header);
        if (headerSize == 0)
            return KRV_ERROR_INTERNAL;
        f.bytesWritten = headerSize;
        f.fileSize = headerSize;
        out.placeholder = krv_rewrite_header(headerCopy_, out.header, f);
        std::vector<uint8_t> unfinished = out.placeholder;
        std::fill_n(unfinished.begin(), std::min(kUnfinishedKrvBytes, unfinished.size()), 0);
        if (f.io.write(f.io.context, unfinished.data(), unfinished.size()) != int64_t(unfinished.size()))
            return KRV_ERROR_IO;

        out.packet = krv_packet_create(rec_, true);
        if (!out.packet)
            return KRV_ERROR_OUTOFMEM;
        krv_out_packet_clear(*out.packet);
    }
    return 1;
}

bool Splitter::unpackAudio(const uint8_t* data, uint32_t size, uint32_t& unpacked)
{
    unpacked = 0;
    if (blockAlign_ == 0 || size < 2)
        return false;
    const uint8_t* marker = std::search(data, data + size, kAudioMarker, kAudioMarker + 2);
    if (marker == data + size)
        return false;
    const uint32_t start = uint32_t(marker - data);
    const uint32_t blocks = size / (uint32_t(blockAlign_) + 2);
    if (scratch_.size() < size)
        scratch_.resize(size);
    for (uint32_t k = 1; k <= blocks; ++k) {
        const uint64_t at = uint64_t(start) + 2ull * k + uint64_t(k - 1) * blockAlign_;
        if (at >= size)
            break;
        const uint32_t take = uint32_t(std::min<uint64_t>(blockAlign_, size - at));
        std::memcpy(scratch_.data() + unpacked, data + at, take);
        unpacked += take;
    }
    return true;
}

int Splitter::emit(int z, const ObjectMeta& meta, const uint8_t* data, uint32_t size)
{
    Output& out = outs_[z];
    KrvMediaObject object;
    object.streamNumber = meta.streamNumber;
    object.keyFrame = meta.keyFrame;
    object.objectNumber = meta.objectNumber;
    object.presentationTime = meta.presentationTime;
    object.data = data;
    object.size = size;

    if (meta.streamNumber == 1) {
        uint32_t unpacked = 0;
        if (!unpackAudio(data, size, unpacked))
            return 0; // not audio blocks: nothing to keep
        if (z == kAudioOutput) {
            if (unpacked > 0)
                noteFirst(kAudioOutput, meta.presentationTime);
            if (out.file->io.write(out.file->io.context, scratch_.data(), unpacked) != int64_t(unpacked))
                return KRV_ERROR_IO;
            out.wavData += unpacked;
            out.file->bytesWritten += unpacked;
            return 0;
        }
        object.data = scratch_.data();
        object.size = unpacked;
        return krv_pack_object(out.writer, *out.file, *out.packet, object);
    }

    if (out.checkSequenceHeader) {
        // A channel's first key frame must open with the sequence header so
        // that a decoder can start on the channel file alone.
        out.checkSequenceHeader = false;
        out.file->needsSequenceHeader =
            !(size >= kSequenceHeaderSize && std::memcmp(data, sequence_.data(), kSequenceHeaderSize) == 0);
        if (out.file->needsSequenceHeader) {
            if (scratch_.size() < uint64_t(size) + kSequenceHeaderSize)
                scratch_.resize(size_t(size) + kSequenceHeaderSize);
            std::memcpy(scratch_.data(), sequence_.data(), kSequenceHeaderSize);
            std::memcpy(scratch_.data() + kSequenceHeaderSize, data, size);
            object.data = scratch_.data();
            object.size = size + uint32_t(kSequenceHeaderSize);
        }
    }
    int r = krv_pack_object(out.writer, *out.file, *out.packet, object);
    out.file->needsSequenceHeader = false;
    if (r >= 0)
        noteFirst(z, meta.presentationTime);
    return r;
}

int Splitter::take(int z, const KrvPayload& p)
{
    if (p.mediaObjectSize < p.payloadLength)
        return KRV_ERROR_INVALID_MULTIPAYLOAD_SIZE;
    if (p.mediaObjectSize == p.payloadLength)
        return emit(z, metaOf(p), p.data, p.payloadLength);

    // The object continues in the next packet.
    if (p.mediaObjectSize > kMaxMediaObjectSize || !insidePacket(p.header, kSavedHeaderSize - 5))
        return KRV_ERROR_INVALID_MULTIPAYLOAD_SIZE;
    try {
        if (object_.size() < p.mediaObjectSize)
            object_.resize(p.mediaObjectSize);
    } catch (const std::bad_alloc&) {
        return KRV_ERROR_OUTOFMEM;
    }
    if (p.payloadLength)
        std::memcpy(object_.data(), p.data, p.payloadLength);
    reassembling_ = true;
    first_ = metaOf(p);
    target_ = z;
    objectSize_ = p.mediaObjectSize;
    received_ = p.payloadLength;
    saved_ = {};
    saved_.bytes[0] = uint8_t(multiple_ ? kMultiPayloadHeaderSize : kSinglePayloadHeaderSize);
    std::memcpy(saved_.bytes + 1, p.header, 15);
    krv_put_u32(saved_.bytes + 16, received_);
    return 0;
}

int Splitter::handlePayload(const KrvPayload& p, uint16_t i, uint16_t count)
{
    if (p.streamNumber < 1 || p.streamNumber > 5)
        return KRV_ERROR_INVALID_STREAM_NUMBER;
    if (p.payloadLength && !insidePacket(p.data, p.payloadLength))
        return KRV_ERROR_INVALID_MULTIPAYLOAD_SIZE;

    if (reassembling_) {
        // The continuation's own header must describe the same object.
        const uint32_t announced = insidePacket(p.header, 11) ? krv_u32(p.header + 7) : p.mediaObjectSize;
        if (announced != objectSize_)
            return KRV_ERROR_INVALID_MULTIPAYLOAD_SIZE;
        uint32_t length = p.payloadLength;
        if (uint64_t(received_) + length > objectSize_) {
            const bool lastPacket = rec_->packetCounter >= rec_->dataPacketsCount;
            if (!lastPacket || count != 1)
                return KRV_ERROR_INVALID_MULTIPAYLOAD_SIZE;
            length = objectSize_ - received_;
        }
        if (length)
            std::memcpy(object_.data() + received_, p.data, length);
        received_ += length;
        krv_put_u32(saved_.bytes + 16, received_);
        if (received_ < objectSize_)
            return 0;
        reassembling_ = false;
        saved_ = {};
        return emit(target_, first_, object_.data(), objectSize_);
    }

    // A fragment whose object began in a payload that was skipped.
    if (p.offset != 0)
        return 0;

    if (p.streamNumber == 1) {
        const int z = avSync_ ? audioDef_ + 1 : kAudioOutput;
        if (z >= int(kSplitOutputs) || !outs_[z].file || !outs_[z].file->started)
            return 0;
        return take(z, p);
    }

    const int z = p.streamNumber - 1;
    Output& out = outs_[z];
    if (!out.file->started) {
        // A channel starts at a key frame that is whole or ends its packet.
        const bool whole = p.payloadLength == p.mediaObjectSize;
        if (!p.keyFrame || (i + 1 != count && !whole))
            return 0;
        out.file->started = true;
        out.checkSequenceHeader = true;
        if (!avSync_ && outs_[kAudioOutput].file)
            outs_[kAudioOutput].file->started = true;
    }
    return take(z, p);
}

int Splitter::packetLoop()
{
    source_ = krv_packet_create(rec_, true);
    if (!source_)
        return KRV_ERROR_OUTOFMEM;
    while (true) {
        if (krv_stop_requested()) {
            noteFailure(EINTR, folder_);
            return KRV_ERROR_IO;
        }
        krv_packet_reset(source_);
        int r = krv_get_packet(rec_, source_, reassembling_, &saved_);
        if (r < 0) {
            krv_log("Error %d getting packet\n", r);
            return r;
        }
        if (r == 0)
            return 0;
        multiple_ = source_->lengthTypeFlags & 1;
        const uint32_t headerSize = multiple_ ? kMultiPayloadHeaderSize : kSinglePayloadHeaderSize;
        uint64_t cursor = uint64_t(source_->paddingLength) + (multiple_ ? kMultiPacketHeaderSize : kSinglePacketHeaderSize);
        const uint16_t count = source_->payloadCount;
        if (count > 0 && source_->payloads[0].streamNumber > 5)
            return KRV_ERROR_INVALID_STREAM_NUMBER;
        for (uint16_t i = 0; i < count && cursor < rec_->packetSize; ++i) {
            const KrvPayload& p = source_->payloads[i];
            if ((r = handlePayload(p, i, count)) < 0)
                return r;
            cursor += headerSize + p.payloadLength;
        }
        if (rec_->packetCounter >= rec_->dataPacketsCount)
            return 0;
    }
}

int Splitter::finish()
{
    int r = 0;
    for (int z = 0; z < int(kSplitOutputs); ++z) {
        Output& out = outs_[z];
        if (!out.file)
            continue;
        KrvFile& f = *out.file;
        if (z == kAudioOutput) {
            krv_finish_wav(out.wav, out.wavData, rec_->sendDuration);
            if (f.io.seek(f.io.context, 0) != 0 ||
                f.io.write(f.io.context, out.wav.data(), out.wav.size()) != int64_t(out.wav.size()))
                return KRV_ERROR_IO;
            continue;
        }
        if ((r = krv_write_packet(out.writer, f, *out.packet)) < 0)
            return r;
        if (timeline_)
            timeline_->fileZeroMs[z] = f.timeRebased ? f.rebaseOffset : 0;
        if (f.packetsWritten == 0) {
            // Header only: the placeholder with its first bytes in place.
            if (f.io.seek(f.io.context, 0) != 0 ||
                f.io.write(f.io.context, out.placeholder.data(), out.placeholder.size()) !=
                    int64_t(out.placeholder.size()))
                return KRV_ERROR_IO;
        } else {
            if ((r = krv_finish_header(out.header, f, headerCopy_)) < 0)
                return r;
            if (!avSync_ || out.writer.carriesAudio) {
                std::unique_ptr<KrvIndex> index = krv_build_index(f, f.packetSendTimes, f.packetDurations, avSync_);
                if (!index)
                    return KRV_ERROR_OUTOFMEM;
                if ((r = krv_write_index(f, krv_index_bytes(*index))) < 0)
                    return r;
            }
        }
        std::vector<double>().swap(f.packetSendTimes);
        std::vector<double>().swap(f.packetDurations);
    }
    return 0;
}

int Splitter::commit()
{
    // Everything reaches the disk (or fails to) before any file takes its name.
    for (Output& out : outs_) {
        if (!out.file || !out.file->stream)
            continue;
        FILE* stream = out.file->stream;
        out.file->stream = nullptr;
        const bool flushed = fflush(stream) == 0 && !ferror(stream);
        const int flushError = errno;
        if (fclose(stream) != 0 || !flushed) {
            noteFailure(flushed ? errno : flushError, out.path);
            return KRV_ERROR_IO;
        }
    }
    for (Output& out : outs_) {
        if (out.temp.empty())
            continue;
        if (rename(out.temp.c_str(), out.path.c_str()) != 0) {
            noteFailure(errno, out.path);
            return KRV_ERROR_IO;
        }
        out.renamed = true;
    }
    committed_ = true;
    return 0;
}

void Splitter::cleanUp()
{
    for (Output& out : outs_) {
        krv_close(out.file); // closes the stream before its buffer goes
        out.file = nullptr;
        out.ioBuffer.reset();
        krv_packet_destroy(out.packet);
        out.packet = nullptr;
        if (!committed_ && !out.temp.empty())
            unlink((out.renamed ? out.path : out.temp).c_str());
    }
    krv_packet_destroy(source_);
    source_ = nullptr;
}

int Splitter::run()
{
    int r = prepare();
    if (r >= 0)
        r = createOutputs();
    if (r > 0) {
        if (rec_->io.seek(rec_->io.context, rec_->position) != 0)
            r = KRV_ERROR_SEEK;
        else if (rec_->dataPacketsCount > 0)
            r = packetLoop();
        if (r >= 0)
            r = finish();
        if (r >= 0)
            r = commit();
        if (r >= 0)
            r = 1;
    }
    if (r == KRV_ERROR_IO)
        noteIoFailure(errno);
    return r;
}

} // namespace

KrvSequenceHeader krv_sequence_header(uint32_t width, uint32_t height)
{
    KrvSequenceHeader h = kSequenceTemplate;
    h[13] = uint8_t((h[13] & 0xF0) | ((width >> 9) & 0x0F));
    h[14] = uint8_t((width >> 1) & 0xFF);
    h[15] = uint8_t(((width & 1) << 7) | (h[15] & 0x40) | ((height >> 7) & 0x3F));
    h[16] = uint8_t(((height & 0x7F) << 1) | (h[16] & 0x01));
    return h;
}

uint8_t krv_resolution_index(uint32_t width, uint32_t height)
{
    for (const Resolution& r : kResolutions) {
        if (r.width == width && r.height == height)
            return r.index;
    }
    return kDefaultResolutionIndex;
}

std::string krv_base_name(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // Four characters, not bytes: a UTF-8 name keeps whole letters.
    size_t end = name.size();
    for (int chars = 0; chars < 4 && end > 0; ++chars) {
        --end;
        while (end > 0 && (uint8_t(name[end]) & 0xC0) == 0x80)
            --end;
    }
    return name.substr(0, end);
}

uint32_t krv_timeline_start(const KrvSplitTimeline& timeline)
{
    uint32_t start = UINT32_MAX;
    for (size_t z = 0; z < kSplitOutputs; ++z)
        if (timeline.hasMedia[z])
            start = std::min(start, timeline.firstMs[z]);
    return start == UINT32_MAX ? 0 : start;
}

int64_t krv_timeline_offset(const KrvSplitTimeline& timeline, size_t z)
{
    if (z >= kSplitOutputs)
        return 0;
    return int64_t(timeline.fileZeroMs[z]) - int64_t(krv_timeline_start(timeline));
}

int krv_split(KrvFile* recording, const std::string& folder, const KrvSplitOptions& options,
              KrvSplitFailure* failure, KrvSplitTimeline* timeline)
{
    if (!recording)
        return KRV_ERROR_INTERNAL;
    try {
        Splitter splitter(recording, folder, options, failure, timeline);
        return splitter.run();
    } catch (const std::bad_alloc&) {
        return KRV_ERROR_OUTOFMEM;
    }
}

void krv_request_stop(bool stop) { g_stopRequested.store(stop, std::memory_order_relaxed); }

bool krv_stop_requested() { return g_stopRequested.load(std::memory_order_relaxed); }
