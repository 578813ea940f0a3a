#include "dump_writer.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

extern "C" {
#include <libavutil/md5.h>
#include <libavutil/mem.h>
}

namespace krvsynth {

namespace {

struct Md5Deleter {
    void operator()(AVMD5* m) const { av_free(m); }
};

std::string md5Hex(const SequenceHeader* head, const Bytes& body)
{
    std::unique_ptr<AVMD5, Md5Deleter> ctx(av_md5_alloc());
    uint8_t digest[16];
    av_md5_init(ctx.get());
    if (head)
        av_md5_update(ctx.get(), head->data(), head->size());
    av_md5_update(ctx.get(), body.data(), body.size());
    av_md5_final(ctx.get(), digest);
    char hex[33];
    for (int i = 0; i < 16; ++i)
        std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    return std::string(hex, 32);
}

} // namespace

bool writeDump(const std::string& dir, const std::vector<VideoTrack>& video, const AudioTrack* audio,
               const RecordingPlan& plan, const SequenceHeader& header, bool keyFramesCarryHeader, std::string& error)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        error = "cannot create " + dir + ": " + ec.message();
        return false;
    }
    const std::filesystem::path base(dir);
    for (uint32_t t = 0; t < video.size(); ++t) {
        const VideoTrack& track = video[t];
        const std::string name = "ch" + std::to_string(track.channel);
        std::ofstream m4v(base / (name + ".m4v"), std::ios::binary);
        std::ofstream txt(base / (name + ".txt"));
        if (!m4v || !txt) {
            error = "cannot write " + (base / name).string() + ".*";
            return false;
        }
        bool started = false;
        uint64_t index = 0;
        for (const PlannedObject& o : plan.objects) {
            if (o.stream != track.channel + 1)
                continue;
            const VideoFrame& f = track.frames[o.index];
            const bool first = !started && f.key;
            started = started || f.key;
            if (!started)
                continue;
            const SequenceHeader* head = f.key && (keyFramesCarryHeader || first) ? &header : nullptr;
            if (head)
                m4v.write(reinterpret_cast<const char*>(head->data()), std::streamsize(head->size()));
            m4v.write(reinterpret_cast<const char*>(f.vop.data()), std::streamsize(f.vop.size()));
            txt << index++ << ' ' << o.timeMs << ' ' << (f.key ? 1 : 0) << ' '
                << f.vop.size() + (head ? head->size() : 0) << ' ' << md5Hex(head, f.vop) << '\n';
        }
        if (!m4v || !txt) {
            error = "cannot write " + (base / name).string() + ".*";
            return false;
        }
    }
    std::ofstream a(base / "audio.txt");
    if (audio) {
        uint64_t blocks = 0;
        for (const PlannedObject& o : plan.objects)
            if (o.stream == 1)
                blocks += audio->objects[o.index].blocks;
        a << "block_align " << audio->format.blockAlign << '\n'
          << "samples_per_block " << audio->format.samplesPerBlock << '\n'
          << "blocks " << blocks << '\n'
          << "samples " << blocks * audio->format.samplesPerBlock << '\n';
        uint64_t n = 0;
        for (const PlannedObject& o : plan.objects)
            if (o.stream == 1)
                a << "object " << n++ << ' ' << o.timeMs << ' ' << audio->objects[o.index].blocks << '\n';
    } else {
        a << "block_align 0\nsamples_per_block 0\nblocks 0\nsamples 0\n";
    }
    if (!a) {
        error = "cannot write " + (base / "audio.txt").string();
        return false;
    }
    return true;
}

} // namespace krvsynth
