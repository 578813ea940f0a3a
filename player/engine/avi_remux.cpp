#include "avi_remux.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "av_handles.h"
#include "krv/krv_facts.h"
#include "krv/krv_staging.h"

namespace vedra {
namespace {

using InputPtr = AvInputPtr;
using OutputPtr = AvOutputPtr;
using PacketPtr = AvPacketPtr;

InputPtr OpenInput(const std::string& path, std::string& error)
{
    AVFormatContext* c = nullptr;
    int r = avformat_open_input(&c, path.c_str(), nullptr, nullptr);
    if (r < 0) {
        error = "cannot open " + path + ": " + AvError(r);
        return nullptr;
    }
    InputPtr in(c);
    if ((r = avformat_find_stream_info(c, nullptr)) < 0) {
        error = "cannot read " + path + ": " + AvError(r);
        return nullptr;
    }
    return in;
}

// Frames per second of a video stream, from the gaps between its first frames.
// The recorder stamps frames in milliseconds with no fixed rate in the header.
AVRational EstimateFrameRate(const std::string& path, int streamIndex)
{
    std::string ignored;
    InputPtr in = OpenInput(path, ignored);
    AVRational fallback{25, 1};
    if (!in)
        return fallback;
    const AVStream* st = in->streams[streamIndex];
    PacketPtr pkt(av_packet_alloc());
    std::vector<uint32_t> times; // ms, as the recorder stamps them
    while (times.size() < 120 && av_read_frame(in.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == streamIndex && pkt->pts != AV_NOPTS_VALUE && pkt->pts >= 0)
            times.push_back(static_cast<uint32_t>(av_rescale_q(pkt->pts, st->time_base, AVRational{1, 1000})));
        av_packet_unref(pkt.get());
    }
    const uint32_t interval = krv_frame_interval(std::move(times));
    if (interval == 0)
        return fallback;
    const double fps = 1000.0 / interval;
    if (!(fps >= 1.0 && fps <= 240.0))
        return fallback;
    return av_d2q(fps, 1000);
}

struct Source {
    InputPtr in;
    std::vector<int> map; // input stream -> output stream, -1 when dropped
    PacketPtr next;
    bool ended = false;
};

} // namespace

bool RemuxToAvi(const std::string& channelPath, const std::string& audioPath, const std::string& outPath,
                std::string& error)
{
    QuietAvLog();
    TakeAvLogError(); // what came before is no part of this file's errors
    std::vector<Source> sources;
    {
        Source video;
        if (!(video.in = OpenInput(channelPath, error)))
            return false;
        sources.push_back(std::move(video));
    }
    if (!audioPath.empty()) {
        Source audio;
        if (!(audio.in = OpenInput(audioPath, error)))
            return false;
        sources.push_back(std::move(audio));
    }

    // Written in a private folder beside its name, so no link planted in the
    // folder is ever written through, and moved to a name that must be free.
    const std::filesystem::path target = outPath;
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    const std::string partName = target.filename().string() + ".part";
    KrvStaging staging;
    if (!staging.create(folder)) {
        error = "cannot write into " + folder.string() + ": " + std::strerror(errno);
        return false;
    }
    const std::string partPath = staging.path(partName);
    AVFormatContext* oc = nullptr;
    int r = avformat_alloc_output_context2(&oc, nullptr, "avi", partPath.c_str());
    if (r < 0 || !oc) {
        error = "no AVI writer: " + AvError(r);
        return false;
    }
    OutputPtr out(oc);

    // Every video and audio stream of the channel file; the audio of the audio file.
    std::vector<AVRational> videoRate; // per output stream: frame rate, {0,1} for audio
    bool haveVideo = false;
    for (size_t s = 0; s < sources.size(); ++s) {
        AVFormatContext* in = sources[s].in.get();
        sources[s].map.assign(in->nb_streams, -1);
        for (unsigned i = 0; i < in->nb_streams; ++i) {
            const AVCodecParameters* par = in->streams[i]->codecpar;
            const bool isVideo = par->codec_type == AVMEDIA_TYPE_VIDEO && s == 0;
            const bool isAudio = par->codec_type == AVMEDIA_TYPE_AUDIO;
            if (!isVideo && !isAudio)
                continue;
            AVStream* os = avformat_new_stream(oc, nullptr);
            if (!os || avcodec_parameters_copy(os->codecpar, par) < 0) {
                error = "cannot add a stream";
                return false;
            }
            os->codecpar->codec_tag = 0; // let the AVI writer pick its own tag
            AVRational rate{0, 1};
            if (isVideo) {
                rate = EstimateFrameRate(channelPath, static_cast<int>(i));
                os->time_base = av_inv_q(rate);
                os->avg_frame_rate = rate;
                os->r_frame_rate = rate;
                haveVideo = true;
            } else {
                os->time_base = in->streams[i]->time_base;
            }
            sources[s].map[i] = os->index;
            videoRate.push_back(rate);
        }
        if (s == 0 && !haveVideo) {
            error = "no video stream in " + channelPath;
            return false;
        }
    }

    if ((r = avio_open(&oc->pb, partPath.c_str(), AVIO_FLAG_WRITE)) < 0) {
        error = "cannot create " + partPath + ": " + AvError(r);
        return false;
    }
    bool ok = (r = avformat_write_header(oc, nullptr)) >= 0;
    if (!ok)
        error = "cannot write the AVI header: " + AvError(r);

    std::vector<int64_t> lastDts(oc->nb_streams, AV_NOPTS_VALUE);
    // The first frame opens the AVI file: the audio file begins with the first
    // key frame too, so both start at 0 together.
    std::vector<int64_t> firstPts(oc->nb_streams, AV_NOPTS_VALUE);
    auto fetch = [](Source& src) {
        while (!src.ended) {
            if (!src.next)
                src.next.reset(av_packet_alloc());
            if (av_read_frame(src.in.get(), src.next.get()) < 0) {
                src.ended = true;
                return;
            }
            if (src.map[src.next->stream_index] >= 0)
                return;
            av_packet_unref(src.next.get());
        }
    };
    auto seconds = [](const Source& src) {
        const AVPacket* p = src.next.get();
        const int64_t t = p->dts != AV_NOPTS_VALUE ? p->dts : p->pts;
        return t == AV_NOPTS_VALUE ? 0.0 : t * av_q2d(src.in->streams[p->stream_index]->time_base);
    };
    for (Source& src : sources)
        fetch(src);

    while (ok) {
        // Interleave by time: the source whose next packet is earliest goes first.
        Source* pick = nullptr;
        for (Source& src : sources)
            if (!src.ended && (!pick || seconds(src) < seconds(*pick)))
                pick = &src;
        if (!pick)
            break;
        AVPacket* p = pick->next.get();
        const AVStream* is = pick->in->streams[p->stream_index];
        const int o = pick->map[p->stream_index];
        const AVStream* os = oc->streams[o];
        p->stream_index = o;
        if (videoRate[static_cast<size_t>(o)].num != 0) {
            // Frames keep their order and count: one AVI frame slot each, at its time.
            int64_t t = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
            if (t != AV_NOPTS_VALUE && firstPts[static_cast<size_t>(o)] == AV_NOPTS_VALUE)
                firstPts[static_cast<size_t>(o)] = t;
            if (t != AV_NOPTS_VALUE)
                t = std::max<int64_t>(0, t - firstPts[static_cast<size_t>(o)]);
            int64_t slot = t == AV_NOPTS_VALUE
                               ? 0
                               : av_rescale_q_rnd(t, is->time_base, os->time_base,
                                                  static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
            if (lastDts[static_cast<size_t>(o)] != AV_NOPTS_VALUE && slot <= lastDts[static_cast<size_t>(o)])
                slot = lastDts[static_cast<size_t>(o)] + 1;
            p->pts = p->dts = slot;
            p->duration = 1;
        } else {
            av_packet_rescale_ts(p, is->time_base, os->time_base);
            if (lastDts[static_cast<size_t>(o)] != AV_NOPTS_VALUE && p->dts != AV_NOPTS_VALUE &&
                p->dts <= lastDts[static_cast<size_t>(o)]) {
                p->dts = lastDts[static_cast<size_t>(o)] + 1;
                if (p->pts != AV_NOPTS_VALUE && p->pts < p->dts)
                    p->pts = p->dts;
            }
        }
        p->pos = -1;
        lastDts[static_cast<size_t>(o)] = p->dts;
        if ((r = av_interleaved_write_frame(oc, p)) < 0) {
            error = "cannot write a frame: " + AvError(r);
            ok = false;
        }
        av_packet_unref(p);
        fetch(*pick);
    }
    if (ok && (r = av_write_trailer(oc)) < 0) {
        error = "cannot finish the AVI file: " + AvError(r);
        ok = false;
    }
    if (oc->pb && avio_closep(&oc->pb) < 0)
        ok = false;
    out.reset();
    if (ok) {
        if (const int moved = staging.commit({{partName, target.filename().string()}}, KrvCommitMode::Exclusive)) {
            error = "cannot create " + outPath + ": " + std::strerror(moved);
            ok = false;
        }
    }
    return ok; // the staging folder goes with what is left in it
}

} // namespace vedra
