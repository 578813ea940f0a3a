#include "range_export.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <thread>

#include "burn_in_encoder.h"
#include "catalog/bookmark_store.h"
#include "evidence/export_manifest.h"
#include "evidence/signing_key.h"
#include "krv/krv_data_packets.h"
#include "krv/krv_guid.h"
#include "krv/krv_io.h"
#include "krv/krv_messages.h"
#include "krv/krv_range_reader.h"
#include "krv/krv_reader.h"
#include "krv/krv_splitter.h"
#include "krv/krv_staging.h"
#include "krv/krv_time.h"
#include "krv/krv_timeline.h"
#include "sha256_file.h"

namespace vedra {
namespace {

namespace fs = std::filesystem;

constexpr uint16_t kMsAdpcm = 2;
// What an exported file can carry and every reader of it takes.
constexpr uint32_t kMaxVideoSide = 4096;
constexpr uint32_t kMaxAudioRate = 96000;
constexpr double kCopyShare = 0.9; // of the progress; checksums take the rest
constexpr int kCommitTries = 100;  // names taken by exports committing at the same time
constexpr int kMaxNameNumber = 10000;
// Temporary files of exports before there was a staging folder: PREFIX<pid>-<n>.part.
constexpr std::string_view kOldTempPrefix = ".vedra-export-";
constexpr std::string_view kOldTempSuffix = ".part";

struct Output {
    std::vector<int> channels;
    bool audio = false;
    std::string temp; // in the staging folder while written
    std::unique_ptr<ExportMuxer> muxer;
    std::vector<std::unique_ptr<BurnInEncoder>> encoders; // when burned in: one a channel, as `channels`
    std::string path;                                     // its name once finished
    std::string sha256;
};

std::string JoinChannels(const std::vector<int>& channels)
{
    std::string s;
    for (int c : channels)
        s += (s.empty() ? "" : ", ") + std::to_string(c);
    return s;
}

// "00-00-09.600": the offset as it can stand in a file name.
std::string NameTime(uint32_t ms)
{
    std::string s = krv_offset_text(ms);
    std::replace(s.begin(), s.end(), ':', '-');
    return s;
}

BurnInEncoder* EncoderOf(Output& out, int channel)
{
    for (size_t i = 0; i < out.encoders.size(); ++i)
        if (out.channels[i] == channel)
            return out.encoders[i].get();
    return nullptr;
}

// Where a channel's burned-in frames go: its track of the file.
BurnInEncoder::Output TrackOf(Output& out, int channel)
{
    return [&out, channel](const AVPacket& p, uint32_t timeMs, std::string& error) {
        return out.muxer->WriteFrame(channel, p.data, uint32_t(p.size), p.flags & AV_PKT_FLAG_KEY, timeMs, error);
    };
}

bool IsFree(const fs::path& at)
{
    struct stat st {};
    return lstat(at.c_str(), &st) != 0 && errno == ENOENT;
}

// A new file of the staging folder; never an existing name or a link.
bool WriteNewFile(const std::string& path, const std::string& text, std::string& error)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    bool ok = fd >= 0 && write(fd, text.data(), text.size()) == ssize_t(text.size());
    const int saved = errno;
    if (fd >= 0 && close(fd) != 0)
        ok = false;
    if (!ok)
        error = "cannot write " + path + ": " + std::strerror(ok ? errno : saved);
    return ok;
}

// Temporary files that exports killed before there was a staging folder left.
void RemoveOldTempFiles(const fs::path& folder)
{
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (!name.starts_with(kOldTempPrefix) || !name.ends_with(kOldTempSuffix))
            continue;
        const long pid = std::strtol(name.c_str() + kOldTempPrefix.size(), nullptr, 10);
        struct stat st {};
        if (pid > 0 && kill(pid_t(pid), 0) != 0 && errno == ESRCH && lstat(e.path().c_str(), &st) == 0 &&
            st.st_uid == geteuid())
            unlink(e.path().c_str());
    }
}

