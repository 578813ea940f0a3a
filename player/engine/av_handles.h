// Owning handles for the libav objects the export code uses, and the text of
// a libav error code.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

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

// `bytes` as libav holds a codec's extra data (padded, freed with the context
// or parameters that `data` belongs to); false when out of memory.
inline bool CopyAvExtraData(const std::vector<uint8_t>& bytes, uint8_t*& data, int& size)
{
    if (bytes.empty())
        return true;
    data = static_cast<uint8_t*>(av_mallocz(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!data)
        return false;
    std::memcpy(data, bytes.data(), bytes.size());
    size = int(bytes.size());
    return true;
}

// A packet holding a copy of `size` bytes; false when out of memory.
inline bool FillAvPacket(AVPacket* packet, const uint8_t* bytes, uint32_t size)
{
    if (av_new_packet(packet, int(size)) < 0)
        return false;
    std::memcpy(packet->data, bytes, size);
    return true;
}

// With what libav logged about it, when it did (QuietAvLog).
inline std::string AvError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    const std::string detail = TakeAvLogError();
    return detail.empty() ? text : std::string(text) + " (" + detail + ")";
}

} // namespace vedra
