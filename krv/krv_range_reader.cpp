#include "krv/krv_range_reader.h"

#include <algorithm>

#include "krv/krv_audio_blocks.h"
#include "krv/krv_data_packets.h"
#include "krv/krv_facts.h"

namespace {

// Objects begin in time order, give or take how a recorder interleaves its
// streams: once packets are due this much after `to`, nothing of the range follows.
constexpr int64_t kEndSlackMs = 5000;
// How far before `from` the objects of a packet due earlier may still reach.
constexpr int64_t kLeadMs = 1000;
constexpr size_t kIntervalSamples = 64; // frame times kept per channel for the interval
constexpr uint64_t kFirstWindow = 16;   // packets looked at before the range, doubled each time

int channelOf(const KrvPayload& p)
{
    return p.streamNumber >= 2 && p.streamNumber <= 5 ? p.streamNumber - 1 : 0;
}

} // namespace

KrvRangeReader::KrvRangeReader(KrvFile* recording, uint64_t fileSize) : rec_(recording)
{
    const KrvCutShort c = krv_cut_short(*rec_, fileSize);
    packets_ = c.whole;
    cut_ = c.cut;
    for (const KrvStream& s : rec_->streams) {
        if (s.type == KrvStreamType::Audio && s.audio) {
            blockAlign_ = s.audio->blockAlign;
            break;
        }
    }
}

int KrvRangeReader::readPacket(uint64_t index, bool continuing)
{
    if (!packet_) {
        packet_.reset(krv_packet_create(rec_, true));
        if (!packet_)
            return KRV_ERROR_OUTOFMEM;
    }
    // Reading on from the packet just read needs no seek.
    if (rec_->packetCounter != index) {
        if (int s = krv_seek_packet(rec_, index); s < 0)
            return s;
    }
    krv_packet_reset(packet_.get());
    const int r = krv_get_packet(rec_, packet_.get(), continuing, assembler_.saved());
    if (r < 0)
        return r;
    ++packetsRead_;
    current_ = index;
    return r == 0 ? KRV_ERROR_EOF : 1;
}

int64_t KrvRangeReader::packetTime() const
{
    // The payloads' own times, not the send time: recorders send packets ahead
    // of their objects by the preroll, or not at all, and only the payloads say.
    int64_t t = std::numeric_limits<int64_t>::max();
    for (uint16_t i = 0; i < packet_->payloadCount; ++i)
        t = std::min<int64_t>(t, packet_->payloads[i].presentationTime);
    return t == std::numeric_limits<int64_t>::max() ? int64_t(packet_->sendTime) : t;
}

int64_t KrvRangeReader::packetTimeOf(uint64_t index, int& error)
{
    error = readPacket(index, false);
    return error < 0 ? 0 : packetTime();
}

int64_t KrvRangeReader::firstPacketAt(int64_t ms, int& error)
{
    uint64_t lo = 0, hi = packets_;
    error = 0;
    while (lo < hi) {
        const uint64_t mid = lo + (hi - lo) / 2;
        const int64_t t = packetTimeOf(mid, error);
        if (error < 0)
            return 0;
        if (t < ms)
            lo = mid + 1;
        else
            hi = mid;
    }
    return int64_t(lo);
}

