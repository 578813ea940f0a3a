// Range export on krvsynth recordings, judged by ffmpeg/ffprobe and
// sha256sum: every frame of every track is krvsynth's frame byte for byte
// (framemd5 against its --dump-dir lists) at its own time, from the key frame
// at or before `from` to the last frame before `to`; the checksum files
// verify; a failure or a cancel leaves nothing behind.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "engine_fixture.h"
#include "krv/krv_time.h"
#include "range_export.h"
#include "range_export_job.h"

namespace vedra::test {
namespace {

namespace fs = std::filesystem;

struct AudioObject {
    long ms = 0;
    long blocks = 0;
};

// The "object N ms blocks" lines of krvsynth's audio.txt.
std::vector<AudioObject> ReadAudioObjects(const fs::path& txt)
{
    std::vector<AudioObject> objects;
    std::ifstream in(txt);
    for (std::string key; in >> key;) {
        long n = 0;
        AudioObject o;
        if (key == "object" && in >> n >> o.ms >> o.blocks)
            objects.push_back(o);
        else
            in.ignore(1 << 20, '\n');
    }
    return objects;
}

bool Empty(const fs::path& folder)
{
    return !fs::exists(folder) || fs::is_empty(folder);
}

class RangeExportTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir();
        ASSERT_TRUE(MakeRecording(dir_->file("cam.krv"), "--seconds 6 --dump-dir '" + dir_->file("dump") + "'"));
    }
    static void TearDownTestSuite() { delete dir_; }
    static std::string Recording() { return dir_->file("cam.krv"); }
    static fs::path Dump(const std::string& name) { return dir_->path() / "dump" / name; }
    RangeExportRequest Request(const std::string& out)
    {
        RangeExportRequest r;
        r.recording = Recording();
        r.outputFolder = out;
        return r;
    }
    static TempDir* dir_;
    TempDir out_;
};
TempDir* RangeExportTest::dir_ = nullptr;

struct FormatRow {
    const char* name;
    ExportFormat format;
    bool single;
    std::vector<int> channels; // empty: all four
    bool audio;
    int64_t from, to;
    const char* audioCodec; // in every file when audio
};

