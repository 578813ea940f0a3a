#include "range_export_job.h"

namespace vedra {

RangeExportJob::~RangeExportJob()
{
    Cancel();
    if (worker_.joinable())
        worker_.join();
}

bool RangeExportJob::Start(RangeExportRequest request, INotifyTarget* notify)
{
    if (Running())
        return false;
    if (worker_.joinable())
        worker_.join(); // the last one ended but its result was never taken
    progress_ = 0;
    finished_ = false;
    {
        std::lock_guard lock(mutex_);
        result_.reset();
    }
    worker_ = std::jthread([this, request = std::move(request), notify](std::stop_token stop) {
        RangeExportResult r = RunRangeExport(
            request, [this](double f) { progress_ = f; }, stop);
        {
            std::lock_guard lock(mutex_);
            result_ = std::move(r);
        }
        finished_ = true;
        if (notify)
            notify->PostMessage(MsgGraphNotify, kRangeExportNotifyParam);
    });
    return true;
}

void RangeExportJob::Cancel()
{
    if (worker_.joinable())
        worker_.request_stop();
}

std::optional<RangeExportResult> RangeExportJob::TakeResult()
{
    if (!finished_)
        return std::nullopt;
    if (worker_.joinable())
        worker_.join();
    std::lock_guard lock(mutex_);
    std::optional<RangeExportResult> r = std::move(result_);
    result_.reset();
    return r;
}

} // namespace vedra
