#include "adpcm_to_aac.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cstring>

namespace vedra {
namespace {

// Plenty for speech from a recorder; AAC needs less the lower the rate.
int64_t AacBitRate(uint32_t sampleRate, int channels)
{
    return std::min<int64_t>(int64_t(sampleRate) * 4, 64000) * channels;
}

} // namespace

bool AdpcmToAac::Open(const AdpcmFormat& format, std::string& error)
{
    format_ = format;
    if (format.sampleRate == 0 || format.channels == 0 || format.blockAlign == 0) {
        error = "the audio stream has no usable format";
        return false;
    }
    const AVCodec* dec = avcodec_find_decoder(AV_CODEC_ID_ADPCM_MS);
    const AVCodec* enc = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!dec || !enc) {
        error = "no MS ADPCM decoder or AAC encoder";
        return false;
    }
    decoder_.reset(avcodec_alloc_context3(dec));
    encoder_.reset(avcodec_alloc_context3(enc));
    decoded_.reset(av_frame_alloc());
    frame_.reset(av_frame_alloc());
    in_.reset(av_packet_alloc());
    out_.reset(av_packet_alloc());
    if (!decoder_ || !encoder_ || !decoded_ || !frame_ || !in_ || !out_) {
        error = "out of memory";
        return false;
    }
    AVCodecContext* d = decoder_.get();
    d->sample_rate = int(format.sampleRate);
    av_channel_layout_default(&d->ch_layout, format.channels);
    d->block_align = format.blockAlign;
    d->bits_per_coded_sample = 4;
    if (!CopyAvExtraData(format.extraData, d->extradata, d->extradata_size)) {
        error = "out of memory";
        return false;
    }
    int r = avcodec_open2(d, dec, nullptr);
    if (r < 0) {
        error = "cannot decode the audio: " + AvError(r);
        return false;
    }

    AVCodecContext* e = encoder_.get();
    e->sample_rate = int(format.sampleRate);
    av_channel_layout_default(&e->ch_layout, format.channels);
    e->sample_fmt = AV_SAMPLE_FMT_FLTP;
    e->bit_rate = AacBitRate(format.sampleRate, format.channels);
    e->time_base = timeBase();
    e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if ((r = avcodec_open2(e, enc, nullptr)) < 0) {
        error = "cannot encode the audio to AAC at " + std::to_string(format.sampleRate) + " Hz: " + AvError(r);
        return false;
    }
    pending_.assign(format.channels, {});
    return true;
}

int AdpcmToAac::CopyParameters(AVCodecParameters* par) const
{
    return avcodec_parameters_from_context(par, encoder_.get());
}

int AdpcmToAac::Push(const uint8_t* blocks, uint32_t size, int64_t startSample, const PacketSink& sink)
{
    if (pendingStart_ < 0)
        pendingStart_ = startSample;
    const int64_t reached = pendingStart_ + int64_t(pending_[0].size());
    if (startSample > reached + 1) {
        // Audio the recorder lost: silence keeps what follows in time.
        for (std::vector<float>& ch : pending_)
            ch.resize(ch.size() + size_t(startSample - reached), 0.0f);
    }
    for (uint32_t at = 0; at + format_.blockAlign <= size; at += format_.blockAlign) {
        in_->data = const_cast<uint8_t*>(blocks + at);
        in_->size = format_.blockAlign;
        int r = avcodec_send_packet(decoder_.get(), in_.get());
        in_->data = nullptr;
        in_->size = 0;
        if (r < 0)
            return r;
        while ((r = avcodec_receive_frame(decoder_.get(), decoded_.get())) >= 0) {
            const AVFrame* f = decoded_.get();
            const bool planar = av_sample_fmt_is_planar(AVSampleFormat(f->format));
            for (int c = 0; c < int(pending_.size()); ++c) {
                const int16_t* s = reinterpret_cast<const int16_t*>(planar ? f->extended_data[c] : f->extended_data[0]);
                const int step = planar ? 1 : int(pending_.size());
                const int offset = planar ? 0 : c;
                for (int i = 0; i < f->nb_samples; ++i)
                    pending_[c].push_back(float(s[i * step + offset]) / 32768.0f);
            }
            av_frame_unref(decoded_.get());
        }
        if (r != AVERROR(EAGAIN) && r != AVERROR_EOF)
            return r;
    }
    return EncodeFrames(false, sink);
}

int AdpcmToAac::EncodeFrames(bool all, const PacketSink& sink)
{
    const int frameSize = encoder_->frame_size > 0 ? encoder_->frame_size : 1024;
    while (!pending_.empty() && (pending_[0].size() >= size_t(frameSize) || (all && !pending_[0].empty()))) {
        const int n = int(std::min<size_t>(pending_[0].size(), size_t(frameSize)));
        AVFrame* f = frame_.get();
        av_frame_unref(f);
        f->nb_samples = n;
        f->format = AV_SAMPLE_FMT_FLTP;
        f->sample_rate = encoder_->sample_rate;
        if (int r = av_channel_layout_copy(&f->ch_layout, &encoder_->ch_layout); r < 0)
            return r;
        if (int r = av_frame_get_buffer(f, 0); r < 0)
            return r;
        for (size_t c = 0; c < pending_.size(); ++c) {
            std::memcpy(f->extended_data[c], pending_[c].data(), size_t(n) * sizeof(float));
            pending_[c].erase(pending_[c].begin(), pending_[c].begin() + n);
        }
        f->pts = pendingStart_;
        pendingStart_ += n;
        if (int r = avcodec_send_frame(encoder_.get(), f); r < 0)
            return r;
        if (int r = Drain(sink); r < 0)
            return r;
    }
    return 0;
}

int AdpcmToAac::Drain(const PacketSink& sink)
{
    int r;
    while ((r = avcodec_receive_packet(encoder_.get(), out_.get())) >= 0) {
        r = sink(out_.get());
        av_packet_unref(out_.get());
        if (r < 0)
            return r;
    }
    return r == AVERROR(EAGAIN) || r == AVERROR_EOF ? 0 : r;
}

int AdpcmToAac::Flush(const PacketSink& sink)
{
    if (!encoder_)
        return 0;
    if (int r = EncodeFrames(true, sink); r < 0)
        return r;
    if (int r = avcodec_send_frame(encoder_.get(), nullptr); r < 0 && r != AVERROR_EOF)
        return r;
    return Drain(sink);
}

} // namespace vedra
