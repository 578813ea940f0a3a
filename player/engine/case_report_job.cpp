#include "case_report_job.h"

#include "report_pictures.h"

namespace vedra {

bool CaseReportJob::Start(CaseReportRequest request)
{
    return job_.Start(
        [request = std::move(request)](const WorkerJob<CaseReportResult>::Progress& progress, std::stop_token stop) {
            // The pictures' folder goes before the result is handed over.
            ReportPictures pictures(stop);
            return WriteCaseReport(
                request,
                [&pictures](const std::string& recording, int camera, uint32_t offsetMs, QImage& picture,
                            std::string& error) { return pictures.Take(recording, camera, offsetMs, picture, error); },
                progress, stop);
        });
}

} // namespace vedra
