// AVI export of one channel at a time, run off the GUI thread.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "notify_target.h"

namespace vedra {

// One export in flight: its worker and what it produced. Worker thread writes
// the results before setting `finished`; the GUI thread reads them after.
struct ExportRun {
    std::thread worker;
    std::string outputPath;
    std::atomic<bool> finished{false};
    bool succeeded = false;
    std::string error;
};

struct ExportJob {
    std::string outputFolder;           // ends with '/'
    std::unique_ptr<ExportRun> running; // GUI thread only; none while idle
    // What the last completed export did (set by the completion check).
    std::string lastOutputPath;
    bool lastSucceeded = false;
    std::string lastError;

    ExportJob() = default;
    ExportJob(const ExportJob&) = delete;
    ExportJob& operator=(const ExportJob&) = delete;
    ~ExportJob(); // waits for a running export
};

// The output name of an export starting now: outputFolder + local time + ".avi";
// a name already taken in this folder gets "_2", "_3", ... before ".avi".
std::string ExportOutputPath(const std::string& outputFolder);

// Starts copying the channel file (and the audio file unless `audioPath` is
// empty) into a new AVI file; MsgGraphNotify with kExportNotifyParam is posted
// to `notify` when it ends, successfully or not. Returns true (false only when
// an export is already running in this job).
bool ExportStep(const std::string& audioPath, INotifyTarget* notify, ExportJob& job, const std::string& channelPath);

// 2 when the export has finished and was torn down (results in job.last*), 1 otherwise.
int CheckExportCompletion(ExportJob& job);

} // namespace vedra
