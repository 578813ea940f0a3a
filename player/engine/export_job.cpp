#include "export_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "avi_remux.h"
#include "local_time_name.h"

namespace vedra {
namespace {

// Anything of that name, a dangling link too.
bool Exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

} // namespace

ExportJob::~ExportJob()
{
    if (running && running->worker.joinable())
        running->worker.join();
}

std::string ExportOutputPath(const std::string& outputFolder)
{
    const std::string base = outputFolder + LocalTimeNameNow();
    std::string path = base + ".avi";
    // Two exports of a chain can start within one second; neither may replace the other.
    for (int n = 2; Exists(path) || Exists(path + ".part"); ++n)
        path = base + "_" + std::to_string(n) + ".avi";
    return path;
}

bool ExportStep(const std::string& audioPath, INotifyTarget* notify, ExportJob& job, const std::string& channelPath)
{
    if (job.running)
        return false;
    auto run = std::make_unique<ExportRun>();
    run->outputPath = ExportOutputPath(job.outputFolder);
    ExportRun* r = run.get();
    // Reserve the name at once so the next export of the chain picks another;
    // never through a link.
    const std::string reserved = r->outputPath + ".part";
    const int fd = open(reserved.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0)
        close(fd);
    r->worker = std::thread([r, audioPath, channelPath, notify, reserved, made = fd >= 0] {
        r->succeeded = RemuxToAvi(channelPath, audioPath, r->outputPath, r->error);
        if (made)
            unlink(reserved.c_str()); // the file itself was written elsewhere
        r->finished = true;
        // A failed export completes too, so a chain never waits forever.
        if (notify)
            notify->PostMessage(MsgGraphNotify, kExportNotifyParam);
    });
    job.running = std::move(run);
    return true;
}

int CheckExportCompletion(ExportJob& job)
{
    if (!job.running || !job.running->finished)
        return 1;
    job.running->worker.join();
    job.lastOutputPath = job.running->outputPath;
    job.lastSucceeded = job.running->succeeded;
    job.lastError = job.running->error;
    job.running.reset();
    return 2;
}

} // namespace vedra
