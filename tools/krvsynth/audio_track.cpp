#include "audio_track.h"

#include <cmath>
#include <memory>
#include <numbers>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

namespace krvsynth {

namespace {

struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

std::string avError(int code)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

// A quiet 440 Hz tone with a 1 kHz beep over the first 150 ms of every second.
int16_t sampleAt(uint64_t n)
{
    const double t = double(n) / kAudioSampleRate;
    const double frac = t - std::floor(t);
    double v = 0.1 * std::sin(2 * std::numbers::pi * 440.0 * t);
    if (frac < 0.15)
        v += 0.5 * std::sin(2 * std::numbers::pi * 1000.0 * t);
    return int16_t(std::lround(v * 32767.0));
}

} // namespace

bool encodeAudioTrack(int seconds, bool formatOnly, AudioTrack& track, std::string& error)
{
    track = AudioTrack{};
    const AVCodec* codec = avcodec_find_encoder_by_name("adpcm_ms");
    if (!codec) {
        error = "libavcodec has no adpcm_ms encoder";
        return false;
    }
    std::unique_ptr<AVCodecContext, CodecContextDeleter> ctx(avcodec_alloc_context3(codec));
    std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
    if (!ctx || !frame || !packet) {
        error = "out of memory";
        return false;
    }
    AVCodecContext* c = ctx.get();
    c->sample_rate = kAudioSampleRate;
    c->sample_fmt = AV_SAMPLE_FMT_S16;
    c->ch_layout = AV_CHANNEL_LAYOUT_MONO;
    c->time_base = AVRational{1, kAudioSampleRate};
    av_opt_set_int(c->priv_data, "block_size", kAudioBlockSize, 0);
    int r = avcodec_open2(c, codec, nullptr);
    if (r < 0) {
        error = "cannot open the adpcm_ms encoder: " + avError(r);
        return false;
    }
    if (c->frame_size <= 0 || c->block_align <= 0 || c->extradata_size < 4) {
        error = "the adpcm_ms encoder gave no block layout";
        return false;
    }
    AudioFormat& fmt = track.format;
    fmt.channels = 1;
    fmt.sampleRate = kAudioSampleRate;
    fmt.blockAlign = uint16_t(c->block_align);
    fmt.samplesPerBlock = uint16_t(c->frame_size);
    fmt.bitsPerSample = 4;
    fmt.avgBytesPerSecond = uint32_t(uint64_t(kAudioSampleRate) * uint64_t(c->block_align) / uint64_t(c->frame_size));
    fmt.extra.assign(c->extradata, c->extradata + c->extradata_size);
    if (formatOnly)
        return true;

    const uint64_t wanted = uint64_t(seconds) * kAudioSampleRate;
    const uint32_t blocks = uint32_t((wanted + uint64_t(c->frame_size) - 1) / uint64_t(c->frame_size));
    frame->format = c->sample_fmt;
    frame->nb_samples = c->frame_size;
    av_channel_layout_copy(&frame->ch_layout, &c->ch_layout);
    r = av_frame_get_buffer(frame.get(), 0);
    if (r < 0) {
        error = "cannot allocate an audio frame: " + avError(r);
        return false;
    }

    AudioObject current{{}, 0, 0};
    uint64_t sample = 0;
    for (uint32_t b = 0; b < blocks; ++b) {
        if ((r = av_frame_make_writable(frame.get())) < 0) {
            error = "audio frame not writable: " + avError(r);
            return false;
        }
        auto* pcm = reinterpret_cast<int16_t*>(frame->data[0]);
        for (int i = 0; i < c->frame_size; ++i)
            pcm[i] = sampleAt(sample + uint64_t(i));
        frame->pts = int64_t(sample);
        if ((r = avcodec_send_frame(c, frame.get())) < 0) {
            error = "audio encoding failed: " + avError(r);
            return false;
        }
        while ((r = avcodec_receive_packet(c, packet.get())) >= 0) {
            if (packet->size != c->block_align) {
                error = "the adpcm_ms encoder gave a block of " + std::to_string(packet->size) + " bytes";
                return false;
            }
            if (current.blocks == 0)
                current.firstSample = sample;
            putU8(current.data, 0xE1);
            putU8(current.data, 0x1E);
            current.data.insert(current.data.end(), packet->data, packet->data + packet->size);
            ++current.blocks;
            ++track.totalBlocks;
            if (current.blocks == kBlocksPerObject) {
                track.objects.push_back(std::move(current));
                current = AudioObject{{}, 0, 0};
            }
            av_packet_unref(packet.get());
        }
        if (r != AVERROR(EAGAIN) && r != AVERROR_EOF) {
            error = "audio encoding failed: " + avError(r);
            return false;
        }
        sample += uint64_t(c->frame_size);
    }
    if (current.blocks > 0)
        track.objects.push_back(std::move(current));
    track.totalSamples = uint64_t(track.totalBlocks) * uint64_t(c->frame_size);
    return true;
}

} // namespace krvsynth
