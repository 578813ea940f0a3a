#include "krv_frame_reader.h"

#include <algorithm>
#include <cstring>

#include "krv/krv_io.h"
#include "krv/krv_time.h"

namespace vedra {

int KrvFrameReader::Open(const std::string& path, int streamNumber)
{
    Close();
    path_ = path;
    file_.reset(krv_open(path, true));
    if (!file_)
        return KRV_ERROR_FAIL_OPEN_FILE;
    int r = krv_init(file_.get());
    if (r < 0) {
        Close();
        return r;
    }
    // The recorder describes its first camera's stream only; the other cameras share that description.
    for (int s = 0; s < kMaxStreams; ++s) {
        const KrvStream& st = file_->streams[s];
        if (st.type == KrvStreamType::Video && st.video && (stream_ < 0 || s == streamNumber)) {
            stream_ = s;
            width_ = st.video->width;
            height_ = st.video->height;
            compression_ = st.video->compression;
            if (streamNumber < 0 || s == streamNumber)
                break;
        }
    }
    if (stream_ >= 0 && streamNumber >= 0) {
        if (streamNumber >= kMaxStreams || file_->streams[streamNumber].type == KrvStreamType::Audio)
            stream_ = -1;
        else
            stream_ = streamNumber;
    }
    if (stream_ < 0 || file_->packetSize == 0 || !file_->data) {
        Close();
        return KRV_ERROR_INVALID_OBJECT;
    }
    packet_.reset(krv_packet_create(file_.get(), true));
    if (!packet_) {
        Close();
        return KRV_ERROR_OUTOFMEM;
    }
    durationMs_ = krv_play_length_ms(file_->playDuration, file_->preroll);
    return 1;
}

double KrvFrameReader::headerDurationSeconds() const
{
    return file_ ? krv_duration_seconds(file_->sendDuration) : 0.0;
}

void KrvFrameReader::Close()
{
    packet_.reset();
    file_.reset();
    stream_ = -1;
    havePacket_ = false;
    nextPayload_ = 0;
    waitKey_ = false;
    scanner_.reset();
    scanDone_ = false;
    scannedMs_ = 0;
    keys_.clear();
    ResetAssembly();
}

void KrvFrameReader::ResetAssembly()
{
    reassembling_ = false;
    saved_ = KrvSavedHeader{};
    object_.clear();
    objectSize_ = 0;
    received_ = 0;
}

int KrvFrameReader::ReadPacket()
{
    krv_packet_reset(packet_.get());
    const int r = krv_get_packet(file_.get(), packet_.get(), reassembling_, &saved_);
    havePacket_ = r > 0;
    nextPayload_ = 0;
    return r;
}

int KrvFrameReader::Next(KrvFrame& frame)
{
    if (!file_)
        return KRV_ERROR_INTERNAL;
    for (;;) {
        if (!havePacket_ || nextPayload_ >= packet_->payloadCount) {
            const int r = ReadPacket();
            if (r <= 0)
                return r;
            continue;
        }
        const size_t index = nextPayload_++;
        const KrvPayload& p = packet_->payloads[index];
        const uint8_t* bufferEnd = packet_->buffer.data() + packet_->buffer.size();
        // Bytes of this payload that really lie inside the packet.
        const size_t avail = (p.data && p.data >= packet_->buffer.data() && p.data <= bufferEnd)
                                 ? std::min<size_t>(p.payloadLength, static_cast<size_t>(bufferEnd - p.data))
                                 : 0;
        const bool lastInPacket = index + 1 == packet_->payloadCount;

        if (reassembling_) {
            if (index != 0) {
                // A continuation can only open a packet; the object is incomplete.
                ResetAssembly();
            } else {
                const size_t take = std::min<size_t>(avail, objectSize_ - received_);
                object_.insert(object_.end(), p.data, p.data + take);
                received_ += static_cast<uint32_t>(take);
                krv_put_u32(&saved_.bytes[16], received_);
                if (received_ < objectSize_) {
                    if (!lastInPacket || take == 0)
                        ResetAssembly(); // nothing more can come for it
                    continue;
                }
                frame.data.swap(object_);
                frame.ptsMs = objectPts_;
                frame.keyFrame = objectKey_;
                lastFramePacket_ = objectPacket_;
                ResetAssembly();
                if (waitKey_ && (!frame.keyFrame || frame.ptsMs < seekKeyMs_))
                    continue;
                waitKey_ = false;
                return 1;
            }
        }

        if (p.streamNumber != stream_ || p.offset != 0 || p.mediaObjectSize == 0 || p.mediaObjectSize > kMaxFrameSize)
            continue;
        if (avail >= p.mediaObjectSize) {
            if (waitKey_ && (!p.keyFrame || p.presentationTime < seekKeyMs_))
                continue;
            waitKey_ = false;
            frame.data.assign(p.data, p.data + p.mediaObjectSize);
            frame.ptsMs = p.presentationTime;
            frame.keyFrame = p.keyFrame != 0;
            lastFramePacket_ = CurrentPacket();
            return 1;
        }
        // The object goes on in the next packet only when it ends this one.
        const size_t headerLength = (packet_->lengthTypeFlags & 1) ? kMultiPayloadHeaderSize : kSinglePayloadHeaderSize;
        if (!lastInPacket || !p.header || p.header + 15 > bufferEnd)
            continue;
        saved_ = KrvSavedHeader{};
        saved_.bytes[0] = static_cast<uint8_t>(headerLength);
        std::memcpy(&saved_.bytes[1], p.header, 15);
        object_.assign(p.data, p.data + avail);
        objectSize_ = p.mediaObjectSize;
        received_ = static_cast<uint32_t>(avail);
        krv_put_u32(&saved_.bytes[16], received_);
        objectPts_ = p.presentationTime;
        objectKey_ = p.keyFrame != 0;
        objectPacket_ = CurrentPacket();
        reassembling_ = true;
    }
}

int KrvFrameReader::Reposition(uint64_t packet)
{
    if (packet > file_->dataPacketsCount)
        packet = file_->dataPacketsCount;
    const uint64_t offset = file_->data->packetsPosition + packet * file_->packetSize;
    if (!file_->io.seek || file_->io.seek(file_->io.context, offset) < 0)
        return KRV_ERROR_SEEK;
    file_->position = offset;
    file_->packetCounter = packet;
    havePacket_ = false;
    nextPayload_ = 0;
    ResetAssembly();
    return 1;
}

int KrvFrameReader::ScanUntil(uint32_t ms)
{
    if (!scanner_) {
        scanner_ = std::make_unique<KrvFrameReader>();
        const int r = scanner_->Open(path_, stream_);
        if (r < 0) {
            scanner_.reset();
            return r;
        }
    }
    KrvFrame frame;
    // Until a frame later than ms has been seen: every key frame up to ms is then known.
    while (!scanDone_ && (keys_.empty() || scannedMs_ <= ms)) {
        if (scanner_->Next(frame) <= 0) {
            scanDone_ = true; // the end, or damage: keep what was found
            break;
        }
        scannedMs_ = std::max(scannedMs_, frame.ptsMs);
        if (frame.keyFrame) {
            const KeyEntry entry{frame.ptsMs, scanner_->lastFramePacket_};
            auto at = std::upper_bound(keys_.begin(), keys_.end(), entry.ptsMs,
                                       [](uint32_t t, const KeyEntry& k) { return t < k.ptsMs; });
            keys_.insert(at, entry);
        }
    }
    return 1;
}

int KrvFrameReader::SeekToKeyFrame(uint32_t ms)
{
    if (!file_)
        return KRV_ERROR_INTERNAL;
    if (ms == 0 && keys_.empty()) {
        const int r = Reposition(0);
        waitKey_ = true;
        seekKeyMs_ = 0;
        return r;
    }
    const int scanned = ScanUntil(ms);
    if (scanned < 0)
        return scanned;
    uint64_t packet = 0;
    seekKeyMs_ = 0;
    auto it =
        std::upper_bound(keys_.begin(), keys_.end(), ms, [](uint32_t t, const KeyEntry& k) { return t < k.ptsMs; });
    if (it != keys_.begin())
        it = std::prev(it);
    if (it != keys_.end()) {
        packet = it->packet;
        seekKeyMs_ = it->ptsMs;
    }
    const int r = Reposition(packet);
    waitKey_ = true;
    return r;
}

} // namespace vedra