TEST_F(RangeExportTest, FramesAreTheRecordingsWithTheirTimes)
{
    const FormatRow rows[] = {
        {"mkv, one file", ExportFormat::Mkv, true, {}, true, 2350, 4600, "adpcm_ms"},
        {"mp4, one file, channels 1 and 3", ExportFormat::Mp4, true, {1, 3}, true, 3000, 5000, "aac"},
        {"mkv per channel, no audio", ExportFormat::Mkv, false, {2, 4}, false, 1500, 2750, nullptr},
        {"mp4 per channel", ExportFormat::Mp4, false, {4}, true, 4100, 6500, "aac"},
        {"avi per channel", ExportFormat::Avi, false, {1, 2}, true, 2000, 3000, "adpcm_ms"},
    };
    for (const FormatRow& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path out = out_.path() / row.name;
        RangeExportRequest req = Request(out.string());
        req.format = row.format;
        req.singleFile = row.single;
        req.channels = row.channels;
        req.audio = row.audio;
        req.fromMs = row.from;
        req.toMs = row.to;
        std::vector<double> progress;
        const RangeExportResult r = RunRangeExport(req, [&](double f) { progress.push_back(f); }, {});
        ASSERT_EQ(r.status, RangeExportStatus::Done) << r.error;
        ASSERT_FALSE(progress.empty());
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        EXPECT_EQ(progress.back(), 1.0);
        EXPECT_EQ(r.sourceSha256, Lines(RunCommand("sha256sum '" + Recording() + "' | cut -c1-64"))[0]);
        const std::vector<int> channels = row.channels.empty() ? std::vector<int>{1, 2, 3, 4} : row.channels;
        ASSERT_EQ(r.files.size(), row.single ? 1u : channels.size());

        for (const ExportedFile& file : r.files) {
            SCOPED_TRACE(file.path);
            int status = -1;
            RunCommand("cd '" + out.string() + "' && sha256sum -c '" + fs::path(file.checksumPath).filename().string() +
                           "' >/dev/null 2>&1",
                       &status);
            EXPECT_EQ(status, 0) << "the checksum file verifies";
            const std::vector<std::string> streams =
                Lines(RunCommand("ffprobe -v error -show_entries stream=codec_name:stream_tags=title,handler_name -of "
                                 "compact=p=0:nk=1 '" +
                                 file.path + "'"));
            const bool timeTrack = row.format != ExportFormat::Avi; // the "Time of day" subtitles, last
            ASSERT_EQ(streams.size(), file.channels.size() + (row.audio ? 1 : 0) + (timeTrack ? 1 : 0));
            if (timeTrack) {
                EXPECT_EQ(streams.back().rfind(
                              row.format == ExportFormat::Mp4 ? "mov_text|Time of day" : "subrip|Time of day", 0),
                          0u)
                    << streams.back();
            }
            for (size_t s = 0; s < file.channels.size(); ++s) {
                const int c = file.channels[s];
                SCOPED_TRACE("channel " + std::to_string(c));
                EXPECT_EQ(streams[s].rfind("mpeg4|Channel " + std::to_string(c), 0), 0u) << streams[s];
                // krvsynth's frames from the key frame at or before `from`.
                const std::vector<DumpFrame> dump = ReadDump(Dump("ch" + std::to_string(c) + ".txt"));
                long start = 0;
                for (const DumpFrame& f : dump)
                    if (f.key && f.ms <= row.from)
                        start = f.ms;
                std::vector<DumpFrame> want;
                for (const DumpFrame& f : dump)
                    if (f.ms >= start && f.ms < row.to)
                        want.push_back(f);
                const std::vector<std::string> md5s = FrameMd5s(file.path, int(s));
                ASSERT_EQ(md5s.size(), want.size());
                const std::vector<double> times = FfprobeFrameTimes(file.path, "v:" + std::to_string(s));
                ASSERT_EQ(times.size(), want.size());
                for (size_t i = 0; i < want.size(); ++i) {
                    EXPECT_EQ(md5s[i], want[i].md5) << "frame " << i;
                    EXPECT_NEAR(times[i] * 1000.0 + file.startMs, double(want[i].ms), 0.5) << "frame " << i;
                }
                if (file.channels.size() == 1) {
                    EXPECT_EQ(file.startMs, uint32_t(start));
                    EXPECT_EQ(file.endMs, uint32_t(want.back().ms));
                }
            }
            if (row.audio) {
                const std::string& audio = streams[file.channels.size()];
                EXPECT_EQ(audio.substr(0, audio.find('|')), row.audioCodec);
                // Every audio block of the file's span: copied, or converted with at most one AAC frame more.
                long samples = 0;
                for (const AudioObject& a : ReadAudioObjects(Dump("audio.txt")))
                    if (a.ms >= long(file.startMs) && a.ms < row.to)
                        samples += a.blocks * 500;
                const long decoded = std::stol(RunCommand("ffmpeg -nostdin -v error -i '" + file.path +
                                                          "' -map 0:a -f s16le -ac 1 - 2>/dev/null | wc -c")) /
                                     2;
                EXPECT_GE(decoded, samples);
                EXPECT_LE(decoded, samples + (row.format == ExportFormat::Mp4 ? 1024 : 0));
            }
            EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + file.path + "' -f null - 2>&1"), "")
                << "every track decodes";
        }
    }
}

