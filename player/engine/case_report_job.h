// The case report run for the window: WriteCaseReport on a worker thread
// that touches no dialog state, its pictures from ReportPictures, its
// progress readable at any time, Cancel, and whether it has ended.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <thread>

#include "case_report.h"

namespace vedra {

class CaseReportJob {
public:
    CaseReportJob() = default;
    ~CaseReportJob(); // cancels a running report and waits for it
    CaseReportJob(const CaseReportJob&) = delete;
    CaseReportJob& operator=(const CaseReportJob&) = delete;

    // False when a report of this job is still running.
    bool Start(CaseReportRequest request);
    // Fraction done, 0-1; any thread.
    double Progress() const { return progress_.load(); }
    // Asks the report to stop; it then writes nothing.
    void Cancel();
    bool Running() const { return worker_.joinable() && !finished_.load(); }
    // Once it has ended: joins the worker and hands over the result; none before.
    std::optional<CaseReportResult> TakeResult();

private:
    std::jthread worker_;
    std::atomic<double> progress_{0};
    std::atomic<bool> finished_{false};
    std::mutex mutex_; // guards result_
    std::optional<CaseReportResult> result_;
};

} // namespace vedra
