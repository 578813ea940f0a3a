#include "video_track.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "synth_options.h"
#include "test_pattern.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

namespace krvsynth {

namespace {

constexpr int kTimeBase = 30000;  // the sequence header's time increment resolution
constexpr int kQuality = 4;       // quantiser of ordinary frames
constexpr int kBigKeyQuality = 2; // quantiser of key frames in --big-keyframes recordings

struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

std::string avError(int code)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

struct Encoder {
    CodecContextPtr ctx;
    FramePtr frame;
    PacketPtr packet;
};

bool openEncoder(int width, int height, int fps, Encoder& e, std::string& error)
{
    const AVCodec* codec = avcodec_find_encoder_by_name("mpeg4");
    if (!codec) {
        error = "libavcodec has no mpeg4 encoder";
        return false;
    }
    e.ctx.reset(avcodec_alloc_context3(codec));
    e.frame.reset(av_frame_alloc());
    e.packet.reset(av_packet_alloc());
    if (!e.ctx || !e.frame || !e.packet) {
        error = "out of memory";
        return false;
    }
    AVCodecContext* c = e.ctx.get();
    c->width = width;
    c->height = height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, kTimeBase};
    c->framerate = AVRational{fps, 1};
    c->gop_size = kMaxKeyFrameInterval;
    c->max_b_frames = 0;
    c->thread_count = 1;
    // Fixed quantiser: frames differ only by content, sizes stay predictable.
    c->flags |= AV_CODEC_FLAG_QSCALE;
    c->global_quality = FF_QP2LAMBDA * kQuality;
    // The sequence header declares no quarter-pel, no data partitioning and no
    // resync markers: keep the encoder to that (no qpel flag, no RTP slices).
    av_opt_set_int(c->priv_data, "data_partitioning", 0, 0);
    av_opt_set_int(c, "ps", 0, AV_OPT_SEARCH_CHILDREN);
    // Key frames are where we put them, never where the encoder sees a scene change.
    av_opt_set_int(c, "sc_threshold", 1000000000, AV_OPT_SEARCH_CHILDREN);
    int r = avcodec_open2(c, codec, nullptr);
    if (r < 0) {
        error = "cannot open the mpeg4 encoder: " + avError(r);
        return false;
    }
    AVFrame* f = e.frame.get();
    f->format = c->pix_fmt;
    f->width = width;
    f->height = height;
    r = av_frame_get_buffer(f, 0);
    if (r < 0) {
        error = "cannot allocate a frame: " + avError(r);
        return false;
    }
    return true;
}

// Drops the encoder's own VOS/VO/VOL/GOV/user-data headers: the recorder's
// frames start at the VOP start code.
Bytes stripToVop(const uint8_t* data, size_t size)
{
    for (size_t i = 0; i + 3 < size; ++i)
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == 0xB6)
            return Bytes(data + i, data + size);
    return Bytes(data, data + size);
}

// The picture of frame `index`: the test pattern, or the still scene when it is enabled.
struct Picture {
    PatternStyle style;
    const StillScene* scene = nullptr;
    int fps = 10;
};

bool encodeOne(Encoder& e, const Picture& picture, int patternIndex, int64_t pts, bool forceKey, int quality,
               std::vector<std::pair<Bytes, bool>>& out, std::string& error)
{
    AVFrame* f = e.frame.get();
    int r = av_frame_make_writable(f);
    if (r < 0) {
        error = "frame not writable: " + avError(r);
        return false;
    }
    if (picture.scene && picture.scene->enabled)
        drawStillScene(f, *picture.scene, picture.style.channel, patternIndex, picture.fps);
    else
        drawTestPattern(f, picture.style, patternIndex);
    f->pts = pts;
    f->pict_type = forceKey ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    f->quality = FF_QP2LAMBDA * quality;
    r = avcodec_send_frame(e.ctx.get(), f);
    if (r < 0) {
        error = "encoding failed: " + avError(r);
        return false;
    }
    while ((r = avcodec_receive_packet(e.ctx.get(), e.packet.get())) >= 0) {
        out.emplace_back(stripToVop(e.packet->data, size_t(e.packet->size)), (e.packet->flags & AV_PKT_FLAG_KEY) != 0);
        av_packet_unref(e.packet.get());
    }
    if (r != AVERROR(EAGAIN) && r != AVERROR_EOF) {
        error = "encoding failed: " + avError(r);
        return false;
    }
    return true;
}

