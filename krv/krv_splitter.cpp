#include "krv/krv_splitter.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "krv/krv_audio_blocks.h"
#include "krv/krv_header_rewrite.h"
#include "krv/krv_index.h"
#include "krv/krv_io.h"
#include "krv/krv_log.h"
#include "krv/krv_object_assembler.h"
#include "krv/krv_reader.h"
#include "krv/krv_staging.h"
#include "krv/krv_wav.h"
#include "krv/krv_writer.h"

namespace {

// MPEG-4 video object start code, video object layer start code and the
// first 11 bytes of a VOL header (simple profile, 30000 ticks per second),
// here for 640 x 480.
constexpr KrvSequenceHeader kSequenceTemplate = {0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x20, 0x00, 0xC8,
                                                 0x88, 0xBA, 0x98, 0x51, 0x40, 0x43, 0xC1, 0x41, 0x83};
constexpr size_t kAudioBufferSize = 1 << 20; // the audio file's small pieces reach the disk in large writes
constexpr int kAudioOutput = 0;
// Bytes at the start of a file that stay zero until it is whole: the WAV
// file's "RIFF", or the header object's GUID and size, so that no reader takes
// it for a recording (ours does not look at that GUID, but refuses a size of 0).
constexpr size_t kUnfinishedKrvBytes = kObjectPrefixSize;
constexpr size_t kUnfinishedWavBytes = 4;
constexpr const char* kTemporarySuffix = ".part";

struct Resolution {
    uint32_t width, height;
    uint8_t index;
};
constexpr Resolution kResolutions[] = {
    {160, 128, 0}, {176, 144, 1}, {320, 240, 2},  {320, 256, 3},   {352, 288, 4},
    {640, 480, 5}, {800, 600, 6}, {1024, 768, 7}, {1600, 1200, 8},
};
constexpr uint8_t kDefaultResolutionIndex = 2;

// Where the outputs begin on the recording's timeline, by output.
struct Timeline {
    std::array<uint32_t, kSplitOutputs> fileZeroMs{}; // time 0 of the file
    std::array<uint32_t, kSplitOutputs> firstMs{};    // time of the first media object written
    std::array<bool, kSplitOutputs> hasMedia{};

    uint32_t start() const
    {
        uint32_t start = UINT32_MAX;
        for (size_t z = 0; z < kSplitOutputs; ++z)
            if (hasMedia[z])
                start = std::min(start, firstMs[z]);
        return start == UINT32_MAX ? 0 : start;
    }
};

struct Output {
    std::string path;     // the file's own name
    std::string name;     // the same without the folder
    std::string temp;     // its name while written, in the staging folder; empty until created
    bool renamed = false; // moved to `path`
    KrvFile* file = nullptr;
    KrvPacket* packet = nullptr;
    std::unique_ptr<char[]> ioBuffer; // stdio buffer of the audio file, freed after it is closed
    KrvPacketBatch batch;             // a channel file's packets
    KrvChannelWriter writer;
    KrvHeaderRewrite header;
    std::vector<uint8_t> placeholder; // the header of a channel file with no packets
    bool checkSequenceHeader = false; // the channel's first object is still to come
    KrvWavHeader wav{};               // audio output only
    uint32_t wavData = 0;             // bytes of audio data written
};

class Splitter {
public:
    Splitter(KrvFile* recording, const std::string& folder, const KrvSplitOptions& options, KrvSplitFailure* failure,
             KrvSplitFiles* written)
        : rec_(recording), folder_(folder), avSync_(options.avSync), privateFiles_(options.privateFiles),
          stop_(options.stop), sink_(options.sink), failure_(failure), audioDef_(recording->audioChannelDefinition),
          written_(written)
    {}
    ~Splitter() { cleanUp(); }