class RangeExport {
public:
    RangeExport(const RangeExportRequest& request, const ExportProgress& progress, std::stop_token stop)
        : req_(request), progress_(progress), stop_(std::move(stop))
    {}
    ~RangeExport() { RemoveAll(); }

    RangeExportResult Run();

private:
    bool Fail(std::string message, int krvError = 0);
    bool Cancelled();
    void Report(double fraction);
    bool OpenRecording();
    bool PlanOutputs();
    bool Copy();
    bool Publish();
    void RemoveAll();
    void StopHashing();
    // The recording's checksum, waited for; false when it could not be read.
    bool WaitForSourceHash();
    // The manifest of what is about to be committed, `names` being the outputs' final names.
    std::string ManifestText(const std::vector<std::string>& names);
    // The recording's bookmarks, for the manifest; a store that cannot be read is noted.
    void ReadBookmarks();
    std::string TempName();
    bool Steps();
    // A recording time as the offset users see.
    uint32_t Offset(uint32_t ms) const { return ms > result_.originMs ? ms - result_.originMs : 0; }

    const RangeExportRequest& req_;
    const ExportProgress& progress_;
    std::stop_token stop_;
    RangeExportResult result_;
    KrvFilePtr file_;
    uint64_t fileSize_ = 0;
    std::unique_ptr<KrvRangeReader> reader_;
    KrvRange range_;
    std::vector<Output> outputs_;
    KrvStaging staging_; // every file while it is written
    bool madeFolder_ = false;
    double shown_ = -1;
    // The recording's checksum is read beside the copy, on a thread of its own.
    std::stop_source hashStop_;
    std::optional<std::stop_callback<std::function<void()>>> forwardStop_;
    std::thread sourceHash_;
    std::string sourceDigest_;
    std::string sourceHashError_;
    std::optional<SigningKey> key_; // when signing
    std::vector<Bookmark> bookmarks_;
};

void RangeExport::ReadBookmarks()
{
    BookmarkStore store(req_.bookmarkStore.empty() ? DefaultBookmarkStorePath() : fs::path(req_.bookmarkStore));
    std::error_code ec;
    const fs::path absolute = fs::absolute(req_.recording, ec).lexically_normal();
    bookmarks_ = store.ForRecording({krv_guid_text(file_->fileId), ec ? req_.recording : absolute.string()});
    if (!store.problem().empty())
        result_.notes.push_back(store.problem() + ": the manifest lists no bookmarks");
}

bool RangeExport::WaitForSourceHash()
{
    if (sourceHash_.joinable())
        sourceHash_.join();
    if (sourceDigest_.empty())
        return Cancelled() ? false
                           : Fail(sourceHashError_.empty() ? "the recording could not be read for its checksum"
                                                           : sourceHashError_);
    return true;
}

