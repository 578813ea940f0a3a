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
            tracks.emplace_back();
        }
    }
    AvPacketPtr packet(av_packet_alloc());
    int r;
    while ((r = av_read_frame(in.get(), packet.get())) >= 0) {
        const auto it = trackOf.find(packet->stream_index);
        if (it != trackOf.end() && packet->size > 0)
            tracks[it->second].frames.emplace_back(packet->data, packet->data + packet->size);
        av_packet_unref(packet.get());
    }
    if (r != AVERROR_EOF) {
        error = "cannot read " + path + ": " + AvError(r);
        return false;
    }
    return true;
}

} // namespace vedra