// Size of one key frame of the channel's picture with the given share of noise.
bool keyFrameSize(const VideoTrackSettings& s, int noiseRows, size_t& size, std::string& error)
{
    Encoder e;
    if (!openEncoder(s.width, s.height, s.fps, e, error))
        return false;
    std::vector<std::pair<Bytes, bool>> out;
    if (!encodeOne(e, Picture{PatternStyle{s.channel, noiseRows}}, 0, 0, true, kBigKeyQuality, out, error))
        return false;
    size = out.empty() ? 0 : out.front().first.size();
    return true;
}

// Rows of noise that bring key frames to the target size.
bool calibrateNoise(const VideoTrackSettings& s, int& rows, std::string& error)
{
    size_t plain = 0, full = 0;
    if (!keyFrameSize(s, 0, plain, error) || !keyFrameSize(s, s.height, full, error))
        return false;
    if (plain >= kBigKeyframeTarget) {
        // Large pictures are big enough as they are.
        rows = 0;
        return true;
    }
    if (full <= kBigKeyframeTarget) {
        rows = s.height;
        return true;
    }
    // Noise costs about the same per row; one correction step after the first guess.
    rows = std::clamp(int(double(kBigKeyframeTarget - plain) / double(full - plain) * s.height), 2, s.height);
    size_t got = 0;
    if (!keyFrameSize(s, rows, got, error))
        return false;
    if (got > plain)
        rows = std::clamp(int(rows * double(kBigKeyframeTarget - plain) / double(got - plain)), 2, s.height);
    return true;
}

} // namespace

namespace {

bool encodeFrames(const VideoTrackSettings& s, const PatternStyle& style, int keyQuality, VideoTrack& track,
                  std::string& error)
{
    track = VideoTrack{};
    track.channel = s.channel;
    Encoder e;
    if (!openEncoder(s.width, s.height, s.fps, e, error))
        return false;

    std::vector<std::pair<Bytes, bool>> out;
    const Picture picture{style, &s.scene, s.fps};
    // The encoder always begins with a key frame; a channel that starts late
    // begins after that one, with the frames predicted from it.
    const int64_t ptsBase = 1;
    if (s.leadFrames > 0 && !encodeOne(e, picture, 0, 0, true, kQuality, out, error))
        return false;
    out.clear();

    std::vector<uint32_t> times;
    for (int i = 0; i < s.frameCount; ++i) {
        const uint32_t t = s.startMs + uint32_t(std::llround(i * 1000.0 / s.fps));
        const bool key = i >= s.leadFrames && (i - s.leadFrames) % s.gop == 0;
        const int q = key ? keyQuality : kQuality;
        if (!encodeOne(e, picture, i, ptsBase + int64_t(i) * kTimeBase / s.fps, key, q, out, error))
            return false;
        times.push_back(t);
    }
    if (avcodec_send_frame(e.ctx.get(), nullptr) >= 0) {
        while (avcodec_receive_packet(e.ctx.get(), e.packet.get()) >= 0) {
            out.emplace_back(stripToVop(e.packet->data, size_t(e.packet->size)),
                             (e.packet->flags & AV_PKT_FLAG_KEY) != 0);
            av_packet_unref(e.packet.get());
        }
    }
    if (out.size() != times.size()) {
        error = "the encoder returned " + std::to_string(out.size()) + " frames for " + std::to_string(times.size());
        return false;
    }
    track.frames.reserve(out.size());
    for (size_t i = 0; i < out.size(); ++i)
        track.frames.push_back(VideoFrame{std::move(out[i].first), times[i], out[i].second});
    track.firstKey =
        size_t(std::find_if(track.frames.begin(), track.frames.end(), [](const VideoFrame& f) { return f.key; }) -
               track.frames.begin());
    return true;
}

size_t largestFrame(const VideoTrack& track)
{
    size_t n = 0;
    for (const VideoFrame& f : track.frames)
        n = std::max(n, f.vop.size());
    return n;
}

} // namespace

bool encodeVideoTrack(const VideoTrackSettings& s, VideoTrack& track, std::string& error)
{
    PatternStyle style{s.channel, 0};
    if (s.bigKeyframes && !calibrateNoise(s, style.noiseRows, error))
        return false;
    int keyQuality = s.bigKeyframes && style.noiseRows > 0 ? kBigKeyQuality : kQuality;
    // The channel files carry 16-bit object sizes: a frame past that is encoded
    // again with less noise, then with the ordinary quantiser.
    for (;;) {
        if (!encodeFrames(s, style, keyQuality, track, error))
            return false;
        if (largestFrame(track) + 19 <= kMaxFrameSize)
            return true;
        if (style.noiseRows > 8)
            style.noiseRows = style.noiseRows * 3 / 4;
        else if (style.noiseRows > 0 || keyQuality != kQuality) {
            style.noiseRows = 0;
            keyQuality = kQuality;
        } else
            return true;
    }
}

} // namespace krvsynth