std::string RangeExport::ManifestText(const std::vector<std::string>& names)
{
    ExportManifest m;
    m.tool = "Vedra Media Player";
    m.toolVersion = req_.toolVersion;
    std::error_code ec;
    m.sourcePath = fs::absolute(req_.recording, ec).string();
    m.sourceSize = fileSize_;
    m.sourceSha256 = sourceDigest_;
    m.fileId = krv_guid_text(file_->fileId);
    m.creationDate = krv_iso8601_utc(result_.creationDate);
    m.startTime = krv_iso8601_utc(krv_time_of_day(result_.creationDate, result_.originMs));
    uint32_t last = 0;
    for (size_t i = 0; i < outputs_.size(); ++i) {
        const Output& out = outputs_[i];
        ManifestOutput o;
        o.name = names[i];
        o.size = fs::file_size(out.temp, ec);
        o.sha256 = out.sha256;
        o.audio = out.audio;
        if (!out.encoders.empty()) {
            o.burnIn = true;
            o.videoCodec = out.encoders.front()->description();
        }
        for (int c : out.channels) {
            const ExportMuxer::Span span = out.muxer->span(c);
            o.tracks.push_back({c, span.frames, Offset(span.firstMs), Offset(span.lastMs)});
            last = std::max(last, span.lastMs);
            if (std::find(m.cameras.begin(), m.cameras.end(), c) == m.cameras.end())
                m.cameras.push_back(c);
        }
        m.outputs.push_back(std::move(o));
    }
    std::sort(m.cameras.begin(), m.cameras.end());
    const int64_t to = std::min<int64_t>(range_.toMs, int64_t(last) + 1);
    m.fromMs = Offset(uint32_t(std::max<int64_t>(range_.fromMs, 0)));
    m.toMs = Offset(uint32_t(std::clamp<int64_t>(to, 0, UINT32_MAX)));
    m.fromTime = krv_iso8601_utc(krv_time_of_day(result_.creationDate, m.fromMs + result_.originMs));
    // The bookmarks in the range that mark an exported camera.
    for (const Bookmark& b : bookmarks_) {
        const bool exported = std::any_of(b.channels.begin(), b.channels.end(), [&](int c) {
            return std::find(m.cameras.begin(), m.cameras.end(), c) != m.cameras.end();
        });
        if (b.offsetMs >= m.fromMs && b.offsetMs < m.toMs && exported)
            m.bookmarks.push_back(
                {b.offsetMs, krv_iso8601_utc(krv_time_of_day(result_.creationDate, b.offsetMs + result_.originMs)),
                 b.channels, b.note});
    }
    m.toTime = krv_iso8601_utc(krv_time_of_day(result_.creationDate, m.toMs + result_.originMs));
    if (const passwd* pw = getpwuid(geteuid()))
        m.account = pw->pw_name;
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0)
        m.host = host;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    m.exportedAt = krv_iso8601_utc(kFiletimeUnixEpoch +
                                   uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()) *
                                       kFiletimeTicksPerMs);
    m.signerKey = PublicKeyText(key_->publicKey);
    m.signerFingerprint = KeyFingerprint(key_->publicKey);
    return ManifestJson(m);
}

void RangeExport::StopHashing()
{
    if (!sourceHash_.joinable())
        return;
    if (result_.status != RangeExportStatus::Done)
        hashStop_.request_stop();
    sourceHash_.join();
}

bool RangeExport::Fail(std::string message, int krvError)
{
    if (result_.status == RangeExportStatus::Failed && result_.error.empty()) {
        result_.error = std::move(message);
        result_.krvError = krvError;
    }
    return false;
}

bool RangeExport::Cancelled()
{
    if (!stop_.stop_requested())
        return false;
    result_.status = RangeExportStatus::Cancelled;
    result_.error = "cancelled";
    return true;
}

void RangeExport::Report(double fraction)
{
    if (progress_ && (fraction >= shown_ + 0.005 || fraction >= 1.0)) {
        shown_ = fraction;
        progress_(std::min(fraction, 1.0));
    }
}

std::string RangeExport::TempName()
{
    return staging_.path("output-" + std::to_string(outputs_.size()) + ".part");
}

bool RangeExport::OpenRecording()
{
    file_.reset(krv_open(req_.recording, true));
    if (!file_)
        return Fail(krv_error_message(KRV_ERROR_FAIL_OPEN_FILE, KrvPhase::Open), KRV_ERROR_FAIL_OPEN_FILE);
    if (int r = krv_init(file_.get()); r < 0)
        return Fail(krv_error_message(r, KrvPhase::Open), r);
    fileSize_ = krv_file_size(*file_);
    KrvTimeline timeline;
    if (int r = krv_read_timeline(file_.get(), fileSize_, timeline); r < 0)
        return Fail(krv_error_message(r, KrvPhase::Open), r);
    result_.creationDate = timeline.creationDate;
    result_.originMs = timeline.originMs;

    range_.fromMs = req_.fromMs.value_or(timeline.originMs);
    if (req_.toMs)
        range_.toMs = *req_.toMs;
    if (range_.toMs <= std::max<int64_t>(range_.fromMs, 0))
        return Fail("the range is empty: it must end after it starts");
    range_.channels = 0;
    for (int c : req_.channels) {
        if (c < 1 || c > kRangeChannels)
            return Fail("there is no channel " + std::to_string(c) + " (channels are 1-4)");
        range_.channels |= uint8_t(1u << (c - 1));
    }
    if (req_.channels.empty())
        range_.channels = 0x0F;
    range_.audio = req_.audio;
    return true;
}