// From the packet where the range may begin on: which channels have frames in the
// range, key frames at or before `from` that still sit after that packet, and
// their first key frames in the range.
int KrvRangeReader::scanForward(uint64_t from, uint8_t wanted, uint8_t& seen)
{
    seen = 0;
    std::vector<uint32_t> times[kRangeChannels];
    uint32_t keyBefore[kRangeChannels] = {};
    uint64_t keyBeforePacket[kRangeChannels] = {};
    bool haveBefore[kRangeChannels] = {};
    bool haveAfter[kRangeChannels] = {};
    auto satisfied = [&] {
        for (int c = 0; c < kRangeChannels; ++c)
            if ((wanted >> c & 1) && (!haveAfter[c] || times[c].size() < kIntervalSamples))
                return false;
        return true;
    };
    for (uint64_t k = from; k < packets_ && !satisfied(); ++k) {
        int r = readPacket(k, false);
        if (r < 0)
            return r;
        if (packetTime() >= range_.toMs && packetTime() - range_.toMs >= kLeadMs)
            break;
        for (uint16_t i = 0; i < packet_->payloadCount; ++i) {
            const KrvPayload& p = packet_->payloads[i];
            if ((r = krv_check_payload(*packet_, p)) < 0)
                return r;
            const int c = channelOf(p) - 1;
            if (c < 0 || !(wanted >> c & 1) || p.offset != 0 || p.presentationTime >= range_.toMs)
                continue;
            if (p.presentationTime >= range_.fromMs)
                seen |= uint8_t(1u << c);
            if (times[c].size() < kIntervalSamples)
                times[c].push_back(p.presentationTime);
            if (!p.keyFrame)
                continue;
            if (p.presentationTime <= range_.fromMs) {
                if (!haveBefore[c] || p.presentationTime >= keyBefore[c]) {
                    haveBefore[c] = true;
                    keyBefore[c] = p.presentationTime;
                    keyBeforePacket[c] = k;
                }
            } else if (!haveAfter[c]) {
                haveAfter[c] = true;
                channels_[c].present = true;
                channels_[c].startMs = p.presentationTime;
                channels_[c].startPacket = k;
            }
        }
    }
    for (int c = 0; c < kRangeChannels; ++c) {
        channels_[c].frameIntervalMs = krv_frame_interval(std::move(times[c]));
        channels_[c].framesInRange = seen >> c & 1;
        if (!(seen >> c & 1)) {
            channels_[c].present = false; // its last frames lie before the range
            continue;
        }
        if (haveBefore[c]) {
            channels_[c].present = true;
            channels_[c].startMs = keyBefore[c];
            channels_[c].startPacket = keyBeforePacket[c];
        }
    }
    return 1;
}

// Back from `before`, in growing windows, for the key frame at or before `from`
// of each unresolved channel. A window without any frame of a channel means it
// began after it: it then keeps its first key frame in the range.
int KrvRangeReader::scanBackward(uint64_t before, uint8_t unresolved)
{
    uint64_t hi = before;
    uint64_t window = kFirstWindow;
    while (unresolved && hi > 0) {
        const uint64_t lo = hi > window ? hi - window : 0;
        bool seen[kRangeChannels] = {};
        bool found[kRangeChannels] = {};
        for (uint64_t k = lo; k < hi; ++k) {
            int r = readPacket(k, false);
            if (r < 0)
                return r;
            for (uint16_t i = 0; i < packet_->payloadCount; ++i) {
                const KrvPayload& p = packet_->payloads[i];
                if ((r = krv_check_payload(*packet_, p)) < 0)
                    return r;
                const int c = channelOf(p) - 1;
                if (c < 0 || !(unresolved >> c & 1) || p.offset != 0 || p.presentationTime > range_.fromMs)
                    continue;
                seen[c] = true;
                if (p.keyFrame && (!found[c] || p.presentationTime >= channels_[c].startMs)) {
                    // the latest in the window wins
                    found[c] = true;
                    channels_[c].present = true;
                    channels_[c].startMs = p.presentationTime;
                    channels_[c].startPacket = k;
                }
            }
        }
        for (int c = 0; c < kRangeChannels; ++c)
            if ((unresolved >> c & 1) && (found[c] || !seen[c]))
                unresolved &= uint8_t(~(1u << c));
        hi = lo;
        window *= 2;
    }
    return 1;
}