// The "Time of day" track: the cue shown with the first, a middle and the last
// frame is that frame's time of day by the container library's rule, in local time.
TEST_F(RangeExportTest, TimeTrackShowsEachFramesTimeOfDay)
{
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    for (ExportFormat format : {ExportFormat::Mkv, ExportFormat::Mp4}) {
        RangeExportRequest req = Request(out_.file(format == ExportFormat::Mkv ? "tod-mkv" : "tod-mp4"));
        req.format = format;
        req.channels = {2};
        req.fromMs = 1500;
        req.toMs = 4250;
        const RangeExportResult r = RunRangeExport(req, nullptr, {});
        ASSERT_EQ(r.status, RangeExportStatus::Done) << r.error;
        const std::string file = r.files.at(0).path;
        EXPECT_NE(RunCommand("ffprobe -v error -show_entries stream_tags=title,handler_name -of csv=p=0 '" + file + "'")
                      .find("Time of day (local time, UTC+01:00)"),
                  std::string::npos);
        // Cues as (start ms in the file, text).
        std::vector<std::pair<long, std::string>> cues;
        const std::vector<std::string> srt =
            Lines(RunCommand("ffmpeg -nostdin -v error -i '" + file + "' -map 0:s:0 -f srt - 2>/dev/null"));
        for (size_t i = 0; i + 1 < srt.size(); ++i) {
            int h, m, sec, ms;
            if (std::sscanf(srt[i].c_str(), "%d:%d:%d,%d -->", &h, &m, &sec, &ms) == 4)
                cues.emplace_back(((h * 60L + m) * 60 + sec) * 1000 + ms, srt[i + 1]);
        }
        ASSERT_FALSE(cues.empty());
        const std::vector<DumpFrame> frames = ReadDump(Dump("ch2.txt"));
        std::vector<long> exported;
        for (const DumpFrame& f : frames)
            if (f.ms >= long(r.files[0].startMs) && f.ms < 4250)
                exported.push_back(f.ms);
        for (long at : {exported.front(), exported[exported.size() / 2], exported.back()}) {
            SCOPED_TRACE(at);
            const long inFile = at - long(r.files[0].startMs);
            std::string shown;
            for (const auto& [start, text] : cues)
                if (start <= inFile)
                    shown = text;
            EXPECT_EQ(shown, krv_clock_text(krv_time_of_day(r.creationDate, uint32_t(at)), true, false).substr(0, 19));
        }
    }
    unsetenv("TZ");
    tzset();
}

struct Luma {
    int width = 0, height = 0;
    std::vector<std::string> frames; // one luma plane a frame
};

// One video track of a file as ffmpeg decodes it, luma only.
Luma DecodeLuma(const std::string& file, int track)
{
    Luma l;
    std::sscanf(RunCommand("ffprobe -v error -select_streams v:" + std::to_string(track) +
                           " -show_entries stream=width,height -of csv=p=0:s=x '" + file + "'")
                    .c_str(),
                "%dx%d", &l.width, &l.height);
    const std::string raw = RunCommand("ffmpeg -nostdin -v error -i '" + file + "' -map 0:v:" + std::to_string(track) +
                                       " -fps_mode passthrough -pix_fmt gray -f rawvideo - 2>/dev/null");
    const size_t size = size_t(l.width) * size_t(l.height);
    for (size_t at = 0; size && at + size <= raw.size(); at += size)
        l.frames.push_back(raw.substr(at, size));
    return l;
}

// Mean absolute difference and PSNR (dB) of two luma planes over rows [y0, y1) and columns [x0, x1).
std::pair<double, double> Compare(const Luma& a, const std::string& pa, const std::string& pb, int x0, int x1, int y0,
                                  int y1)
{
    double sum = 0, squares = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const double d =
                double(uint8_t(pa[size_t(y) * a.width + x])) - double(uint8_t(pb[size_t(y) * a.width + x]));
            sum += std::abs(d);
            squares += d * d;
        }
    const double n = double(x1 - x0) * double(y1 - y0);
    return {sum / n, squares > 0 ? 10.0 * std::log10(255.0 * 255.0 / (squares / n)) : 99.0};
}

