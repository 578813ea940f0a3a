#include "krv/krv_facts.h"

#include <algorithm>
#include <new>

#include "krv/krv_audio_blocks.h"
#include "krv/krv_data_packets.h"
#include "krv/krv_io.h"
#include "krv/krv_object_assembler.h"
#include "krv/krv_reader.h"

namespace {

constexpr uint32_t kGapIntervals = 3;

class FactsWalk {
public:
    FactsWalk(KrvFile* file, KrvFacts& facts, const KrvObjectObserver& observer)
        : file_(file), facts_(facts), observer_(observer)
    {}
    int run();

private:
    // 0, or a negative KrvError when the packet's payloads do not fit together.
    int walkPayloads();
    void account(const KrvWholeObject& whole);

    KrvFile* file_;
    KrvFacts& facts_;
    const KrvObjectObserver& observer_;
    KrvPacketPtr packet_;
    KrvObjectAssembler assembler_;
    std::vector<uint32_t> times_[4];
    std::vector<uint8_t> audio_;
};

void FactsWalk::account(const KrvWholeObject& whole)
{
    const uint8_t stream = whole.meta.streamNumber;
    if (observer_)
        observer_(whole);
    if (stream == 1) {
        KrvAudioFacts& a = facts_.audio;
        ++a.objects;
        uint32_t unpacked = 0;
        if (a.blockAlign && krv_unpack_audio(whole.data, whole.size, a.blockAlign, audio_, unpacked))
            a.blocks += (unpacked + a.blockAlign - 1) / a.blockAlign;
        return;
    }
    KrvChannelFacts& c = facts_.channels[stream - 2];
    ++c.frames;
    c.keyFrames += whole.meta.keyFrame;
    c.bytes += whole.size;
    times_[stream - 2].push_back(whole.meta.presentationTime);
}

int FactsWalk::walkPayloads()
{
    const KrvPacket& packet = *packet_;
    const bool last = file_->packetCounter >= file_->dataPacketsCount;
    for (uint16_t i = 0; i < packet.payloadCount; ++i) {
        const KrvPayload& p = packet.payloads[i];
        int r = krv_check_payload(packet, p);
        KrvWholeObject whole;
        if (r == 0 && assembler_.busy())
            r = assembler_.resume(packet, p, last, packet.payloadCount, whole);
        else if (r == 0 && p.offset == 0)
            r = assembler_.start(packet, p, 0, whole);
        if (r < 0)
            return r;
        if (r == 1)
            account(whole);
    }
    return 0;
}

int FactsWalk::run()
{
    packet_.reset(krv_packet_create(file_, true));
    if (!packet_)
        return KRV_ERROR_OUTOFMEM;
    bool reposition = false;
    for (uint64_t k = 0; k < file_->dataPacketsCount; ++k) {
        if (reposition) {
            int s = krv_seek_packet(file_, k);
            if (s < 0)
                return s;
            reposition = false;
        }
        krv_packet_reset(packet_.get());
        const int r = krv_get_packet(file_, packet_.get(), assembler_.busy(), assembler_.saved());
        if (r == 0)
            break;
        if (r < 0 || walkPayloads() < 0) {
            // Skip the packet and whatever object was being put together.
            ++facts_.damagedPackets;
            assembler_.reset();
            reposition = r < 0;
            if (r == KRV_ERROR_IO || r == KRV_ERROR_OUTOFMEM)
                return r;
            continue;
        }
        ++facts_.packetsRead;
    }
    for (int c = 0; c < 4; ++c)
        krv_measure_frames(std::move(times_[c]), facts_.channels[c]);
    const KrvAudioFacts& a = facts_.audio;
    if (a.rate)
        facts_.audio.durationSec = double(a.blocks) * a.samplesPerBlock / a.rate;
    return 1;
}

} // namespace

uint32_t krv_frame_interval(std::vector<uint32_t> times)
{
    std::sort(times.begin(), times.end());
    std::vector<uint32_t> steps;
    for (size_t i = 1; i < times.size(); ++i)
        if (times[i] > times[i - 1])
            steps.push_back(times[i] - times[i - 1]);
    if (steps.empty())
        return 0;
    std::nth_element(steps.begin(), steps.begin() + long(steps.size() / 2), steps.end());
    return steps[steps.size() / 2];
}

void krv_measure_frames(std::vector<uint32_t> times, KrvChannelFacts& facts)
{
    facts.present = !times.empty();
    facts.gaps.clear();
    facts.frameRate = 0;
    facts.firstMs = facts.lastMs = 0;
    if (times.empty())
        return;
    std::sort(times.begin(), times.end());
    facts.firstMs = times.front();
    facts.lastMs = times.back();
    const uint32_t interval = krv_frame_interval(times);
    if (interval == 0)
        return;
    facts.frameRate = 1000.0 / interval;
    for (size_t i = 1; i < times.size(); ++i) {
        const uint32_t step = times[i] - times[i - 1];
        if (step > kGapIntervals * interval)
            facts.gaps.push_back({times[i - 1] + interval, step - interval});
    }
}

int krv_gather_facts(KrvFile* file, uint64_t fileSize, KrvFacts& facts, const KrvObjectObserver& observer)
{
    if (!file || !file->data)
        return KRV_ERROR_INTERNAL;
    facts = {};
    facts.fileSize = fileSize;
    facts.creationDate = file->creationDate;
    facts.playDuration = file->playDuration;
    facts.preroll = file->preroll;
    const KrvCutShort cut = krv_keep_whole_packets(file, fileSize);
    facts.packetsAnnounced = cut.announced;
    facts.missingPackets = cut.announced - cut.whole;
    facts.cutShort = cut.cut;

    for (const KrvStream& s : file->streams) {
        if (s.type == KrvStreamType::Video && s.video && facts.channels[0].width == 0) {
            for (KrvChannelFacts& c : facts.channels) {
                c.width = s.video->width;
                c.height = s.video->height;
            }
        }
        if (s.type == KrvStreamType::Audio && s.audio && !facts.audio.present) {
            KrvAudioFacts& a = facts.audio;
            a.present = true;
            a.formatTag = s.audio->formatTag;
            a.channels = s.audio->channels;
            a.rate = s.audio->samplesPerSec;
            a.blockAlign = s.audio->blockAlign;
            if (s.audio->extraSize >= 2 && s.audio->extraData)
                a.samplesPerBlock = krv_u16(s.audio->extraData);
        }
    }
    try {
        FactsWalk walk(file, facts, observer);
        return walk.run();
    } catch (const std::bad_alloc&) {
        return KRV_ERROR_OUTOFMEM;
    }
}
