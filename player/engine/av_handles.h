// Owning handles for the libav objects the export code uses, and the text of
// a libav error code.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

#include <memory>
#include <string>

#include "av_log.h"

namespace vedra {

struct AvInputClose {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
using AvInputPtr = std::unique_ptr<AVFormatContext, AvInputClose>;

// An output context closes its file first.
struct AvOutputClose {
    void operator()(AVFormatContext* c) const
    {
        if (c->pb)
            avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
using AvOutputPtr = std::unique_ptr<AVFormatContext, AvOutputClose>;

struct AvPacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using AvPacketPtr = std::unique_ptr<AVPacket, AvPacketFree>;

struct AvFrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameFree>;

struct AvCodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
using AvCodecPtr = std::unique_ptr<AVCodecContext, AvCodecFree>;

// With what libav logged about it, when it did (QuietAvLog).
inline std::string AvError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    const std::string detail = TakeAvLogError();
    return detail.empty() ? text : std::string(text) + " (" + detail + ")";
}

} // namespace vedra
