#include "burn_in_encoder.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

#include "burn_in_overlay.h"
#include "krv/krv_time.h"
#include "krv/krv_timeline.h"

namespace vedra {
namespace {

constexpr AVRational kMs{1, 1000};
constexpr double kKeyFrameSeconds = 2.0; // seeking in the file stays quick
constexpr double kFallbackIntervalMs = 40.0;
// H.264: visually close to the recording at a few times real time on one core.
constexpr const char* kX264Preset = "veryfast";
constexpr const char* kX264Crf = "20";
// MPEG-4 part 2: a fixed quantiser, fine enough that the picture keeps its detail.
constexpr int kMpeg4Quantiser = 3;

} // namespace

std::string BurnInEncoder::Where(uint32_t timeMs) const
{
    return "channel " + std::to_string(settings_.channel) + "'s frame at " +
           krv_offset_text(timeMs > settings_.originMs ? timeMs - settings_.originMs : 0);
}

bool BurnInEncoder::Open(const BurnInSettings& settings, std::string& error)
{
    QuietAvLog();
    settings_ = settings;
    settings_.creationDate = krv_trusted_creation_date(settings.creationDate);
    const std::string camera = "channel " + std::to_string(settings.channel);
    if (settings.width % 2 || settings.height % 2) {
        error = "the time of day cannot be burned into " + camera + ": its picture size " +
                std::to_string(settings.width) + "x" + std::to_string(settings.height) + " is not even";
        return false;
    }
    const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
    const AVCodec* encoder = settings.format == ExportFormat::Avi ? nullptr : avcodec_find_encoder_by_name("libx264");
    const bool h264 = encoder != nullptr;
    if (!encoder)
        encoder = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (!decoder || !encoder) {
        error = "the time of day cannot be burned in: libavcodec has no MPEG-4 part 2 " +
                std::string(decoder ? "encoder" : "decoder");
        return false;
    }
    decoder_.reset(avcodec_alloc_context3(decoder));
    encoder_.reset(avcodec_alloc_context3(encoder));
    packet_.reset(av_packet_alloc());
    decoded_.reset(av_frame_alloc());
    picture_.reset(av_frame_alloc());
    if (!decoder_ || !encoder_ || !packet_ || !decoded_ || !picture_) {
        error = "out of memory";
        return false;
    }

    if (!CopyAvExtraData(settings.config, decoder_->extradata, decoder_->extradata_size)) {
        error = "out of memory";
        return false;
    }
    decoder_->thread_count = 1; // pictures come out in the order the frames go in
    if (int r = avcodec_open2(decoder_.get(), decoder, nullptr); r < 0) {
        error = "cannot open the MPEG-4 part 2 decoder for " + camera + ": " + AvError(r);
        return false;
    }

    const double interval = settings.frameIntervalMs > 0 ? settings.frameIntervalMs : kFallbackIntervalMs;
    encoder_->width = int(settings.width);
    encoder_->height = int(settings.height);
    encoder_->pix_fmt = AV_PIX_FMT_YUV420P;
    encoder_->time_base = kMs;
    encoder_->framerate = av_d2q(1000.0 / interval, 1000);
    encoder_->gop_size = std::max(1, int(std::lround(kKeyFrameSeconds * 1000.0 / interval)));
    encoder_->max_b_frames = 0; // every packet's time is its frame's
    encoder_->thread_count = 0;
    if (settings.format != ExportFormat::Avi)
        encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (h264) {
        av_opt_set(encoder_->priv_data, "preset", kX264Preset, 0);
        av_opt_set(encoder_->priv_data, "crf", kX264Crf, 0);
        description_ = std::string("H.264 (libx264, CRF ") + kX264Crf + ", preset " + kX264Preset + ")";
    } else {
        encoder_->flags |= AV_CODEC_FLAG_QSCALE;
        encoder_->global_quality = FF_QP2LAMBDA * kMpeg4Quantiser;
        description_ = "MPEG-4 part 2 (libavcodec mpeg4, quantiser " + std::to_string(kMpeg4Quantiser) + ")";
    }
    if (int r = avcodec_open2(encoder_.get(), encoder, nullptr); r < 0) {
        error = "cannot open the " + description_ + " encoder for " + camera + ": " + AvError(r);
        return false;
    }
    picture_->format = AV_PIX_FMT_YUV420P;
    picture_->width = encoder_->width;
    picture_->height = encoder_->height;
    if (int r = av_frame_get_buffer(picture_.get(), 0); r < 0) {
        error = "out of memory: " + AvError(r);
        return false;
    }
    return true;
}

bool BurnInEncoder::Push(const uint8_t* data, uint32_t size, uint32_t timeMs, const Output& out, std::string& error)
{
    if (!decoder_) {
        error = "the burn-in encoder was never opened";
        return false;
    }
    AVPacket* p = packet_.get();
    if (!FillAvPacket(p, data, size)) {
        error = "out of memory";
        return false;
    }
    p->pts = p->dts = sent_++; // which frame a picture is of
    decoding_.push_back(timeMs);
    const int r = avcodec_send_packet(decoder_.get(), p);
    av_packet_unref(p);
    if (r < 0) {
        error = Where(timeMs) + " does not decode: " + AvError(r);
        return false;
    }
    return Decoded(out, error);
}

// Each picture the decoder gives, with the text of its frame drawn in.
bool BurnInEncoder::Decoded(const Output& out, std::string& error)
{
    int r;
    while ((r = avcodec_receive_frame(decoder_.get(), decoded_.get())) == 0) {
        const AVFrame& f = *decoded_;
        const int64_t index = f.best_effort_timestamp != AV_NOPTS_VALUE ? f.best_effort_timestamp : f.pts;
        const int64_t first = sent_ - int64_t(decoding_.size());
        if (decoding_.empty() || index < first) {
            error = "channel " + std::to_string(settings_.channel) + ": the decoder gave a picture of no frame";
            return false;
        }
        if (!RepeatLast(size_t(index - first), out, error))
            return false;
        if (f.width != int(settings_.width) || f.height != int(settings_.height) || f.format != AV_PIX_FMT_YUV420P) {
            error = Where(decoding_.front()) + " is a picture of " + std::to_string(f.width) + "x" +
                    std::to_string(f.height) + ", not the channel's " + std::to_string(settings_.width) + "x" +
                    std::to_string(settings_.height) + " in YUV 4:2:0";
            av_frame_unref(decoded_.get());
            return false;
        }
        r = av_frame_make_writable(picture_.get());
        if (r >= 0)
            r = av_frame_copy(picture_.get(), decoded_.get());
        av_frame_unref(decoded_.get());
        if (r < 0) {
            error = "cannot copy a picture: " + AvError(r);
            return false;
        }
        if (!Encode(out, error))
            return false;
    }
    if (r != AVERROR(EAGAIN) && r != AVERROR_EOF) {
        error = Where(decoding_.empty() ? 0 : decoding_.front()) + " does not decode: " + AvError(r);
        return false;
    }
    return true;
}

// The next `count` frames gave no picture of their own (a VOP not coded:
// nothing changed), so they show the picture before them.
bool BurnInEncoder::RepeatLast(size_t count, const Output& out, std::string& error)
{
    for (size_t i = 0; i < count && !decoding_.empty(); ++i) {
        if (lastPts_ < 0) {
            error = Where(decoding_.front()) + " gives no picture";
            return false;
        }
        if (!Encode(out, error))
            return false;
        ++repeated_;
    }
    return true;
}

// The picture held, with the text of the next frame drawn in.
bool BurnInEncoder::Encode(const Output& out, std::string& error)
{
    const uint32_t timeMs = decoding_.front();
    decoding_.pop_front();
    if (int r = av_frame_make_writable(picture_.get()); r < 0) {
        error = "out of memory: " + AvError(r);
        return false;
    }
    const uint32_t offset = timeMs > settings_.originMs ? timeMs - settings_.originMs : 0;
    const std::string when =
        settings_.creationDate ? FrameTimeOfDayText(settings_.creationDate, timeMs) : "+" + krv_offset_text(offset);
    DrawBurnIn(*picture_, {when, "Camera " + std::to_string(settings_.channel)});
    picture_->pts = lastPts_ = std::max<int64_t>(timeMs, lastPts_ + 1);
    picture_->pict_type = AV_PICTURE_TYPE_NONE;
    encoding_.push_back(timeMs);
    return Send(picture_.get(), out, error);
}

// A picture, or the end of the stream for none; then every packet ready.
bool BurnInEncoder::Send(const AVFrame* picture, const Output& out, std::string& error)
{
    int r = avcodec_send_frame(encoder_.get(), picture);
    if (r < 0) {
        error = "the " + description_ + " encoder failed on " +
                (picture ? Where(encoding_.back()) : std::string("the last frames")) + ": " + AvError(r);
        return false;
    }
    AVPacket* p = packet_.get();
    while ((r = avcodec_receive_packet(encoder_.get(), p)) == 0) {
        if (encoding_.empty()) {
            av_packet_unref(p);
            error = "the " + description_ + " encoder gave more packets than frames";
            return false;
        }
        const uint32_t timeMs = encoding_.front();
        encoding_.pop_front();
        const bool ok = out(*p, timeMs, error);
        av_packet_unref(p);
        if (!ok)
            return false;
    }
    if (r != AVERROR(EAGAIN) && r != AVERROR_EOF) {
        error = "the " + description_ + " encoder failed: " + AvError(r);
        return false;
    }
    return true;
}

bool BurnInEncoder::Finish(const Output& out, std::string& error)
{
    if (!decoder_) {
        error = "the burn-in encoder was never opened";
        return false;
    }
    int r = avcodec_send_packet(decoder_.get(), nullptr);
    if (r < 0 && r != AVERROR_EOF) {
        error = "channel " + std::to_string(settings_.channel) + ": the decoder failed at the end: " + AvError(r);
        return false;
    }
    if (!Decoded(out, error))
        return false;
    if (!RepeatLast(decoding_.size(), out, error))
        return false;
    if (!Send(nullptr, out, error))
        return false;
    if (!encoding_.empty()) {
        error = "the " + description_ + " encoder kept " + std::to_string(encoding_.size()) + " frame(s) of channel " +
                std::to_string(settings_.channel) + " back";
        return false;
    }
    return true;
}

} // namespace vedra
