#include "export_job.h"

#include <sys/stat.h>

#include <cstdio>

#include "avi_remux.h"
#include "local_time_name.h"

namespace vedra {
namespace {

bool Exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
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
    // Reserve the name at once so the next export of the chain picks another.
    if (FILE* f = std::fopen((r->outputPath + ".part").c_str(), "wb"))
        std::fclose(f);
    r->worker = std::thread([r, audioPath, channelPath, notify] {
        r->succeeded = RemuxToAvi(channelPath, audioPath, r->outputPath, r->error);
        if (!r->succeeded)
            std::remove((r->outputPath + ".part").c_str()); // the reserved name
        r->finished = true;
        // A failed export completes too, so a chain never waits forever.
        if (notify)
            notify->PostMessage(MsgGraphNotify, 0, kExportNotifyParam);
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
