// The case report run for the window: WriteCaseReport on a worker thread
// that touches no dialog state (worker_job.h), its pictures from
// ReportPictures, its progress readable at any time, Cancel, and whether it
// has ended.
#pragma once

#include <optional>

#include "case_report.h"
#include "worker_job.h"

namespace vedra {

class CaseReportJob {
public:
    // False when a report of this job is still running.
    bool Start(CaseReportRequest request);
    // Fraction done, 0-1; any thread.
    double Progress() const { return job_.progress(); }
    // Asks the report to stop; it then writes nothing.
    void Cancel() { job_.Cancel(); }
    bool Running() const { return job_.Running(); }
    // Once it has ended: joins the worker and hands over the result; none before.
    std::optional<CaseReportResult> TakeResult() { return job_.TakeResult(); }

private:
    WorkerJob<CaseReportResult> job_; // cancels a running report and waits for it when it goes
};

} // namespace vedra
