// krvtool export FILE... OUTDIR [--from T] [--to T] [--channels 1,3] [--no-audio]
//                [--format avi|mkv|mp4] [--single-file] [--burn-in] [--sign [--signing-key FILE]] [-j N]
// A time range of the chosen channels copied into standard files, each with a
// SHA-256 file beside it, and a manifest of what was written on stdout. The
// same library call the window makes; nothing is split first.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "batch.h"
#include "commands.h"
#include "engine_session.h"
#include "evidence/export_manifest.h"
#include "krv/krv_data_packets.h"
#include "krv/krv_reader.h"
#include "krv/krv_time.h"
#include "krv/krv_timeline.h"
#include "range_export.h"
#include "stop_signals.h"
#include "tool_report.h"

namespace krvtool {
namespace {

namespace fs = std::filesystem;

constexpr const char* kExportUsage =
    "usage: krvtool export FILE|FOLDER... OUTDIR [--from T] [--to T] [--channels 1,3] [--no-audio]\n"
    "                      [--format avi|mkv|mp4] [--single-file] [--burn-in] [--[no-]time-track]\n"
    "                      [--sign [--signing-key FILE]] [-j N]\n"
    "  --from T, --to T  the range (default: the whole recording); T is an offset from the\n"
    "                    recording's first frame in seconds (75.5) or hh:mm:ss(.mmm), a time\n"
    "                    of day @hh:mm:ss(.mmm) on the recording's day, or a date and time\n"
    "                    YYYY-MM-DDThh:mm:ss(.mmm) (local time; a trailing Z for UTC); a time\n"
    "                    of day must lie within the recording. The copy starts at each\n"
    "                    channel's key frame at or before --from and ends at its last\n"
    "                    frame before --to\n"
    "  --channels        channels to export (default: every channel with frames in the range)\n"
    "  --no-audio        leave the audio out\n"
    "  --format          avi (default: one file per channel, audio copied), mkv (audio\n"
    "                    copied) or mp4 (audio converted to AAC)\n"
    "  --single-file     mkv and mp4: all channels as tracks of one file\n"
    "  --no-time-track   mkv, mp4: no \"Time of day\" subtitle track (by default its cues\n"
    "                    show the local time of day of the frame on screen in any player)\n"
    "  --burn-in         re-encode the video with the time of day and \"Camera N\" drawn into\n"
    "                    every picture (mkv, mp4: H.264; avi: MPEG-4 part 2); no time track\n"
    "                    then unless --time-track asks for it\n"
    "  --sign            a manifest of the export (NAME.manifest.json) signed with your key\n"
    "                    (NAME.manifest.json.sig; see krvtool key); krvtool verify checks it\n"
    "  --signing-key F   sign with the key in F instead of your own\n"
    "  -j N              with several recordings (a folder: its .krv and .asf files), N at once\n";

struct Options {
    std::vector<std::string> names;      // recordings and folders, then OUTDIR
    std::optional<std::string> from, to; // as given; an empty one is refused
    std::string channels;
    bool audio = true;
    std::string format = "avi";
    bool singleFile = false;
    bool sign = false;
    std::string signingKey;
    std::optional<bool> timeTrack; // as asked; by default on unless burned in
    bool burnIn = false;
    int jobs = 1;
};

// 0 when parsed; kExitOk for --help (printed); kExitUsage on a bad line (told).
int parse(const std::vector<std::string>& args, Options& o, bool& help)
{
    help = false;
    auto value = [&](size_t& i, auto& into) {
        if (i + 1 >= args.size())
            return false;
        into = args[++i];
        return true;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string error;
        bool ok = true;
        if (a == "--help" || a == "-h") {
            help = true;
            return kExitOk;
        } else if (a == "--from" || a == "--to") {
            std::optional<std::string>& t = a == "--from" ? o.from : o.to;
            ok = value(i, t) && krv_read_time_text(*t, error).has_value();
            if (!ok && !error.empty())
                error = a + ": " + error;
        } else if (a == "--channels") {
            ok = value(i, o.channels);
        } else if (a == "--format") {
            ok = value(i, o.format) && (o.format == "avi" || o.format == "mkv" || o.format == "mp4");
        } else if (a == "--no-audio") {
            o.audio = false;
        } else if (a == "--single-file") {
            o.singleFile = true;
        } else if (a == "--no-time-track" || a == "--time-track") {
            o.timeTrack = a == "--time-track";
        } else if (a == "--burn-in") {
            o.burnIn = true;
        } else if (a == "--sign") {
            o.sign = true;
        } else if (a == "--signing-key") {
            ok = value(i, o.signingKey);
            o.sign = ok;
        } else if (parseJobs(args, i, o.jobs, error)) {
            ok = error.empty();
        } else if (a.starts_with("-")) {
            error = "unknown option " + a;
            ok = false;
        } else {
            o.names.push_back(a);
        }
        if (!ok) {
            reportError(error.empty() ? "bad value for " + a : error);
            std::fputs(kExportUsage, stderr);
            return kExitUsage;
        }
    }
    std::vector<int> list;
    if (!o.channels.empty() && !ParseChannelList(o.channels, list)) {
        reportError("--channels takes channel numbers 1-4 separated by commas");
        return kExitUsage;
    }
    if (o.singleFile && o.format == "avi") {
        reportError("--single-file needs --format mkv or mp4");
        return kExitUsage;
    }
    if (o.names.size() < 2) {
        std::fputs(kExportUsage, stderr);
        return kExitUsage;
    }
    return 0;
}

// The times of the range read against this recording: offsets from its counter's 0, times of
// day inside it. Fills `timeline`; false when a time cannot be placed (told).
bool resolveTimes(const Options& o, vedra::RangeExportRequest& req, KrvTimeline& timeline)
{
    KrvFilePtr file(krv_open(req.recording, true));
    if (!file || krv_init(file.get()) < 0)
        return true; // the export itself says why it cannot read the recording
    if (const int r = krv_read_timeline(file.get(), krv_file_size(*file), timeline); r < 0)
        return true;
    for (auto [text, into, option] :
         {std::tuple{&o.from, &req.fromMs, "--from"}, std::tuple{&o.to, &req.toMs, "--to"}}) {
        if (!*text)
            continue;
        std::string error;
        const std::optional<KrvTimeText> read = krv_read_time_text(**text, error);
        const std::optional<int64_t> ms = read ? krv_resolve_time(*read, timeline, error) : std::nullopt;
        if (!ms) {
            reportError(std::string(option) + ": " + error);
            return false;
        }
        *into = *ms + int64_t(timeline.originMs);
    }
    return true;
}

// How the range was read, for a user whose clock times were taken as offsets.
std::string rangeHint(const Options& o)
{
    for (const std::optional<std::string>& t : {o.from, o.to}) {
        std::string error;
        const std::optional<KrvTimeText> read = t ? krv_read_time_text(*t, error) : std::nullopt;
        if (read && read->kind == KrvTimeText::Kind::Offset && t->find(':') != std::string::npos)
            return " (" + *t + " was read as an offset from the start; a time of day is written @" + *t + ")";
    }
    return {};
}

// A recording time as the offset from the counter's 0, and its time of day when known.
std::string timeOf(const vedra::RangeExportResult& r, uint32_t ms)
{
    std::string s = krv_offset_text(ms > r.originMs ? ms - r.originMs : 0);
    if (const std::string at = krv_iso8601_utc(krv_time_of_day(r.creationDate, ms)); !at.empty())
        s += " (" + at + ")";
    return s;
}

void printManifest(const vedra::RangeExportResult& r)
{
    std::printf("Source: %s\n", r.source.c_str());
    std::printf("  SHA-256: %s\n", r.sourceSha256.c_str());
    const std::string created = krv_iso8601_utc(r.creationDate);
    std::printf("  Created: %s\n", created.empty() ? "unknown (times are offsets)" : created.c_str());
    for (const vedra::ExportedFile& f : r.files) {
        std::string channels;
        for (int c : f.channels)
            channels += (channels.empty() ? "" : ", ") + std::to_string(c);
        std::printf("File: %s\n", f.path.c_str());
        std::printf("  SHA-256: %s  (%s)\n", f.sha256.c_str(), fs::path(f.checksumPath).filename().c_str());
        std::printf("  Channels: %s%s\n", channels.c_str(), f.audio ? " and audio" : "");
        std::printf("  Start: %s\n", timeOf(r, f.startMs).c_str());
        std::printf("  End:   %s\n", timeOf(r, f.endMs).c_str());
        std::printf("  Frames: %llu\n", (unsigned long long)f.frames);
        if (!f.videoCodec.empty())
            std::printf("  Video: re-encoded with the time of day and camera burned in, %s\n", f.videoCodec.c_str());
    }
    if (!r.manifestPath.empty()) {
        std::printf("Manifest: %s\n", r.manifestPath.c_str());
        std::printf("  Signed: %s%s (key %s)\n", fs::path(r.manifestPath).filename().c_str(), vedra::kSignatureSuffix,
                    r.signerFingerprint.c_str());
    }
}

int exportOne(const Options& o, const std::string& recording, const std::string& outdir)
{
    vedra::RangeExportRequest req;
    req.recording = recording;
    req.outputFolder = outdir;
    req.audio = o.audio;
    req.singleFile = o.singleFile;
    req.sign = o.sign;
    req.burnIn = o.burnIn;
    req.timeTrack = o.timeTrack.value_or(!o.burnIn);
    req.signingKey = o.signingKey;
    req.toolVersion = VEDRA_VERSION;
    req.format = o.format == "mkv"   ? vedra::ExportFormat::Mkv
                 : o.format == "mp4" ? vedra::ExportFormat::Mp4
                                     : vedra::ExportFormat::Avi;
    if (!o.channels.empty())
        ParseChannelList(o.channels, req.channels);
    KrvTimeline timeline;
    if (!resolveTimes(o, req, timeline))
        return kExitUsage;

    const bool showProgress = isatty(STDERR_FILENO);
    std::atomic<int> percent{-1};
    std::stop_source stop;
    // Ctrl+C and the like stop the export, which then removes what it wrote.
    InstallStopSignals();
    auto run = std::async(std::launch::async, [&] {
        return vedra::RunRangeExport(
            req, [&](double f) { percent = int(f * 100); }, stop.get_token());
    });
    int shown = -1;
    while (run.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        if (StopSignal() != 0)
            stop.request_stop();
        if (showProgress && percent != shown) {
            shown = percent;
            std::fprintf(stderr, "\rexporting: %3d%%", shown);
            std::fflush(stderr);
        }
    }
    if (shown >= 0)
        std::fputc('\n', stderr);
    const vedra::RangeExportResult r = run.get();

    for (const std::string& note : r.notes)
        reportError(note);
    if (r.status == vedra::RangeExportStatus::Cancelled) {
        reportError("export interrupted; nothing was kept");
        return kExitFailed;
    }
    if (r.status != vedra::RangeExportStatus::Done) {
        if (r.krvError)
            reportContainerError(r.krvError, r.error);
        else
            reportError(r.error + (r.nothingInRange ? rangeHint(o) : ""));
        return kExitFailed;
    }
    if (r.cutShort)
        reportError("the recording was cut short: the range ends where its data does");
    for (const vedra::ExportedChannel& c : r.channels) {
        if (req.fromMs && c.startMs < *req.fromMs)
            std::fprintf(stderr, "krvtool: channel %d starts at its key frame at %s, before %s\n", c.channel,
                         timeOf(r, c.startMs).c_str(), timeOf(r, uint32_t(*req.fromMs)).c_str());
    }
    printManifest(r);
    return kExitOk;
}

} // namespace

int runExport(std::span<char* const> args)
{
    Options o;
    bool help = false;
    if (const int r = parse(std::vector<std::string>(args.begin(), args.end()), o, help); help || r != 0) {
        if (help)
            std::fputs(kExportUsage, stdout);
        return r;
    }
    const std::string outdir = o.names.back();
    o.names.pop_back();
    std::vector<std::string> files;
    bool several = false;
    if (!expandRecordings(o.names, files, several))
        return kExitFailed;
    if (!several)
        return exportOne(o, files[0], outdir);

    std::vector<std::string> rest;
    if (o.from)
        rest.insert(rest.end(), {"--from", *o.from});
    if (o.to)
        rest.insert(rest.end(), {"--to", *o.to});
    if (!o.channels.empty())
        rest.insert(rest.end(), {"--channels", o.channels});
    if (!o.audio)
        rest.push_back("--no-audio");
    rest.insert(rest.end(), {"--format", o.format});
    if (o.singleFile)
        rest.push_back("--single-file");
    if (o.sign)
        rest.push_back("--sign");
    if (o.timeTrack)
        rest.push_back(*o.timeTrack ? "--time-track" : "--no-time-track");
    if (o.burnIn)
        rest.push_back("--burn-in");
    if (!o.signingKey.empty())
        rest.insert(rest.end(), {"--signing-key", o.signingKey});
    return runBatch(
        files,
        [&](const std::string& file) {
            std::vector<std::string> child{"export", file, outdir};
            child.insert(child.end(), rest.begin(), rest.end());
            return child;
        },
        o.jobs);
}

} // namespace krvtool