    int run();

private:
    int prepare();
    int createOutputs();
    int openOutput(int z, const std::string& path);
    int packetLoop();
    int handlePayload(const KrvPayload& p, uint16_t i, uint16_t count);
    int take(int z, const KrvPayload& p);
    int emit(const KrvWholeObject& object);
    int finish();
    int commit();
    // Tells the caller what the split wrote.
    void describe();
    void cleanUp();
    // Keeps the first cause of a failure for the caller.
    void noteFailure(int systemError, const std::string& path);
    // After KRV_ERROR_IO: the file whose stream failed, else the recording.
    void noteIoFailure(int systemError);
    // The first media object written to output z begins its timeline; the
    // audio file's time 0 is its first block.
    void noteFirst(int z, uint32_t presentationTime)
    {
        if (timeline_.hasMedia[z])
            return;
        timeline_.hasMedia[z] = true;
        timeline_.firstMs[z] = presentationTime;
        if (z == kAudioOutput)
            timeline_.fileZeroMs[z] = presentationTime;
    }

    KrvFile* rec_;
    std::string folder_;
    bool avSync_;
    bool privateFiles_;
    const std::atomic<bool>* stop_;
    const KrvMessageSink* sink_;
    KrvSplitFailure* failure_;
    bool committed_ = false;
    KrvStaging staging_; // the files while they are written
    uint8_t audioDef_;
    KrvSplitFiles* written_;
    Timeline timeline_;
    std::vector<uint8_t> headerCopy_;
    Output outs_[kSplitOutputs];
    KrvPacket* source_ = nullptr;
    uint16_t blockAlign_ = 0;
    uint8_t resolutionIndex_ = kDefaultResolutionIndex;
    KrvSequenceHeader sequence_ = kSequenceTemplate;
    KrvObjectAssembler assembler_; // objects split across packets, tagged with their output
    std::vector<uint8_t> scratch_; // unpacked audio, key frame with its sequence header
};

int Splitter::prepare()
{
    // The recording's header object and data object header, up to its first packet.
    if (rec_->position < kHeaderFixedSize + kDataObjectHeaderSize ||
        rec_->position > kMaxHeaderSize + kDataObjectHeaderSize)
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
        if (out.file && ((out.file->stream && ferror(out.file->stream)) || out.batch.failed())) {
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
    out.name = path.substr(path.find_last_of('/') + 1);
    const std::string temp = staging_.path(out.name + kTemporarySuffix);
    out.file = krv_create(temp, privateFiles_ ? 0600 : 0666);
    if (!out.file)
        return -1;
    out.temp = temp;
    if (!out.file->stream)
        return 0;
    if (z != kAudioOutput) {
        // Packets go past the stream, in batches: it must hold nothing back.
        setvbuf(out.file->stream, nullptr, _IONBF, 0);
        out.batch.attach(fileno(out.file->stream));
        return 0;
    }
    out.ioBuffer.reset(new (std::nothrow) char[kAudioBufferSize]);
    if (out.ioBuffer)
        setvbuf(out.file->stream, out.ioBuffer.get(), _IOFBF, kAudioBufferSize);
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
            if (out.file->io.write(out.file->io.context, unfinished.data(), unfinished.size()) !=
                int64_t(unfinished.size()))
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
                krv_log(sink_, "Error opening file %s\n", path.c_str());
                return KRV_ERROR_FAIL_OPEN_FILE;
            }
            krv_log(sink_, "Error opening file %s ..... \n", path.c_str());
            return 0;
        }
        Output& out = outs_[z];
        KrvFile& f = *out.file;
        const bool carriesAudio = avSync_ && z == audioDef_ + 1;
        out.writer = {z, avSync_, carriesAudio, &out.batch};
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

int Splitter::emit(const KrvWholeObject& whole)
{
    const int z = whole.tag;
    const KrvObjectMeta& meta = whole.meta;
    const uint8_t* data = whole.data;
    const uint32_t size = whole.size;
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
        if (!krv_unpack_audio(data, size, blockAlign_, scratch_, unpacked))
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
    KrvWholeObject whole;
    const int r = assembler_.start(*source_, p, z, whole);
    return r == 1 ? emit(whole) : r;
}

int Splitter::handlePayload(const KrvPayload& p, uint16_t i, uint16_t count)
{
    if (int r = krv_check_payload(*source_, p); r < 0)
        return r;

    if (assembler_.busy()) {
        KrvWholeObject whole;
        const bool lastPacket = rec_->packetCounter >= rec_->dataPacketsCount;
        const int r = assembler_.resume(*source_, p, lastPacket, count, whole);
        return r == 1 ? emit(whole) : r;
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
        if (stop_ && stop_->load(std::memory_order_relaxed)) {
            noteFailure(EINTR, folder_);
            return KRV_ERROR_IO;
        }
        krv_packet_reset(source_);
        int r = krv_get_packet(rec_, source_, assembler_.busy(), assembler_.saved());
        if (r < 0) {
            krv_log(sink_, "Error %d getting packet\n", r);
            return r;
        }
        if (r == 0)
            return 0;
        const bool multiple = source_->lengthTypeFlags & 1;
        const uint32_t headerSize = multiple ? kMultiPayloadHeaderSize : kSinglePayloadHeaderSize;
        uint64_t cursor =
            uint64_t(source_->paddingLength) + (multiple ? kMultiPacketHeaderSize : kSinglePacketHeaderSize);
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
        if ((r = krv_write_packet(out.writer, f, *out.packet)) < 0 || (r = out.batch.flush()) < 0)
            return r;
        timeline_.fileZeroMs[z] = f.timeRebased ? f.rebaseOffset : 0;
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
    std::vector<KrvStagedMove> moves;
    for (const Output& out : outs_)
        if (!out.temp.empty())
            moves.push_back({out.name + kTemporarySuffix, out.name});
    if (const int r = staging_.commit(moves, KrvCommitMode::Replace); r != 0) {
        noteFailure(r, folder_);
        errno = r;
        return KRV_ERROR_IO;
    }
    for (Output& out : outs_)
        out.renamed = !out.temp.empty();
    committed_ = true;
    return 0;
}

void Splitter::describe()
{
    if (!written_)
        return;
    written_->folder = folder_;
    written_->avSync = avSync_;
    written_->startMs = timeline_.start();
    written_->files.clear();
    for (size_t z = 0; z < kSplitOutputs; ++z) {
        const Output& out = outs_[z];
        if (!out.renamed)
            continue;
        KrvSplitFile file;
        file.output = z;
        file.path = out.path;
        if (z == kAudioOutput) {
            file.count = krv_u32(out.wav.data() + kWavSampleCountOffset);
            file.dataBytes = out.wavData;
        } else {
            file.count = out.file->packetsWritten;
            file.dataBytes = out.file->packetsWritten * out.file->packetSize;
            file.carriesAudio = out.writer.carriesAudio;
        }
        file.offsetMs = int64_t(timeline_.fileZeroMs[z]) - int64_t(written_->startMs);
        written_->files.push_back(std::move(file));
    }
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
            unlink(out.temp.c_str());
    }
    krv_packet_destroy(source_);
    source_ = nullptr;
}

int Splitter::run()
{
    int r = prepare();
    if (r >= 0 && !staging_.create(folder_)) {
        noteFailure(errno, folder_);
        krv_log(sink_, "Error opening file %s ..... \n", folder_.c_str());
        r = avSync_ ? KRV_ERROR_FAIL_OPEN_FILE : 0;
    } else if (r >= 0) {
        r = createOutputs();
    }
    if (r > 0) {
        if (rec_->io.seek(rec_->io.context, rec_->position) != 0)
            r = KRV_ERROR_SEEK;
        else if (rec_->dataPacketsCount > 0)
            r = packetLoop();
        if (r >= 0)
            r = finish();
        if (r >= 0)
            r = commit();
        if (r >= 0) {
            describe();
            r = 1;
        }
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

const KrvSplitFile* krv_split_file(const KrvSplitFiles& written, size_t output)
{
    for (const KrvSplitFile& file : written.files)
        if (file.output == output)
            return &file;
    return nullptr;
}

int krv_split(KrvFile* recording, const std::string& folder, const KrvSplitOptions& options, KrvSplitFailure* failure,
              KrvSplitFiles* written)
{
    if (!recording)
        return KRV_ERROR_INTERNAL;
    try {
        Splitter splitter(recording, folder, options, failure, written);
        return splitter.run();
    } catch (const std::bad_alloc&) {
        return KRV_ERROR_OUTOFMEM;
    }
}