int KrvRangeReader::seek(const KrvRange& range)
{
    range_ = range;
    range_.fromMs = std::max<int64_t>(range_.fromMs, 0);
    range_.channels &= 0x0F;
    for (KrvRangeChannel& c : channels_)
        c = {};
    assembler_.reset();
    int r = 0;
    // Objects begin in time order, so those of a packet come no later than
    // the next packet's: only the packet before the first one due at or after
    // `from` (less the interleaving's lead) may hold the range's first objects too.
    uint64_t at = uint64_t(firstPacketAt(range_.fromMs - std::min(range_.fromMs, kLeadMs), r));
    if (r < 0)
        return r;
    at = at > 0 ? at - 1 : 0;
    uint8_t seen = 0;
    if ((r = scanForward(at, range_.channels, seen)) < 0)
        return r;
    uint8_t unresolved = 0;
    for (int c = 0; c < kRangeChannels; ++c) {
        // A channel with frames in the range but no key frame found at or
        // before `from` yet may have one earlier.
        const bool exact = channels_[c].present && channels_[c].startMs <= range_.fromMs;
        if ((seen >> c & 1) && !exact)
            unresolved |= uint8_t(1u << c);
    }
    if ((r = scanBackward(at, unresolved)) < 0)
        return r;

    first_ = at;
    baseMs_ = uint32_t(std::min<int64_t>(range_.fromMs, UINT32_MAX));
    bool any = false;
    for (const KrvRangeChannel& c : channels_) {
        if (!c.present)
            continue;
        first_ = any ? std::min(first_, c.startPacket) : c.startPacket;
        baseMs_ = any ? std::min(baseMs_, c.startMs) : c.startMs;
        any = true;
    }
    stopMs_ = range_.toMs > std::numeric_limits<int64_t>::max() - kEndSlackMs ? range_.toMs : range_.toMs + kEndSlackMs;
    end_ = range_.toMs == std::numeric_limits<int64_t>::max() ? packets_ : uint64_t(firstPacketAt(range_.toMs, r)) + 1;
    if (r < 0)
        return r;
    end_ = std::min(std::max(end_, first_ + 1), packets_);

    for (int c = 0; c < kRangeChannels; ++c) {
        started_[c] = false;
        done_[c] = !channels_[c].present;
    }
    done_[kRangeChannels] = !range_.audio;
    nextPacket_ = first_;
    ended_ = false;
    havePacket_ = false;
    nextPayload_ = 0;
    assembler_.reset();
    return 1;
}

double KrvRangeReader::progress() const
{
    if (ended_)
        return 1.0;
    if (!havePacket_ || end_ <= first_)
        return nextPacket_ > first_ ? 1.0 : 0.0;
    return std::clamp(double(current_ + 1 - first_) / double(end_ - first_), 0.0, 1.0);
}

bool KrvRangeReader::admit(const KrvWholeObject& whole, KrvRangeObject& object)
{
    const uint32_t t = whole.meta.presentationTime;
    if (whole.tag == 0) {
        if (t < baseMs_ || done_[kRangeChannels])
            return false;
        if (t >= range_.toMs) {
            done_[kRangeChannels] = true;
            return false;
        }
        uint32_t unpacked = 0;
        if (!krv_unpack_audio(whole.data, whole.size, blockAlign_, audio_, unpacked) || unpacked == 0)
            return false;
        object = {0, false, t, audio_.data(), unpacked};
        return true;
    }
    const int c = whole.tag - 1;
    if (done_[c])
        return false;
    if (!started_[c]) {
        if (!whole.meta.keyFrame || t < channels_[c].startMs)
            return false;
        started_[c] = true;
    }
    if (t >= range_.toMs) {
        done_[c] = true;
        return false;
    }
    object = {whole.tag, whole.meta.keyFrame, t, whole.data, whole.size};
    return true;
}

int KrvRangeReader::next(KrvRangeObject& object)
{
    for (;;) {
        if (!havePacket_ || nextPayload_ >= packet_->payloadCount) {
            if (std::all_of(std::begin(done_), std::end(done_), [](bool d) { return d; }) || nextPacket_ >= packets_) {
                ended_ = true;
                return 0;
            }
            int r = readPacket(nextPacket_, assembler_.busy());
            if (r < 0)
                return r;
            ++nextPacket_;
            havePacket_ = true;
            nextPayload_ = 0;
            if (packetTime() > stopMs_) {
                ended_ = true;
                return 0;
            }
        }
        const uint16_t i = nextPayload_++;
        const KrvPayload& p = packet_->payloads[i];
        if (int r = krv_check_payload(*packet_, p); r < 0)
            return r;
        KrvWholeObject whole;
        int r = 0;
        if (assembler_.busy()) {
            r = assembler_.resume(*packet_, p, nextPacket_ >= packets_, packet_->payloadCount, whole);
        } else {
            if (p.offset != 0)
                continue; // the rest of an object that began before the range
            const int c = channelOf(p);
            const bool wanted = c == 0 ? range_.audio : (range_.channels >> (c - 1) & 1) && channels_[c - 1].present;
            if (!wanted)
                continue;
            r = assembler_.start(*packet_, p, c, whole);
        }
        if (r < 0)
            return r;
        if (r == 1 && admit(whole, object))
            return 1;
    }
}
