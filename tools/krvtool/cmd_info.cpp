// krvtool info FILE...: what the reader makes of a recording's header, and a
// walk over its data packets counting the payloads of every stream; with
// --json the measured facts of each recording as one JSON object.
#include <array>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "batch.h"
#include "commands.h"
#include "facts_json.h"
#include "krv/krv_data_packets.h"
#include "krv/krv_facts.h"
#include "krv/krv_guid.h"
#include "krv/krv_messages.h"
#include "krv/krv_reader.h"
#include "krv/krv_recording.h"
#include "krv/krv_time.h"
#include "krv/krv_timeline.h"
#include "krv/krv_types.h"
#include "tool_report.h"

namespace krvtool {

namespace {

constexpr const char* kInfoUsage = "usage: krvtool info [--json] [-j N] FILE|FOLDER...\n"
                                   "  --json  the facts of each recording as one JSON object per line\n"
                                   "  -j N    with several recordings (a folder: its .krv and .asf files), N at once\n";

std::string fourCc(uint32_t code)
{
    std::string s;
    for (int i = 0; i < 4; ++i) {
        char c = char((code >> (8 * i)) & 0xFF);
        s += (c >= 0x20 && c < 0x7F) ? c : '.';
    }
    return s;
}

void printStreams(const KrvFile& f)
{
    std::printf("Streams:\n");
    int media = 0;
    for (int n = 0; n < kMaxStreams; ++n) {
        const KrvStream& s = f.streams[n];
        switch (s.type) {
        case KrvStreamType::None: continue;
        case KrvStreamType::Audio:
            ++media;
            if (const KrvWaveFormat* a = s.audio.get()) {
                std::printf("  %3d audio   format 0x%04X%s, %u channel(s), %u Hz, block align %u, %u bits, "
                            "%u extra bytes\n",
                            n, a->formatTag, a->formatTag == 2 ? " (MS ADPCM)" : "", a->channels, a->samplesPerSec,
                            a->blockAlign, a->bitsPerSample, a->extraSize);
            } else {
                std::printf("  %3d audio\n", n);
            }
            break;
        case KrvStreamType::Video:
            ++media;
            if (const KrvBitmapInfo* v = s.video.get())
                std::printf("  %3d video   %ux%u, %s, %u bits\n", n, v->width, v->height,
                            fourCc(v->compression).c_str(), v->bitCount);
            else
                std::printf("  %3d video\n", n);
            break;
        case KrvStreamType::Command: std::printf("  %3d command\n", n); break;
        case KrvStreamType::Unknown: std::printf("  %3d unknown\n", n); break;
        }
    }
    std::printf("Media streams: %d\n", media);
}

// Payload counts per stream number over every data packet. The recorder's
// header describes one video stream; the channels show in the packets.
int walkPackets(KrvFile* f)
{
    KrvPacketPtr packet(krv_packet_create(f, true));
    if (!packet)
        return KRV_ERROR_OUTOFMEM;
    std::array<uint64_t, kMaxStreams> payloads{}, objects{}, keys{};
    uint64_t packets = 0;
    int r = 0;
    for (;;) {
        krv_packet_reset(packet.get());
        r = krv_get_packet(f, packet.get(), false, nullptr);
        if (r <= 0)
            break;
        ++packets;
        for (uint16_t i = 0; i < packet->payloadCount; ++i) {
            const KrvPayload& p = packet->payloads[i];
            const unsigned n = p.streamNumber & 0x7F;
            ++payloads[n];
            if (p.offset == 0) {
                ++objects[n];
                keys[n] += p.keyFrame;
            }
        }
    }
    std::printf("Packets read: %" PRIu64 "\n", packets);
    std::printf("Payloads by stream:\n");
    for (int n = 0; n < kMaxStreams; ++n) {
        if (!payloads[n])
            continue;
        std::string what = n == 1 ? "audio" : (n >= 2 && n <= 5) ? "video channel " + std::to_string(n - 1) : "?";
        std::printf("  %3d %-16s %8" PRIu64 " payloads, %8" PRIu64 " objects, %6" PRIu64 " key\n", n, what.c_str(),
                    payloads[n], objects[n], keys[n]);
    }
    return r;
}

// One JSON object on stdout whatever happens; the system's message on stderr too.
int infoJson(const std::string& path)
{
    KrvFilePtr file(krv_open(path, true));
    int r = file ? krv_init(file.get()) : KRV_ERROR_FAIL_OPEN_FILE;
    KrvFacts facts;
    KrvTimeline timeline;
    if (r >= 0)
        r = krv_gather_facts(file.get(), krv_file_size(*file), facts);
    if (r >= 0)
        r = krv_read_timeline(file.get(), krv_file_size(*file), timeline);
    if (r < 0) {
        const KrvPhase phase = file && file->data ? KrvPhase::Split : KrvPhase::Open;
        std::printf("%s\n", errorJson(path, r, krv_error_message(r, phase), errorName(r)).c_str());
        reportContainerError(r, phase, r == KRV_ERROR_FAIL_OPEN_FILE ? openFailure(path) : std::string());
        return kExitFailed;
    }
    std::printf("%s\n", factsJson(path, facts, timeline).c_str());
    return kExitOk;
}

int infoText(const std::string& path)
{
    KrvFilePtr file;
    const int r = krv_open_recording(path, file);
    if (r < 0) {
        reportContainerError(r, KrvPhase::Open, r == KRV_ERROR_FAIL_OPEN_FILE ? openFailure(path) : std::string());
        return kExitFailed;
    }

    const KrvFile& f = *file;
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(path, ec);
    std::printf("File: %s (%" PRIu64 " bytes)\n", path.c_str(), ec ? uint64_t(0) : uint64_t(bytes));
    std::printf("Header: %" PRIu64 " bytes, %u objects\n", f.header->size, f.header->objectCount);
    std::printf("File ID: {%s}\n", krv_guid_text(f.fileId).c_str());
    std::printf("Data packets: %" PRIu64 " of %u bytes\n", f.dataPacketsCount, f.packetSize);
    std::printf("Play duration: %.3f s, send duration: %.3f s, preroll: %" PRIu64 " ms\n",
                krv_duration_seconds(f.playDuration), krv_duration_seconds(f.sendDuration), f.preroll);
    std::printf("Flags: 0x%X%s, maximum bitrate: %u\n", f.flags, (f.flags & kFileSeekable) ? " (seekable)" : "",
                f.maxBitrate);
    if (f.audioChannelDefinition < 4)
        std::printf("Audio channel definition: %u (audio of video channel %u)\n", f.audioChannelDefinition,
                    f.audioChannelDefinition + 1u);
    else
        std::printf("Audio channel definition: %u (no such channel: an A/V-sync split drops the audio)\n",
                    f.audioChannelDefinition);
    printStreams(f);

    const int w = walkPackets(file.get());
    if (w < 0) {
        reportContainerError(w, KrvPhase::Split);
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace

int runInfo(std::span<char* const> args)
{
    const std::vector<std::string> list(args.begin(), args.end());
    std::vector<std::string> names;
    bool json = false;
    int jobs = 1;
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string& a = list[i];
        std::string error;
        if (a == "--help" || a == "-h") {
            std::fputs(kInfoUsage, stdout);
            return kExitOk;
        }
        if (a == "--json") {
            json = true;
        } else if (parseJobs(list, i, jobs, error)) {
            if (!error.empty()) {
                reportError(error);
                return kExitUsage;
            }
        } else if (a.starts_with("-")) {
            reportError("unknown option " + a);
            std::fputs(kInfoUsage, stderr);
            return kExitUsage;
        } else {
            names.push_back(a);
        }
    }
    if (names.empty()) {
        std::fputs(kInfoUsage, stderr);
        return kExitUsage;
    }
    std::vector<std::string> files;
    bool several = false;
    if (!expandRecordings(names, files, several))
        return kExitFailed;
    if (several) {
        return runBatch(
            files,
            [json](const std::string& file) {
                return json ? std::vector<std::string>{"info", "--json", file} : std::vector<std::string>{"info", file};
            },
            jobs);
    }
    return json ? infoJson(files[0]) : infoText(files[0]);
}

} // namespace krvtool
