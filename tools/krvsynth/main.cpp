// krvsynth: writes KRV recordings the way the recorder does, for tests and
// benchmarks. It shares no code with the krv library on purpose: tests compare
// what the library reads and splits against this independent writer.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "audio_track.h"
#include "dump_writer.h"
#include "packet_damage.h"
#include "packet_packer.h"
#include "recording_header.h"
#include "recording_plan.h"
#include "sequence_header.h"
#include "still_scene.h"
#include "synth_options.h"
#include "video_track.h"

using namespace krvsynth;

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

int fail(const std::string& message)
{
    std::fprintf(stderr, "krvsynth: %s\n", message.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    SynthOptions opts;
    bool help = false;
    std::string error;
    if (!parseOptions(argc, argv, opts, help, error)) {
        std::fprintf(stderr, "krvsynth: %s (krvsynth --help lists the options)\n", error.c_str());
        return 2;
    }
    if (help) {
        std::fputs(usageText(), stdout);
        return 0;
    }

    const int frameCount = opts.fps * opts.seconds;
    const uint32_t frameMs = uint32_t(1000 / opts.fps);
    std::vector<VideoTrack> video;
    for (int ch : opts.channels) {
        VideoTrackSettings s;
        s.channel = ch;
        s.width = opts.width;
        s.height = opts.height;
        s.fps = opts.fps;
        s.frameCount = frameCount;
        s.gop = opts.gop;
        auto late = opts.lateStart.find(ch);
        s.leadFrames = late == opts.lateStart.end() ? 0 : late->second;
        s.startMs = opts.startMs;
        s.bigKeyframes = opts.bigKeyframes;
        s.scene = opts.scene;
        VideoTrack track;
        if (!encodeVideoTrack(s, track, error))
            return fail("channel " + std::to_string(ch) + ": " + error);
        if (auto drop = opts.drop.find(ch); drop != opts.drop.end()) {
            // Frames the recorder lost: encoded, then left out of the recording.
            const size_t first = std::min<size_t>(size_t(drop->second.first), track.frames.size());
            const size_t last = std::min<size_t>(size_t(drop->second.second) + 1, track.frames.size());
            track.frames.erase(track.frames.begin() + long(first), track.frames.begin() + long(last));
            track.firstKey = size_t(
                std::find_if(track.frames.begin(), track.frames.end(), [](const VideoFrame& f) { return f.key; }) -
                track.frames.begin());
        }
        video.push_back(std::move(track));
    }

    AudioTrack audio;
    if (opts.audioStream && !encodeAudioTrack(opts.seconds, !opts.audio, audio, error))
        return fail("audio: " + error);

    const RecordingPlan plan = planRecording(video, opts.audio ? &audio : nullptr, opts.startMs,
                                             uint32_t(opts.seconds) * 1000, frameMs, opts.repeat);
    const SequenceHeader seqHeader = makeSequenceHeader(opts.width, opts.height);

    HeaderFields fields;
    fields.width = opts.width;
    fields.height = opts.height;
    if (opts.audioStream)
        fields.audio = audio.format;
    fields.audioDef = uint8_t(opts.audioDef);
    fields.prerollMs = opts.prerollMs;
    fields.creationDate = opts.creationDate;
    std::string idSeed = std::filesystem::path(opts.outPath).filename().string();
    for (int i = 1; i < argc; ++i)
        if (argv[i] != opts.outPath)
            idSeed += std::string(1, '\0') + argv[i];
    fields.fileId = recordingFileId(idSeed);
    fields.damage = opts.damage;

    std::unique_ptr<FILE, FileCloser> out(std::fopen(opts.outPath.c_str(), "wb"));
    if (!out)
        return fail("cannot create " + opts.outPath);
    static char buffer[1 << 20];
    std::setvbuf(out.get(), buffer, _IOFBF, sizeof buffer);
    Bytes header = buildRecordingHeader(fields); // placeholder, rewritten with the counts
    bool writeOk = std::fwrite(header.data(), 1, header.size(), out.get()) == header.size();

    PacketDamage damage(opts.damage);
    PacketPacker packer(
        [&](uint64_t, std::span<uint8_t> packet, const std::vector<PayloadInfo>& payloads) {
            damage.apply(packet, payloads);
            writeOk = writeOk && std::fwrite(packet.data(), 1, packet.size(), out.get()) == packet.size();
        },
        opts.prerollMs);
    const size_t middle = plan.objects.size() / 2;
    for (size_t n = 0; n < plan.objects.size(); ++n) {
        if (n == middle)
            damage.arm();
        const PlannedObject& p = plan.objects[n];
        MediaObject o;
        o.stream = p.stream;
        o.presentationMs = p.timeMs + opts.prerollMs;
        if (p.stream == 1) {
            o.body = audio.objects[p.index].data;
        } else {
            const VideoFrame& f = video[p.track].frames[p.index];
            o.key = f.key;
            if (f.key && opts.seqHeader)
                o.head = seqHeader;
            o.body = f.vop;
        }
        packer.add(o);
    }
    packer.finish();
    if (damage.wanted() && !damage.applied())
        return fail("the recording is too short to carry the damage");

    fields.packets = packer.packetCount();
    fields.sendDuration = uint64_t(plan.endMs) * 10000;
    fields.playDuration = fields.sendDuration + uint64_t(opts.prerollMs) * 10000;
    fields.fileSize = header.size() + fields.packets * kPacketSize;
    fields.maxBitrate =
        plan.endMs ? uint32_t(std::min<uint64_t>(fields.packets * kPacketSize * 8 * 1000 / plan.endMs, 0xFFFFFFFFu))
                   : 0;
    header = buildRecordingHeader(fields);
    writeOk = writeOk && std::fseek(out.get(), 0, SEEK_SET) == 0 &&
              std::fwrite(header.data(), 1, header.size(), out.get()) == header.size();
    writeOk = std::fflush(out.get()) == 0 && writeOk;
    out.reset();
    if (!writeOk)
        return fail("cannot write " + opts.outPath);

    if (opts.damage == Damage::Truncated) {
        std::error_code ec;
        std::filesystem::resize_file(opts.outPath, fields.fileSize - kPacketSize / 2, ec);
        if (ec)
            return fail("cannot truncate " + opts.outPath + ": " + ec.message());
    }

    if (!opts.dumpDir.empty() &&
        !writeDump(opts.dumpDir, video, opts.audio ? &audio : nullptr, plan, seqHeader, opts.seqHeader, error))
        return fail(error);

    if (opts.scene.enabled &&
        !writeMotionTruth(opts.outPath + ".motion", opts.scene, opts.startMs, opts.fps, frameCount, error))
        return fail(error);

    std::printf("%s: %d channel(s) %dx%d, %llu packets, %llu bytes, %u ms, objects over 2 packets %llu, over 3+ %llu\n",
                opts.outPath.c_str(), int(video.size()), opts.width, opts.height, (unsigned long long)fields.packets,
                (unsigned long long)fields.fileSize, plan.endMs, (unsigned long long)packer.spanningTwo(),
                (unsigned long long)packer.spanningThree());
    return 0;
}