// Burned in: the same frames at the same times as the stream copy, which
// ffmpeg decodes; the top-left corner holds the text box, the rest of the
// picture is the copy's within the codec's loss.
TEST_F(RangeExportTest, BurnInKeepsEveryFrameAndChangesOnlyItsCorner)
{
    struct Row {
        const char* name;
        ExportFormat format;
        bool single;
        std::vector<int> channels;
        bool timeTrack; // asked for beside the burned-in time
        const char* codec;
    };
    const Row rows[] = {
        {"mkv per channel, with the time track", ExportFormat::Mkv, false, {2}, true, "h264"},
        {"mp4, one file", ExportFormat::Mp4, true, {1, 3}, false, "h264"},
        {"avi", ExportFormat::Avi, false, {4}, false, "mpeg4"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RangeExportRequest req = Request((out_.path() / row.name / "copy").string());
        req.format = row.format;
        req.singleFile = row.single;
        req.channels = row.channels;
        req.fromMs = 1500;
        req.toMs = 4250;
        const RangeExportResult copy = RunRangeExport(req, nullptr, {});
        ASSERT_EQ(copy.status, RangeExportStatus::Done) << copy.error;
        req.outputFolder = (out_.path() / row.name / "burned").string();
        req.burnIn = true;
        req.timeTrack = row.timeTrack;
        std::vector<double> progress;
        const RangeExportResult r = RunRangeExport(req, [&](double f) { progress.push_back(f); }, {});
        ASSERT_EQ(r.status, RangeExportStatus::Done) << r.error;
        EXPECT_EQ(progress.back(), 1.0);
        ASSERT_EQ(r.files.size(), copy.files.size());
        for (size_t i = 0; i < r.files.size(); ++i) {
            const ExportedFile& file = r.files[i];
            SCOPED_TRACE(file.path);
            EXPECT_FALSE(file.videoCodec.empty());
            EXPECT_EQ(file.frames, copy.files[i].frames);
            const std::string types =
                RunCommand("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 '" + file.path + "'");
            EXPECT_EQ(types.find("subtitle") != std::string::npos, row.timeTrack) << types;
            EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + file.path + "' -f null - 2>&1"), "")
                << "every track decodes";
            for (size_t s = 0; s < file.channels.size(); ++s) {
                SCOPED_TRACE("channel " + std::to_string(file.channels[s]));
                const std::string track = "v:" + std::to_string(s);
                EXPECT_EQ(RunCommand("ffprobe -v error -select_streams " + track +
                                     " -show_entries stream=codec_name -of csv=p=0 '" + file.path + "'"),
                          std::string(row.codec) + "\n");
                EXPECT_EQ(FfprobeFrameTimes(file.path, track), FfprobeFrameTimes(copy.files[i].path, track));
                const Luma burned = DecodeLuma(file.path, int(s));
                const Luma copied = DecodeLuma(copy.files[i].path, int(s));
                ASSERT_EQ(burned.frames.size(), file.frames / file.channels.size());
                ASSERT_EQ(burned.frames.size(), copied.frames.size());
                ASSERT_EQ(burned.width, copied.width);
                const int w = burned.width, h = burned.height;
                for (size_t f : {size_t(0), burned.frames.size() / 2, burned.frames.size() - 1}) {
                    SCOPED_TRACE("frame " + std::to_string(f));
                    const auto [cornerDiff, cornerPsnr] =
                        Compare(burned, burned.frames[f], copied.frames[f], w / 40, w / 3, h / 40, h / 8);
                    EXPECT_GT(cornerDiff, 30.0) << "the text box is drawn over the corner";
                    const auto [restDiff, restPsnr] =
                        Compare(burned, burned.frames[f], copied.frames[f], 0, w, h / 4, h);
                    EXPECT_LT(restDiff, 3.0);
                    EXPECT_GT(restPsnr, 32.0) << "the rest is the recording's picture";
                }
            }
        }
    }
}

TEST_F(RangeExportTest, OneFileCarriesTheCreationDateAndFourTracks)
{
    RangeExportRequest req = Request(out_.file("one"));
    req.format = ExportFormat::Mkv;
    req.singleFile = true;
    req.fromMs = 1000;
    req.toMs = 4000;
    const RangeExportResult r = RunRangeExport(req, nullptr, {});
    ASSERT_EQ(r.status, RangeExportStatus::Done) << r.error;
    ASSERT_EQ(r.files.size(), 1u);
    const std::string tags =
        RunCommand("ffprobe -v error -show_entries format_tags=creation_time -of csv=p=0 '" + r.files[0].path + "'");
    EXPECT_EQ(tags.substr(0, 19), "2026-01-02T00:00:01") << "the time of day of its first frame";
    EXPECT_EQ(RunCommand("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 '" + r.files[0].path + "'"),
              "video\nvideo\nvideo\nvideo\naudio\nsubtitle\n");
    ASSERT_EQ(r.channels.size(), 4u);
    for (const ExportedChannel& c : r.channels) {
        EXPECT_EQ(c.startMs, 1000u);
        EXPECT_EQ(c.endMs, 3900u);
    }
}