bool RangeExport::PlanOutputs()
{
    reader_ = std::make_unique<KrvRangeReader>(file_.get(), fileSize_);
    if (int r = reader_->seek(range_); r < 0)
        return Fail(krv_error_message(r, KrvPhase::Split), r);
    result_.cutShort = reader_->cutShort();

    const KrvBitmapInfo* video = nullptr;
    const KrvWaveFormat* wave = nullptr;
    for (const KrvStream& s : file_->streams) {
        if (!video && s.type == KrvStreamType::Video && s.video)
            video = s.video.get();
        if (!wave && s.type == KrvStreamType::Audio && s.audio)
            wave = s.audio.get();
    }
    if (!video || video->width == 0 || video->height == 0 || video->width > kMaxVideoSide ||
        video->height > kMaxVideoSide)
        return Fail("the recording's video size " + std::to_string(video ? video->width : 0) + "x" +
                    std::to_string(video ? video->height : 0) + " cannot be exported");
    // Every frame of a camera in the range is kept, or the export fails: one
    // with frames but no key frame to start from would give a file nothing plays.
    std::vector<int> channels;
    for (int c = 1; c <= kRangeChannels; ++c) {
        const KrvRangeChannel& rc = reader_->channel(c);
        if (!(range_.channels >> (c - 1) & 1))
            continue;
        if (rc.present)
            channels.push_back(c);
        else if (rc.framesInRange)
            return Fail("channel " + std::to_string(c) + " has no key frame to start from in the range" +
                        (req_.channels.empty() ? " (leave it out with --channels)" : ""));
        else if (!req_.channels.empty())
            return Fail("channel " + std::to_string(c) + " has no frames in the range");
    }
    if (channels.empty()) {
        result_.nothingInRange = true;
        return Fail("nothing is recorded in the range");
    }

    std::optional<MuxAudioTrack> audio;
    if (req_.audio && wave) {
        // MS ADPCM: 1 or 2 channels, blocks of 7 header bytes a channel and at least one sample byte.
        const bool usable = wave->channels >= 1 && wave->channels <= 2 && wave->samplesPerSec > 0 &&
                            wave->samplesPerSec <= kMaxAudioRate && wave->blockAlign > 7u * wave->channels;
        if (wave->formatTag != kMsAdpcm) {
            result_.notes.push_back("the audio is not MS ADPCM: left out");
        } else if (!usable) {
            result_.notes.push_back("the audio's header is unusable (" + std::to_string(wave->channels) +
                                    " channels, " + std::to_string(wave->samplesPerSec) + " Hz, blocks of " +
                                    std::to_string(wave->blockAlign) + " bytes): left out");
        } else {
            MuxAudioTrack a;
            a.format.sampleRate = wave->samplesPerSec;
            a.format.channels = wave->channels;
            a.format.blockAlign = wave->blockAlign;
            if (wave->extraData && wave->extraSize)
                a.format.extraData.assign(wave->extraData, wave->extraData + wave->extraSize);
            a.samplesPerBlock = wave->extraSize >= 2 ? krv_u16(wave->extraData) : 0;
            audio = a;
        }
    } else if (req_.audio) {
        result_.notes.push_back("the recording has no audio");
    }

    auto videoTrack = [&](int c) {
        MuxVideoTrack v;
        v.channel = c;
        v.width = video ? video->width : 0;
        v.height = video ? video->height : 0;
        v.frameIntervalMs = reader_->channel(c).frameIntervalMs;
        const KrvSequenceHeader h = krv_sequence_header(v.width, v.height);
        v.config.assign(h.begin(), h.end());
        return v;
    };
    const std::string stem = fs::path(req_.recording).stem().string();
    auto open = [&](std::vector<int> chans, uint32_t baseMs) {
        Output out;
        out.channels = std::move(chans);
        out.audio = audio.has_value();
        out.temp = TempName();
        out.muxer = std::make_unique<ExportMuxer>();
        std::vector<MuxVideoTrack> tracks;
        std::string error;
        for (int c : out.channels) {
            tracks.push_back(videoTrack(c));
            if (!req_.burnIn)
                continue;
            const MuxVideoTrack& v = tracks.back();
            auto encoder = std::make_unique<BurnInEncoder>();
            if (!encoder->Open({c, v.width, v.height, v.frameIntervalMs, v.config, req_.format, result_.creationDate,
                                result_.originMs},
                               error)) {
                outputs_.push_back(std::move(out));
                return Fail(error);
            }
            tracks.back().encoder = encoder->encoder();
            out.encoders.push_back(std::move(encoder));
        }
        MuxFileInfo info;
        info.title = stem;
        // The file's time 0 is its first frame: its creation time is that frame's time of day.
        info.creationTime = krv_iso8601_utc(krv_time_of_day(result_.creationDate, baseMs));
        info.timeTrack = req_.timeTrack;
        info.creationDate = result_.creationDate;
        info.comment = "From " + fs::path(req_.recording).filename().string() + ", channel" +
                       (out.channels.size() > 1 ? "s " : " ") + JoinChannels(out.channels) + ", from " +
                       krv_offset_text(Offset(baseMs)) + " of the recording";
        if (!info.creationTime.empty())
            info.comment += " (" + info.creationTime + ")";
        if (!out.encoders.empty())
            info.comment += "; re-encoded with the time of day and the camera burned in";
        const bool ok = out.muxer->Open(out.temp, req_.format, tracks, audio, info, baseMs, error);
        outputs_.push_back(std::move(out));
        return ok || Fail(error);
    };
    if (req_.singleFile)
        return open(channels, reader_->startMs());
    for (int c : channels)
        if (!open({c}, reader_->channel(c).startMs))
            return false;
    return true;
}

