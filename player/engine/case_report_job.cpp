#include "case_report_job.h"

#include "report_pictures.h"

namespace vedra {

CaseReportJob::~CaseReportJob()
{
    Cancel();
    if (worker_.joinable())
        worker_.join();
}

bool CaseReportJob::Start(CaseReportRequest request)
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
    worker_ = std::jthread([this, request = std::move(request)](std::stop_token stop) {
        CaseReportResult r;
        {
            ReportPictures pictures(stop);
            r = WriteCaseReport(
                request,
                [&pictures](const std::string& recording, int camera, uint32_t offsetMs, QImage& picture,
                            std::string& error) { return pictures.Take(recording, camera, offsetMs, picture, error); },
                [this](double f) { progress_ = f; }, stop);
        }
        {
            std::lock_guard lock(mutex_);
            result_ = std::move(r);
        }
        finished_ = true;
    });
    return true;
}

void CaseReportJob::Cancel()
{
    if (worker_.joinable())
        worker_.request_stop();
}

std::optional<CaseReportResult> CaseReportJob::TakeResult()
{
    if (!finished_)
        return std::nullopt;
    if (worker_.joinable())
        worker_.join();
    std::lock_guard lock(mutex_);
    std::optional<CaseReportResult> r = std::move(result_);
    result_.reset();
    return r;
}

} // namespace vedra
