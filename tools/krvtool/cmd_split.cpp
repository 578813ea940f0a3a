// krvtool split FILE [OUTDIR] [--av-sync]: the conversion the player runs on a
// recording, from the command line. Without OUTDIR the channel files go to a
// new folder in the current directory named after the recording. The folder is
// locked for the time of the split, and a split that fails leaves nothing
// behind (nor the folder, when it made it).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "batch.h"
#include "commands.h"
#include "krv/krv_config.h"
#include "krv/krv_data_packets.h"
#include "krv/krv_recording.h"
#include "krv/krv_recording_name.h"
#include "krv/krv_splitter.h"
#include "krv/krv_staging.h"
#include "krv/krv_workfolder.h"
#include "split_progress.h"
#include "stop_signals.h"
#include "tool_report.h"

namespace krvtool {

namespace {

namespace fs = std::filesystem;

constexpr const char* kSplitUsage =
    "usage: krvtool split FILE|FOLDER... [OUTDIR] [--av-sync] [-j N]\n"
    "  OUTDIR     folder for the channel files (created when missing); default: a new\n"
    "             folder in the current directory named after the recording; with several\n"
    "             recordings each gets OUTDIR/<its name>\n"
    "  --av-sync  A/V-sync mode (channel files with the audio inside one of them);\n"
    "             default: iSupportAVSyncFunc in [SYS_SETTING] of Config.INI beside krvtool\n"
    "  -j N       with several recordings (a folder: its .krv and .asf files), N at once\n"
    "A recording cut short is split up to its last whole packet (exit code 3).\n";

// With several names the last is OUTDIR unless it names a recording.
bool isOutdir(const std::string& name)
{
    std::error_code ec;
    return !fs::is_regular_file(name, ec) && !krv_is_recording_name(name);
}

int splitBatch(const std::vector<std::string>& files, const std::string& outdir, bool avSync, int jobs)
{
    std::map<std::string, int> stems;
    std::map<std::string, std::string> folders;
    for (const std::string& f : files) {
        const std::string stem = fs::path(f).stem().string();
        const int n = ++stems[stem];
        folders[f] = (fs::path(outdir) / (n > 1 ? stem + "_" + std::to_string(n) : stem)).string();
    }
    return runBatch(
        files,
        [&](const std::string& file) {
            std::vector<std::string> args{"split", file};
            if (!outdir.empty())
                args.push_back(folders[file]);
            if (avSync)
                args.push_back("--av-sync");
            return args;
        },
        jobs);
}

// One line per file the split wrote: its size and what it holds.
void listOutputs(const KrvSplitFiles& written)
{
    for (const KrvSplitFile& file : written.files) {
        std::error_code ec;
        const uint64_t size = fs::file_size(file.path, ec);
        std::printf("  %-28s %12" PRIu64 " bytes", fs::path(file.path).filename().string().c_str(), size);
        if (file.output == 0)
            std::printf("  %" PRIu64 " samples, %" PRIu64 " data bytes", file.count, file.dataBytes);
        else
            std::printf("  %" PRIu64 " packets", file.count);
        std::printf("\n");
    }
}

// The folder to split into, created here when missing; `made` tells whether
// it was. Empty (after saying why) when it cannot be used.
fs::path outputFolder(const std::string& recording, const std::string& outdir, bool& made)
{
    std::error_code ec;
    made = false;
    if (!outdir.empty()) {
        const fs::path folder = outdir;
        made = !fs::exists(folder, ec);
        fs::create_directories(folder, ec);
        if (fs::is_directory(folder, ec))
            return folder;
        // A name taken by something else is the whole reason; no folder could be made is the system's.
        if (ec != std::errc::file_exists)
            std::fprintf(stderr, "%s\n", kKrvCreateDirError);
        reportError("cannot create " + folder.string() + ": " + ec.message());
        return {};
    }
    // Named after the recording; an existing folder of that name is never
    // written into unless the user names it.
    const fs::path name = fs::path(recording).stem();
    if (name.empty() || name == "." || name == "..") {
        reportError("no folder name in " + recording + ": give OUTDIR");
        return {};
    }
    if (mkdir(name.c_str(), 0777) != 0) {
        const int error = errno;
        if (error != EEXIST)
            std::fprintf(stderr, "%s\n", kKrvCreateDirError);
        if (error == EEXIST)
            reportError(name.string() + " exists already: give it as OUTDIR to split into it");
        else
            reportError("cannot create " + name.string() + ": " + std::strerror(error));
        return {};
    }
    made = true;
    return fs::current_path(ec) / name;
}

// What a split killed outright left in the folder: its staging folder, and the
// temporary files of splits before there was one.
void removeLeftovers(const fs::path& folder, const std::string& recording)
{
    krv_recover_staging(folder);
    std::vector<std::string> names{"Audio1.wav"};
    const std::string base = krv_base_name(recording);
    for (size_t c = 1; c < kSplitOutputs; ++c) {
        names.push_back("Video" + std::to_string(c) + ".krv");
        names.push_back(base + "_Video" + std::to_string(c) + ".asf");
    }
    for (const std::string& name : names)
        unlink((folder / (name + ".part")).c_str());
}

} // namespace

int runSplit(std::span<char* const> args)
{
    std::vector<std::string> positional;
    bool avSync = krv_av_sync_enabled();
    int jobs = 1;
    const std::vector<std::string> list(args.begin(), args.end());
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string_view arg = list[i];
        std::string jobsError;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kSplitUsage, stdout);
            return kExitOk;
        }
        if (arg == "--av-sync")
            avSync = true;
        else if (parseJobs(list, i, jobs, jobsError)) {
            if (!jobsError.empty()) {
                reportError(jobsError);
                return kExitUsage;
            }
        } else if (arg.starts_with("--")) {
            reportError("unknown option " + std::string(arg));
            std::fputs(kSplitUsage, stderr);
            return kExitUsage;
        } else
            positional.emplace_back(arg);
    }
    if (positional.empty()) {
        std::fputs(kSplitUsage, stderr);
        return kExitUsage;
    }
    std::string outdir;
    if (positional.size() > 1 && isOutdir(positional.back())) {
        outdir = positional.back();
        positional.pop_back();
    }
    std::vector<std::string> files;
    bool several = false;
    if (!expandRecordings(positional, files, several))
        return kExitFailed;
    if (several)
        return splitBatch(files, outdir, avSync, jobs);
    const std::string& path = files[0];

    KrvFilePtr recording;
    const int r = krv_open_recording(path, recording);
    if (r < 0) {
        reportContainerError(r, KrvPhase::Open, r == KRV_ERROR_FAIL_OPEN_FILE ? openFailure(path) : std::string());
        return kExitFailed;
    }
    const int count = krv_count_media_streams(*recording);
    if (count < 2) {
        // The player plays such a file as it is.
        std::printf("%s holds %d media stream(s): nothing to split, it plays as it is\n", path.c_str(), count);
        return kExitOk;
    }

    // Whole packets only when the recording was cut short.
    const KrvCutShort cut = krv_keep_whole_packets(recording.get(), krv_file_size(*recording));

    InstallStopSignals();
    bool made = false;
    const fs::path folder = outputFolder(path, outdir, made);
    if (folder.empty())
        return kExitFailed;
    // Two splits into one folder would mix their files.
    const KrvFolderLock lock(folder);
    if (!lock.acquired()) {
        reportError("another split is writing into " + folder.string() + ": nothing written");
        return kExitFailed;
    }
    removeLeftovers(folder, path);

    int s;
    KrvSplitFailure failure;
    KrvSplitFiles written;
    std::error_code ec;
    {
        const uint64_t total = fs::file_size(path, ec);
        SplitProgress progress(recording.get(), ec ? 0 : total);
        const KrvSplitOptions options{avSync, false, &StopFlag()};
        s = krv_split(recording.get(), folder.string(), options, &failure, &written);
    }
    recording.reset();
    if (s <= 0) {
        if (made)
            fs::remove(folder, ec); // only when the failed split left it empty
        if (StopSignal())
            reportError("stopped by signal " + std::to_string(StopSignal()) + ": nothing written");
        else if (s < 0)
            reportContainerError(s, KrvPhase::Split, krv_failure_text(failure));
        else
            reportError("a channel file could not be created in " + folder.string() + ": " + krv_failure_text(failure));
        return kExitFailed;
    }
    std::printf("Split %s (%s mode) into %s\n", path.c_str(), avSync ? "A/V-sync" : "normal", folder.string().c_str());
    listOutputs(written);
    if (cut.cut) {
        reportContainerError(KRV_ERROR_EOF, KrvPhase::Split);
        std::printf("Cut short: kept %" PRIu64 " of %" PRIu64 " packets\n", cut.whole, cut.announced);
        return kExitCutShort;
    }
    return kExitOk;
}

} // namespace krvtool