bool RangeExport::Copy()
{
    KrvRangeObject object;
    int r;
    std::string error;
    size_t count = 0;
    // Re-encoding is slow: a stop request is looked at more often.
    const size_t checkMask = req_.burnIn ? 3 : 63;
    while ((r = reader_->next(object)) > 0) {
        for (Output& out : outputs_) {
            BurnInEncoder* encoder = object.channel == 0 ? nullptr : EncoderOf(out, object.channel);
            const bool ok =
                object.channel == 0 ? out.muxer->WriteAudio(object.data, object.size, object.time, error)
                : encoder ? encoder->Push(object.data, object.size, object.time, TrackOf(out, object.channel), error)
                          : out.muxer->WriteFrame(object.channel, object.data, object.size, object.keyFrame,
                                                  object.time, error);
            if (!ok)
                return Fail(error);
        }
        if ((++count & checkMask) == 0) {
            if (Cancelled())
                return false;
            Report(reader_->progress() * kCopyShare);
        }
    }
    if (r < 0)
        return Fail(krv_error_message(r, KrvPhase::Split), r);
    if (Cancelled())
        return false;
    for (Output& out : outputs_) {
        for (size_t i = 0; i < out.encoders.size(); ++i) {
            BurnInEncoder& encoder = *out.encoders[i];
            if (!encoder.Finish(TrackOf(out, out.channels[i]), error))
                return Fail(error);
            if (encoder.repeated())
                result_.notes.push_back("channel " + std::to_string(out.channels[i]) + ": " +
                                        std::to_string(encoder.repeated()) +
                                        " frame(s) held no picture of their own; the picture before stands for them");
        }
        if (!out.muxer->Finish(error))
            return Fail(error);
        for (int c : out.channels)
            if (out.muxer->span(c).frames == 0)
                return Fail("channel " + std::to_string(c) + " gave no frame to export");
    }
    return true;
}

