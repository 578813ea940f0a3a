#include "archive_options.h"

#include <unistd.h>

#include <cstdio>

#include "batch.h"
#include "commands.h"
#include "motion_helper.h"
#include "tool_report.h"

namespace krvtool {

namespace {

class Progress {
public:
    explicit Progress(size_t total) : total_(total), shown_(isatty(STDERR_FILENO) == 1 && total > 0) {}
    ~Progress()
    {
        if (shown_ && drawn_)
            std::fputs("\r\033[K", stderr);
    }
    // Called one at a time.
    void done(const std::string& path)
    {
        if (!shown_)
            return;
        ++count_;
        const size_t slash = path.find_last_of('/');
        std::fprintf(stderr, "\r\033[Kkrvtool: indexed %zu of %zu  %s", count_, total_,
                     path.substr(slash == std::string::npos ? 0 : slash + 1).c_str());
        std::fflush(stderr);
        drawn_ = true;
    }

private:
    size_t total_;
    size_t count_ = 0;
    bool shown_;
    bool drawn_ = false;
};

int takeArchiveOption(const std::vector<std::string>& args, size_t& i, ArchiveOptions& options, std::string& error)
{
    const std::string& a = args[i];
    if (a == "--json" || a == "--json=lines") {
        options.json = true;
        return 1;
    }
    if (a == "--json=array") {
        options.json = options.jsonArray = true;
        return 1;
    }
    if (a == "--catalog") {
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            error = "--catalog needs a file";
            return -1;
        }
        options.catalogPath = args[++i];
        return 1;
    }
    if (parseJobs(args, i, options.jobs, error))
        return error.empty() ? 1 : -1;
    return 0;
}

} // namespace

std::optional<int> parseArchiveArgs(std::span<char* const> argv, const char* usage, const OwnOption& own,
                                    ArchiveOptions& options, std::vector<std::string>& names)
{
    const std::vector<std::string> args(argv.begin(), argv.end());
    for (size_t i = 0; i < args.size(); ++i) {
        std::string error;
        int taken = takeArchiveOption(args, i, options, error);
        if (taken == 0 && own)
            taken = own(args, i, error);
        if (taken < 0) {
            reportError(error);
            return kExitUsage;
        }
        if (taken)
            continue;
        if (args[i] == "--help") {
            std::fputs(usage, stdout);
            return kExitOk;
        }
        if (args[i].starts_with("-") && args[i] != "-") {
            reportError("unknown option " + args[i]);
            std::fputs(usage, stderr);
            return kExitUsage;
        }
        names.push_back(args[i]);
    }
    if (names.empty()) {
        std::fputs(usage, stderr);
        return kExitUsage;
    }
    return std::nullopt;
}

std::vector<RefreshedRecording> refreshNamed(const ArchiveOptions& options, const std::vector<std::string>& names,
                                             int& exit)
{
    const std::string path = options.catalogPath.empty() ? vedra::DefaultCatalogPath().string() : options.catalogPath;
    vedra::Catalog catalog(path, [](const std::string& w) { reportError(w); });
    const vedra::RecordingScan scan = vedra::ScanRecordings(names);
    for (const std::string& p : scan.problems) {
        reportError(p);
        exit = worseExit(exit, kExitFailed);
    }
    std::optional<Progress> progress;
    vedra::RefreshReport report;
    report.started = [&](size_t total) { progress.emplace(total); };
    report.done = [&](const RefreshedRecording& r) {
        if (r.indexPass)
            progress->done(r.path);
    };
    vedra::RefreshOptions refresh;
    refresh.jobs = options.jobs;
    refresh.confirm = confirmWithPictures;
    std::vector<RefreshedRecording> out = vedra::RefreshCatalog(catalog, scan, refresh, report);
    progress.reset();
    for (const RefreshedRecording& r : out) {
        if (r.state != RefreshedRecording::State::Indexed)
            continue;
        if (!r.message.empty())
            reportError(r.path + ": " + r.message);
        if (r.notStored)
            reportError(r.path + ": indexed, but the catalog could not keep it");
    }
    return out;
}

} // namespace krvtool
