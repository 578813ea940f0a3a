#include "range_export_job.h"

namespace vedra {

bool RangeExportJob::Start(RangeExportRequest request, INotifyTarget* notify)
{
    return job_.Start(
        [request = std::move(request)](const WorkerJob<RangeExportResult>::Progress& progress, std::stop_token stop) {
            return RunRangeExport(request, progress, stop);
        },
        [notify] {
            if (notify)
                notify->PostMessage(MsgGraphNotify, kRangeExportNotifyParam);
        });
}

} // namespace vedra