TEST_F(RangeExportTest, FailuresLeaveNothing)
{
    TempDir bad;
    ASSERT_TRUE(MakeRecording(bad.file("bad.krv"), "--seconds 1 --damage bad-packet-size"));
    struct Row {
        const char* name;
        std::function<void(RangeExportRequest&)> change;
        const char* error;
    };
    const Row rows[] = {
        {"nothing in the range", [](RangeExportRequest& r) { r.fromMs = 60000; }, "nothing is recorded"},
        {"empty range",
         [](RangeExportRequest& r) {
             r.fromMs = 3000;
             r.toMs = 3000;
         },
         "range is empty"},
        {"channel 5", [](RangeExportRequest& r) { r.channels = {5}; }, "no channel 5"},
        {"avi in one file", [](RangeExportRequest& r) { r.singleFile = true; }, "needs mkv or mp4"},
        {"refused recording", [&](RangeExportRequest& r) { r.recording = bad.file("bad.krv"); },
         "The KRV File Parse Error (KRV_ERROR_INVALID_PACKET_SIZE)....."},
        {"missing recording", [&](RangeExportRequest& r) { r.recording = bad.file("none.krv"); },
         "The KRV File Parse Error (KRV_ERROR_FAIL_OPEN_FILE)....."},
        {"folder that cannot be made", [](RangeExportRequest& r) { r.outputFolder = "/dev/null/out"; },
         "cannot create"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path out = out_.path() / row.name;
        RangeExportRequest req = Request(out.string());
        row.change(req);
        const RangeExportResult r = RunRangeExport(req, nullptr, {});
        EXPECT_EQ(r.status, RangeExportStatus::Failed);
        EXPECT_NE(r.error.find(row.error), std::string::npos) << r.error;
        EXPECT_TRUE(r.files.empty());
        EXPECT_TRUE(Empty(out)) << "no partial output";
    }
}

// Names in the folder are never written through or over: a link planted under
// the name an export would take, or a checksum of that name alone, sends the
// file and its checksum together to the next free _N, and what was there stays
// as it was. Temporary files left by exports killed before there was a
// staging folder go; those of exports still running stay.
TEST_F(RangeExportTest, TakenNamesAreLeftAsTheyAre)
{
    const fs::path out = out_.path() / "taken";
    fs::create_directories(out);
    const fs::path target = out_.path() / "target";
    std::ofstream(target) << "root only";
    const std::string base = "cam_00-00-00.000_00-00-02.900_ch1"; // offsets from the first frame, at 1 s
    fs::create_symlink(target, out / (base + ".mkv"));
    fs::create_symlink(target, out / (base + "_2.mkv.sha256"));
    std::ofstream(out / (base + "_3.mkv")) << "the user's";
    std::ofstream(out / ".vedra-export-999999999-0.part") << "a killed export's"; // no such process
    const std::string running = ".vedra-export-" + std::to_string(getpid()) + "-0.part";
    std::ofstream(out / running) << "a running export's";

    RangeExportRequest req = Request(out.string());
    req.format = ExportFormat::Mkv;
    req.channels = {1};
    req.fromMs = 1000;
    req.toMs = 4000;
    const RangeExportResult r = RunRangeExport(req, nullptr, {});
    ASSERT_EQ(r.status, RangeExportStatus::Done) << r.error;
    ASSERT_EQ(r.files.size(), 1u);
    EXPECT_EQ(fs::path(r.files[0].path).filename(), base + "_4.mkv");
    EXPECT_EQ(RunCommand("cat '" + target.string() + "'"), "root only");
    EXPECT_TRUE(fs::is_symlink(out / (base + ".mkv")));
    std::vector<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(out))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{running, base + ".mkv", base + "_2.mkv.sha256", base + "_3.mkv",
                                               base + "_4.mkv", base + "_4.mkv.sha256"}));
    int status = -1;
    RunCommand("cd '" + out.string() + "' && sha256sum -c '" + base + "_4.mkv.sha256' >/dev/null 2>&1", &status);
    EXPECT_EQ(status, 0);
}