// Checksums, then every file with its checksum under the first name free for
// both, all moved into place at once. A name taken meanwhile (another export
// committing) makes it choose again.
bool RangeExport::Publish()
{
    const std::string stem = fs::path(req_.recording).stem().string();
    const char* ext = ExportFormatExtension(req_.format);
    for (size_t i = 0; i < outputs_.size(); ++i) {
        Output& out = outputs_[i];
        if (Cancelled())
            return false;
        std::string error;
        out.sha256 = Sha256OfFile(out.temp, stop_, error);
        if (out.sha256.empty())
            return Cancelled() ? false : Fail(error);
        Report(kCopyShare + (1.0 - kCopyShare) * double(i + 1) / double(outputs_.size()));
    }
    if (key_ && !WaitForSourceHash())
        return false;
    int r = EEXIST;
    std::string manifestName;
    for (int attempt = 0; attempt < kCommitTries && r == EEXIST; ++attempt) {
        std::vector<KrvStagedMove> moves;
        std::vector<std::string> names;
        std::set<std::string> chosen;
        for (size_t i = 0; i < outputs_.size(); ++i) {
            Output& out = outputs_[i];
            const ExportMuxer::Span span = out.muxer->span();
            const std::string base = stem + "_" + NameTime(Offset(span.firstMs)) + "_" + NameTime(Offset(span.lastMs)) +
                                     (req_.singleFile ? "" : "_ch" + std::to_string(out.channels.front()));
            std::string name;
            for (int n = 1;; ++n) {
                if (n > kMaxNameNumber)
                    return Fail("no free name for " + base + " in " + req_.outputFolder);
                name = base + (n > 1 ? "_" + std::to_string(n) : "") + "." + ext;
                const fs::path at = fs::path(req_.outputFolder) / name;
                if (!chosen.contains(name) && IsFree(at) && IsFree(at.string() + ".sha256"))
                    break;
            }
            chosen.insert(name);
            out.path = (fs::path(req_.outputFolder) / name).string();
            const std::string sum = "output-" + std::to_string(i) + ".sha256";
            std::string error;
            unlink(staging_.path(sum).c_str());
            if (!WriteNewFile(staging_.path(sum), Sha256Line(out.sha256, name), error))
                return Fail(error);
            moves.push_back({fs::path(out.temp).filename().string(), name});
            moves.push_back({sum, name + ".sha256"});
            names.push_back(name);
        }
        if (key_) {
            // One manifest for the export, named after its one file or after the range.
            std::string base = fs::path(names.front()).stem().string();
            if (outputs_.size() > 1) {
                uint32_t first = UINT32_MAX, last = 0;
                for (const Output& out : outputs_) {
                    first = std::min(first, out.muxer->span().firstMs);
                    last = std::max(last, out.muxer->span().lastMs);
                }
                base = stem + "_" + NameTime(Offset(first)) + "_" + NameTime(Offset(last));
            }
            for (int n = 1;; ++n) {
                if (n > kMaxNameNumber)
                    return Fail("no free name for " + base + kManifestSuffix + " in " + req_.outputFolder);
                manifestName = base + (n > 1 ? "_" + std::to_string(n) : "") + kManifestSuffix;
                const fs::path at = fs::path(req_.outputFolder) / manifestName;
                if (IsFree(at) && IsFree(at.string() + kSignatureSuffix))
                    break;
            }
            const std::string text = ManifestText(names);
            std::string error;
            unlink(staging_.path("manifest").c_str());
            unlink(staging_.path("manifest.sig").c_str());
            if (!WriteNewFile(staging_.path("manifest"), text, error) ||
                !WriteNewFile(staging_.path("manifest.sig"), SignatureText(SignBytes(text, *key_)), error))
                return Fail(error);
            moves.push_back({"manifest", manifestName});
            moves.push_back({"manifest.sig", manifestName + kSignatureSuffix});
        }
        r = staging_.commit(moves, KrvCommitMode::Exclusive);
    }
    if (r != 0)
        return Fail("cannot move the files into " + req_.outputFolder + ": " + std::strerror(r));
    for (Output& out : outputs_) {
        out.temp.clear();
        const ExportMuxer::Span span = out.muxer->span();
        ExportedFile f;
        f.path = out.path;
        f.checksumPath = out.path + ".sha256";
        f.sha256 = out.sha256;
        f.channels = out.channels;
        f.audio = out.audio;
        f.startMs = span.firstMs;
        f.endMs = span.lastMs;
        f.frames = span.frames;
        if (!out.encoders.empty())
            f.videoCodec = out.encoders.front()->description();
        result_.files.push_back(f);
    }
    if (key_) {
        result_.manifestPath = (fs::path(req_.outputFolder) / manifestName).string();
        result_.signerFingerprint = KeyFingerprint(key_->publicKey);
    }
    return true;
}

