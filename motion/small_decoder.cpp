#include "motion/small_decoder.h"

#include <algorithm>

extern "C" {
#include <libavutil/frame.h>
}

namespace vedra {

struct SmallDecoder::Codec {
    struct ContextFree {
        void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
    };
    struct FrameFree {
        void operator()(AVFrame* f) const { av_frame_free(&f); }
    };
    struct PacketFree {
        void operator()(AVPacket* p) const { av_packet_free(&p); }
    };
    std::unique_ptr<AVCodecContext, ContextFree> context;
    std::unique_ptr<AVFrame, FrameFree> frame;
    std::unique_ptr<AVPacket, PacketFree> packet;

    void Receive(const Picture& picture)
    {
        while (avcodec_receive_frame(context.get(), frame.get()) == 0) {
            picture(*frame);
            av_frame_unref(frame.get());
        }
    }
};

SmallDecoder::SmallDecoder() = default;
SmallDecoder::~SmallDecoder() = default;

bool SmallDecoder::Open(int lowres)
{
    if (codec_ || failed_)
        return !failed_;
    failed_ = true;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
    if (!codec)
        return false;
    auto c = std::make_unique<Codec>();
    c->context.reset(avcodec_alloc_context3(codec));
    c->frame.reset(av_frame_alloc());
    c->packet.reset(av_packet_alloc());
    if (!c->context || !c->frame || !c->packet)
        return false;
    c->context->lowres = std::clamp(lowres, 0, int(codec->max_lowres));
    c->context->thread_count = 1;
    c->context->flags2 |= AV_CODEC_FLAG2_FAST;
    if (avcodec_open2(c->context.get(), codec, nullptr) != 0)
        return false;
    codec_ = std::move(c);
    failed_ = false;
    return true;
}

void SmallDecoder::Decode(const uint8_t* data, size_t size, const Picture& picture)
{
    if (!codec_ || size > size_t(INT32_MAX))
        return;
    codec_->packet->data = const_cast<uint8_t*>(data);
    codec_->packet->size = int(size);
    if (avcodec_send_packet(codec_->context.get(), codec_->packet.get()) == 0)
        codec_->Receive(picture);
}

void SmallDecoder::Drain(const Picture& picture)
{
    if (!codec_)
        return;
    if (avcodec_send_packet(codec_->context.get(), nullptr) == 0)
        codec_->Receive(picture);
    avcodec_flush_buffers(codec_->context.get());
}

} // namespace vedra
