#include "export_muxer.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "krv/krv_time.h"
#include "krv/krv_timeline.h"

namespace vedra {
namespace {

constexpr AVRational kMs{1, 1000};
constexpr AVRational kFallbackRate{25, 1};

struct FormatNames {
    ExportFormat format;
    const char* muxer; // libavformat's name
    const char* extension;
};
constexpr FormatNames kFormats[] = {
    {ExportFormat::Avi, "avi", "avi"},
    {ExportFormat::Mkv, "matroska", "mkv"},
    {ExportFormat::Mp4, "mp4", "mp4"},
};

const FormatNames& NamesOf(ExportFormat f)
{
    for (const FormatNames& n : kFormats)
        if (n.format == f)
            return n;
    return kFormats[1];
}

const char* MuxerName(ExportFormat f)
{
    return NamesOf(f).muxer;
}

// Frames per second from the typical gap between frames.
AVRational RateOf(double intervalMs)
{
    if (!(intervalMs > 0))
        return kFallbackRate;
    const double fps = 1000.0 / intervalMs;
    return fps >= 1.0 && fps <= 240.0 ? av_d2q(fps, 1000) : kFallbackRate;
}

AVStream* NewStream(AVFormatContext* oc, const char* what, std::string& error)
{
    AVStream* st = avformat_new_stream(oc, nullptr);
    if (!st)
        error = std::string("cannot add ") + what;
    return st;
}

} // namespace

const char* ExportFormatExtension(ExportFormat format)
{
    return NamesOf(format).extension;
}

std::string FrameTimeOfDayText(uint64_t creationDate, uint32_t timeMs)
{
    return krv_clock_text(krv_time_of_day(creationDate, timeMs), true, false).substr(0, 19);
}

ExportMuxer::~ExportMuxer() = default;

bool ExportMuxer::AddVideo(const MuxVideoTrack& v, std::string& error)
{
    AVStream* st = NewStream(out_.get(), "a video track", error);
    if (!st)
        return false;
    AVCodecParameters* par = st->codecpar;
    if (v.encoder) {
        if (int r = avcodec_parameters_from_context(par, v.encoder); r < 0) {
            error = "cannot set up a re-encoded video track: " + AvError(r);
            return false;
        }
    } else {
        par->codec_type = AVMEDIA_TYPE_VIDEO;
        par->codec_id = AV_CODEC_ID_MPEG4;
        par->width = int(v.width);
        par->height = int(v.height);
        if (!CopyAvExtraData(v.config, par->extradata, par->extradata_size)) {
            error = "out of memory";
            return false;
        }
    }
    const AVRational rate = RateOf(v.frameIntervalMs);
    st->avg_frame_rate = rate;
    st->r_frame_rate = rate;
    st->time_base = format_ == ExportFormat::Avi ? av_inv_q(rate) : kMs;
    const std::string title = "Channel " + std::to_string(v.channel);
    av_dict_set(&st->metadata, "title", title.c_str(), 0);
    if (format_ == ExportFormat::Mp4)
        av_dict_set(&st->metadata, "handler_name", title.c_str(), 0);
    tracks_.push_back({v.channel, st, AV_NOPTS_VALUE, {}});
    return true;
}

bool ExportMuxer::AddAudio(const MuxAudioTrack& a, std::string& error)
{
    AVStream* st = NewStream(out_.get(), "the audio track", error);
    if (!st)
        return false;
    AVCodecParameters* par = st->codecpar;
    if (format_ == ExportFormat::Mp4) {
        aac_ = std::make_unique<AdpcmToAac>();
        if (!aac_->Open(a.format, error))
            return false;
        if (int r = aac_->CopyParameters(par); r < 0) {
            error = "cannot set up the AAC track: " + AvError(r);
            return false;
        }
        st->time_base = aac_->timeBase();
    } else {
        par->codec_type = AVMEDIA_TYPE_AUDIO;
        par->codec_id = AV_CODEC_ID_ADPCM_MS;
        par->sample_rate = int(a.format.sampleRate);
        av_channel_layout_default(&par->ch_layout, a.format.channels);
        par->block_align = a.format.blockAlign;
        par->bits_per_coded_sample = 4;
        par->frame_size = a.samplesPerBlock;
        if (!CopyAvExtraData(a.format.extraData, par->extradata, par->extradata_size)) {
            error = "out of memory";
            return false;
        }
        st->time_base = format_ == ExportFormat::Avi ? AVRational{1, int(a.format.sampleRate)} : kMs;
    }
    av_dict_set(&st->metadata, "title", "Audio", 0);
    tracks_.push_back({0, st, AV_NOPTS_VALUE, {}});
    return true;
}

bool ExportMuxer::AddTimeTrack(uint32_t firstMs, std::string& error)
{
    AVStream* st = NewStream(out_.get(), "the time-of-day track", error);
    if (!st)
        return false;
    st->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
    st->codecpar->codec_id = format_ == ExportFormat::Mp4 ? AV_CODEC_ID_MOV_TEXT : AV_CODEC_ID_SUBRIP;
    st->time_base = kMs;
    // The title says which clock the cues are on: local time, with its offset from UTC then.
    const std::time_t at =
        std::time_t((int64_t(krv_time_of_day(creationDate_, firstMs)) - int64_t(kFiletimeUnixEpoch)) /
                    int64_t(kFiletimeTicksPerSecond));
    std::tm local{};
    localtime_r(&at, &local);
    const long offset = local.tm_gmtoff / 60;
    char title[64];
    std::snprintf(title, sizeof title, "Time of day (local time, UTC%c%02ld:%02ld)", offset < 0 ? '-' : '+',
                  std::labs(offset) / 60, std::labs(offset) % 60);
    av_dict_set(&st->metadata, "title", title, 0);
    if (format_ == ExportFormat::Mp4)
        av_dict_set(&st->metadata, "handler_name", title, 0);
    timeStream_ = st;
    return true;
}

bool ExportMuxer::WriteCue(uint32_t endMs, std::string& error)
{
    if (cueText_.empty() || endMs <= cueStartMs_)
        return true;
    AVPacket* p = packet_.get();
    // MP4's text samples carry their length first.
    const bool mp4 = format_ == ExportFormat::Mp4;
    const size_t size = cueText_.size() + (mp4 ? 2 : 0);
    if (int r = av_new_packet(p, int(size)); r < 0) {
        error = "out of memory";
        return false;
    }
    if (mp4) {
        p->data[0] = uint8_t(cueText_.size() >> 8);
        p->data[1] = uint8_t(cueText_.size());
    }
    std::memcpy(p->data + (mp4 ? 2 : 0), cueText_.data(), cueText_.size());
    p->flags = AV_PKT_FLAG_KEY;
    p->pts = p->dts = int64_t(cueStartMs_ - baseMs_);
    p->duration = int64_t(endMs - cueStartMs_);
    p->stream_index = timeStream_->index;
    p->pos = -1;
    const int r = av_interleaved_write_frame(out_.get(), p);
    av_packet_unref(p);
    if (r < 0) {
        error = "cannot write to the file: " + AvError(r);
        return false;
    }
    return true;
}

bool ExportMuxer::CueAt(uint32_t timeMs, std::string& error)
{
    const std::string text = FrameTimeOfDayText(creationDate_, timeMs);
    if (text == cueText_)
        return true;
    if (!WriteCue(timeMs, error))
        return false;
    cueText_ = text;
    cueStartMs_ = timeMs;
    return true;
}

bool ExportMuxer::Open(const std::string& path, ExportFormat format, const std::vector<MuxVideoTrack>& video,
                       const std::optional<MuxAudioTrack>& audio, const MuxFileInfo& info, uint32_t baseMs,
                       std::string& error)
{
    QuietAvLog();
    TakeAvLogError(); // what came before is no part of this file's errors
    format_ = format;
    baseMs_ = baseMs;
    audio_ = audio;
    AVFormatContext* oc = nullptr;
    int r = avformat_alloc_output_context2(&oc, nullptr, MuxerName(format), path.c_str());
    if (r < 0 || !oc) {
        error = std::string("no ") + MuxerName(format) + " writer: " + AvError(r);
        return false;
    }
    out_.reset(oc);
    packet_.reset(av_packet_alloc());
    if (!packet_) {
        error = "out of memory";
        return false;
    }
    for (const MuxVideoTrack& v : video)
        if (!AddVideo(v, error))
            return false;
    if (audio && !AddAudio(*audio, error))
        return false;
    creationDate_ = krv_trusted_creation_date(info.creationDate);
    if (info.timeTrack && creationDate_ != 0 && format != ExportFormat::Avi && !video.empty()) {
        cueFrameMs_ = video.front().frameIntervalMs;
        if (!AddTimeTrack(baseMs, error))
            return false;
    }
    if (!info.title.empty())
        av_dict_set(&oc->metadata, "title", info.title.c_str(), 0);
    if (!info.comment.empty())
        av_dict_set(&oc->metadata, "comment", info.comment.c_str(), 0);
    if (!info.creationTime.empty())
        av_dict_set(&oc->metadata, "creation_time", info.creationTime.c_str(), 0);

    if ((r = avio_open(&oc->pb, path.c_str(), AVIO_FLAG_WRITE)) < 0) {
        error = "cannot create " + path + ": " + AvError(r);
        return false;
    }
    if ((r = avformat_write_header(oc, nullptr)) < 0) {
        error = "cannot write the header of " + path + ": " + AvError(r);
        return false;
    }
    headerWritten_ = true;
    return true;
}

ExportMuxer::Span ExportMuxer::span(int channel) const
{
    Span all;
    for (const Track& t : tracks_) {
        if (t.channel == 0 || t.frames.frames == 0 || (channel != 0 && t.channel != channel))
            continue;
        all.firstMs = all.frames ? std::min(all.firstMs, t.frames.firstMs) : t.frames.firstMs;
        all.lastMs = std::max(all.lastMs, t.frames.lastMs);
        all.frames += t.frames.frames;
    }
    return all;
}

bool ExportMuxer::Write(Track& track, AVPacket* p, std::string& error)
{
    // Times only grow within a track; equal times keep their order a tick apart.
    if (track.last != AV_NOPTS_VALUE && p->dts <= track.last) {
        const int64_t shift = track.last + 1 - p->dts;
        p->dts += shift;
        p->pts += shift;
    }
    track.last = p->dts;
    p->stream_index = track.stream->index;
    p->pos = -1;
    const int r = av_interleaved_write_frame(out_.get(), p);
    if (r < 0) {
        error = "cannot write to the file: " + AvError(r);
        return false;
    }
    return true;
}

bool ExportMuxer::WriteFrame(int channel, const uint8_t* data, uint32_t size, bool keyFrame, uint32_t timeMs,
                             std::string& error)
{
    Track* track = nullptr;
    for (Track& t : tracks_)
        if (t.channel == channel && channel != 0)
            track = &t;
    if (!track || timeMs < baseMs_)
        return true;
    AVPacket* p = packet_.get();
    if (!FillAvPacket(p, data, size)) {
        error = "out of memory";
        return false;
    }
    p->flags = keyFrame ? AV_PKT_FLAG_KEY : 0;
    const AVRational tb = track->stream->time_base;
    p->pts = p->dts =
        av_rescale_q_rnd(int64_t(timeMs - baseMs_), kMs, tb, AVRounding(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
    p->duration = format_ == ExportFormat::Avi ? 1 : av_rescale_q(1, av_inv_q(track->stream->avg_frame_rate), tb);
    Span& s = track->frames;
    if (s.frames++ == 0)
        s.firstMs = timeMs;
    s.lastMs = std::max(s.lastMs, timeMs);
    const bool ok = Write(*track, p, error);
    av_packet_unref(p);
    // The cues follow the file's first camera, frame by frame.
    if (ok && timeStream_ && track == &tracks_.front())
        return CueAt(timeMs, error);
    return ok;
}

bool ExportMuxer::WriteAudio(const uint8_t* blocks, uint32_t size, uint32_t timeMs, std::string& error)
{
    if (!audio_ || timeMs < baseMs_ || size == 0)
        return true;
    Track& track = tracks_.back();
    const AdpcmFormat& f = audio_->format;
    const int64_t sinceBase = int64_t(timeMs - baseMs_);
    if (aac_) {
        const int64_t startSample = av_rescale(sinceBase, f.sampleRate, 1000);
        const int r = aac_->Push(blocks, size, startSample, [&](AVPacket* p) {
            av_packet_rescale_ts(p, aac_->timeBase(), track.stream->time_base);
            return Write(track, p, error) ? 0 : AVERROR(EIO);
        });
        if (r < 0 && error.empty())
            error = "cannot convert the audio: " + AvError(r);
        return r >= 0;
    }
    AVPacket* p = packet_.get();
    if (!FillAvPacket(p, blocks, size)) {
        error = "out of memory";
        return false;
    }
    p->flags = AV_PKT_FLAG_KEY;
    const int64_t samples = int64_t(size / f.blockAlign) * audio_->samplesPerBlock;
    const AVRational tb = track.stream->time_base;
    p->pts = p->dts = av_rescale_q(sinceBase, kMs, tb);
    p->duration = av_rescale_q(samples, AVRational{1, int(f.sampleRate)}, tb);
    const bool ok = Write(track, p, error);
    av_packet_unref(p);
    return ok;
}

bool ExportMuxer::Finish(std::string& error)
{
    if (!out_ || !headerWritten_) {
        error = "the file was never opened";
        return false;
    }
    if (aac_) {
        Track& track = tracks_.back();
        const int r = aac_->Flush([&](AVPacket* p) {
            av_packet_rescale_ts(p, aac_->timeBase(), track.stream->time_base);
            return Write(track, p, error) ? 0 : AVERROR(EIO);
        });
        if (r < 0) {
            if (error.empty())
                error = "cannot convert the audio: " + AvError(r);
            return false;
        }
    }
    if (timeStream_ && !tracks_.empty() && tracks_.front().frames.frames > 0) {
        // The last cue lasts as long as its frame is shown.
        const uint32_t shown = uint32_t(cueFrameMs_ > 0 ? cueFrameMs_ + 0.5 : 1000.0 / kFallbackRate.num);
        if (!WriteCue(tracks_.front().frames.lastMs + shown, error))
            return false;
    }
    int r = av_write_trailer(out_.get());
    if (r < 0) {
        error = "cannot finish the file: " + AvError(r);
        return false;
    }
    if ((r = avio_closep(&out_->pb)) < 0) {
        error = "cannot write the file: " + AvError(r);
        return false;
    }
    out_.reset();
    return true;
}

} // namespace vedra