void RangeExport::RemoveAll()
{
    for (Output& out : outputs_)
        out.muxer.reset(); // closes the file first
    staging_.remove();
    if (result_.status == RangeExportStatus::Done)
        return;
    std::error_code ec;
    if (madeFolder_)
        fs::remove(req_.outputFolder, ec); // only when it is still empty
}

RangeExportResult RangeExport::Run()
{
    result_.source = req_.recording;
    if (Steps())
        result_.status = RangeExportStatus::Done;
    StopHashing();
    if (result_.status == RangeExportStatus::Done && req_.hashSource) {
        result_.sourceSha256 = sourceDigest_;
        if (sourceDigest_.empty() && !Cancelled()) {
            result_.status = RangeExportStatus::Failed;
            Fail(sourceHashError_);
        }
    }
    if (result_.status == RangeExportStatus::Done)
        Report(1.0);
    return result_;
}

bool RangeExport::Steps()
{
    if (req_.singleFile && req_.format == ExportFormat::Avi)
        return Fail("one file for all channels needs mkv or mp4");
    std::error_code ec;
    if (!fs::is_directory(req_.outputFolder, ec)) {
        madeFolder_ = fs::create_directories(req_.outputFolder, ec);
        if (!fs::is_directory(req_.outputFolder, ec))
            return Fail("cannot create " + req_.outputFolder);
    }
    krv_recover_staging(req_.outputFolder);
    RemoveOldTempFiles(req_.outputFolder);
    if (!staging_.create(req_.outputFolder))
        return Fail("cannot write into " + req_.outputFolder + ": " + std::strerror(errno));
    if (req_.sign) {
        // A key that cannot be had fails the export before anything is copied.
        std::string error;
        key_ =
            LoadSigningKey(req_.signingKey.empty() ? DefaultSigningKeyPath() : fs::path(req_.signingKey), true, error);
        if (!key_)
            return Fail(error);
    }
    if (!OpenRecording())
        return false;
    if (req_.sign)
        ReadBookmarks();
    if (req_.hashSource || req_.sign) {
        forwardStop_.emplace(stop_, [this] { hashStop_.request_stop(); });
        sourceHash_ = std::thread([this, token = hashStop_.get_token()] {
            sourceDigest_ = Sha256OfFile(req_.recording, token, sourceHashError_);
        });
    }
    Report(0);
    if (!PlanOutputs() || !Copy() || !Publish())
        return false;
    for (const Output& out : outputs_) {
        for (int c : out.channels) {
            const ExportMuxer::Span span = out.muxer->span(c);
            result_.channels.push_back({c, span.firstMs, span.lastMs});
        }
    }
    std::sort(result_.channels.begin(), result_.channels.end(),
              [](const ExportedChannel& a, const ExportedChannel& b) { return a.channel < b.channel; });
    return true;
}

} // namespace

RangeExportResult RunRangeExport(const RangeExportRequest& request, const ExportProgress& progress,
                                 std::stop_token stop)
{
    RangeExport job(request, progress, std::move(stop));
    return job.Run();
}

} // namespace vedra
