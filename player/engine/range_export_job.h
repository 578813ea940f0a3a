// A range export run for the window: on a worker thread that touches no
// dialog state (worker_job.h), with its progress readable at any time,
// Cancel, and a notification when it ends.
#pragma once

#include <optional>

#include "notify_target.h"
#include "range_export.h"
#include "worker_job.h"

namespace vedra {

// Parameter of the MsgGraphNotify that ends a range export.
inline constexpr intptr_t kRangeExportNotifyParam = 124;

class RangeExportJob {
public:
    // Starts the export. When it ends (done, failed or cancelled) `notify`
    // (may be null) gets MsgGraphNotify with kRangeExportNotifyParam, posted
    // from the worker. False when an export of this job is still running.
    bool Start(RangeExportRequest request, INotifyTarget* notify);

    // Fraction done, 0-1; any thread.
    double Progress() const { return job_.progress(); }
    // Asks the export to stop; it then removes what it wrote and ends as Cancelled.
    void Cancel() { job_.Cancel(); }
    bool Running() const { return job_.Running(); }

    // After the notification: joins the worker and hands over the result;
    // none while it runs or when nothing was started.
    std::optional<RangeExportResult> TakeResult() { return job_.TakeResult(); }

private:
    WorkerJob<RangeExportResult> job_; // cancels a running export and waits for it when it goes
};

} // namespace vedra
