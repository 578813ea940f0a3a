#include "exported_frames.h"

#include <map>

#include "av_handles.h"

namespace vedra {

bool ReadExportedFrames(const std::string& path, std::vector<ExportedTrackFrames>& tracks, std::string& error)
{
    QuietAvLog();
    tracks.clear();
    AVFormatContext* raw = nullptr;
    if (int r = avformat_open_input(&raw, path.c_str(), nullptr, nullptr); r < 0) {
        error = "cannot read " + path + ": " + AvError(r);
        return false;
    }
    AvInputPtr in(raw);
    if (int r = avformat_find_stream_info(in.get(), nullptr); r < 0) {
        error = "cannot read " + path + ": " + AvError(r);
        return false;
    }
    std::map<int, size_t> trackOf; // stream index -> video track
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        if (in->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            trackOf[int(i)] = tracks.size();
            tracks.emplace_back().tickMs = av_q2d(in->streams[i]->time_base) * 1000.0;
        }
    }
    AvPacketPtr packet(av_packet_alloc());
    int r;
    while ((r = av_read_frame(in.get(), packet.get())) >= 0) {
        const auto it = trackOf.find(packet->stream_index);
        if (it != trackOf.end() && packet->size > 0) {
            ExportedTrackFrames& t = tracks[it->second];
            t.frames.emplace_back(packet->data, packet->data + packet->size);
            const int64_t at = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            t.timesMs.push_back(at == AV_NOPTS_VALUE ? -1.0 : double(at) * t.tickMs);
        }
        av_packet_unref(packet.get());
    }
    if (r != AVERROR_EOF) {
        error = "cannot read " + path + ": " + AvError(r);
        return false;
    }
    return true;
}

} // namespace vedra
