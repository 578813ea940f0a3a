// A range export run for the window: on a worker thread that touches no
// dialog state, with its progress readable at any time, Cancel, and a
// notification when it ends.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <thread>

#include "notify_target.h"
#include "range_export.h"

namespace vedra {

// Parameter of the MsgGraphNotify that ends a range export.
inline constexpr intptr_t kRangeExportNotifyParam = 124;

class RangeExportJob {
public:
    RangeExportJob() = default;
    ~RangeExportJob(); // cancels a running export and waits for it
    RangeExportJob(const RangeExportJob&) = delete;
    RangeExportJob& operator=(const RangeExportJob&) = delete;

    // Starts the export. When it ends (done, failed or cancelled) `notify`
    // (may be null) gets MsgGraphNotify with kRangeExportNotifyParam, posted
    // from the worker. False when an export of this job is still running.
    bool Start(RangeExportRequest request, INotifyTarget* notify);

    // Fraction done, 0-1; any thread.
    double Progress() const { return progress_.load(); }
    // Asks the export to stop; it then removes what it wrote and ends as Cancelled.
    void Cancel();
    bool Running() const { return worker_.joinable() && !finished_.load(); }

    // After the notification: joins the worker and hands over the result;
    // none while it runs or when nothing was started.
    std::optional<RangeExportResult> TakeResult();

private:
    std::jthread worker_;
    std::atomic<double> progress_{0};
    std::atomic<bool> finished_{false};
    std::mutex mutex_; // guards result_
    std::optional<RangeExportResult> result_;
};

} // namespace vedra