TEST_F(RangeExportTest, CancelRemovesWhatWasWritten)
{
    // Stopped half-way through the copy, and again while the checksums are read; re-encoding half-way.
    for (const auto& [at, burnIn] : {std::pair{0.3, false}, {0.95, false}, {0.3, true}}) {
        SCOPED_TRACE(std::to_string(at) + (burnIn ? ", burned in" : ""));
        const fs::path out = out_.path() / ("cancel" + std::to_string(at) + (burnIn ? "b" : ""));
        fs::create_directories(out);
        std::stop_source stop;
        RangeExportRequest req = Request(out.string());
        req.format = ExportFormat::Mp4;
        req.burnIn = burnIn;
        const RangeExportResult r = RunRangeExport(
            req,
            [&](double f) {
                if (f >= at)
                    stop.request_stop();
            },
            stop.get_token());
        EXPECT_EQ(r.status, RangeExportStatus::Cancelled);
        EXPECT_TRUE(r.files.empty());
        EXPECT_TRUE(fs::is_directory(out)) << "a folder the user chose stays";
        EXPECT_TRUE(Empty(out));
    }
}

TEST_F(RangeExportTest, JobRunsOnAWorkerAndNotifies)
{
    NotifyQueue queue;
    RangeExportJob job;
    RangeExportRequest req = Request(out_.file("job"));
    req.format = ExportFormat::Mkv;
    req.singleFile = true;
    ASSERT_TRUE(job.Start(req, &queue));
    EXPECT_FALSE(job.Start(req, &queue)) << "one at a time";
    NotifyQueue::Message m{};
    ASSERT_TRUE(queue.Wait(m, 20000));
    EXPECT_EQ(m.msg, MsgGraphNotify);
    EXPECT_EQ(m.sender, kRangeExportNotifyParam);
    const std::optional<RangeExportResult> r = job.TakeResult();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, RangeExportStatus::Done) << r->error;
    EXPECT_EQ(job.Progress(), 1.0);
    EXPECT_FALSE(job.TakeResult()) << "taken once";

    // Cancelled at once: whichever way it ends, nothing half-written stays.
    ASSERT_TRUE(job.Start(Request(out_.file("job2")), &queue));
    job.Cancel();
    ASSERT_TRUE(queue.Wait(m, 20000));
    const std::optional<RangeExportResult> c = job.TakeResult();
    ASSERT_TRUE(c);
    if (c->status == RangeExportStatus::Cancelled)
        EXPECT_TRUE(Empty(out_.file("job2")));
    else
        EXPECT_EQ(c->status, RangeExportStatus::Done);
}

TEST_F(RangeExportTest, RecordingCutShortExportsUpToTheCut)
{
    const std::string cut = out_.file("cut.krv");
    fs::copy_file(Recording(), cut);
    fs::resize_file(cut, fs::file_size(cut) * 6 / 10);
    RangeExportRequest req = Request(out_.file("cutout"));
    req.recording = cut;
    req.format = ExportFormat::Mkv;
    req.channels = {1};
    const RangeExportResult r = RunRangeExport(req, nullptr, {});
    ASSERT_EQ(r.status, RangeExportStatus::Done) << r.error;
    EXPECT_TRUE(r.cutShort);
    ASSERT_EQ(r.files.size(), 1u);
    const std::vector<DumpFrame> dump = ReadDump(Dump("ch1.txt"));
    const std::vector<std::string> md5s = FrameMd5s(r.files[0].path, 0);
    ASSERT_GT(md5s.size(), 10u);
    ASSERT_LT(md5s.size(), dump.size());
    for (size_t i = 0; i < md5s.size(); ++i)
        EXPECT_EQ(md5s[i], dump[i].md5) << "frame " << i;
}

} // namespace
} // namespace vedra::test
