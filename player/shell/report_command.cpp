// Ctrl+R, Report...: the case report of the open recordings (their bookmarks, each camera's
// picture, the signed exports beside them and in the last export's folder) written as a PDF on a worker thread, with a
// progress window and Cancel; the notice line says where it went, a box why it failed.
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>
#include <QStandardPaths>

#include "shell/VedraPlayerDlg.h"
#include "shell/job_progress.h"
#include "shell/message_box.h"

namespace vedra {
namespace {

constexpr int kProgressPollMs = 100;

QString ChooseReportWithDialog(QWidget* owner, const QString& proposed)
{
    return QFileDialog::getSaveFileName(owner, QStringLiteral("Report"), proposed, QStringLiteral("PDF (*.pdf)"));
}

} // namespace

void CVedraPlayerDlg::OnReport()
{
    if (report_ && report_->Running()) {
        ShowNotice(QStringLiteral("A report is still being written"));
        return;
    }
    CaseReportRequest request;
    for (int r = 0; r < files_->recordingCount(); ++r)
        request.recordings.push_back(QFile::encodeName(files_->filePath(files_->FileIndexOf(r))).toStdString());
    if (request.recordings.empty()) {
        ShowNotice(QStringLiteral("No recording is open: nothing to report"));
        return;
    }
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        documents = QDir::homePath();
    const QString proposed = QDir(documents).filePath(QStringLiteral("Case report.pdf"));
    QString path = chooseReportFile ? chooseReportFile(this, proposed) : ChooseReportWithDialog(this, proposed);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".pdf");
    request.out = QFile::encodeName(path).toStdString();
    request.toolVersion = VEDRA_VERSION;
    // Signed exports made from the window lie in its export folder, not beside the recordings.
    if (!lastExport_.folder.isEmpty() && QFileInfo(lastExport_.folder).isDir())
        request.manifestFolders.push_back(QFile::encodeName(lastExport_.folder).toStdString());

    if (!report_) {
        report_ = std::make_unique<CaseReportJob>();
        connect(&reportPoll_, &QTimer::timeout, this, &CVedraPlayerDlg::FollowReport);
    }
    if (!report_->Start(std::move(request)))
        return;
    reportPath_ = path;
    reportProgress_ = OpenJobProgress(this, QStringLiteral("Report"), QStringLiteral("Writing the report..."), [this] {
        if (report_)
            report_->Cancel();
    });
    reportPoll_.start(kProgressPollMs);
}

bool CVedraPlayerDlg::reportRunning() const
{
    return report_ && report_->Running();
}

void CVedraPlayerDlg::FollowReport()
{
    if (!report_)
        return;
    if (report_->Running()) {
        if (reportProgress_)
            reportProgress_->setValue(static_cast<int>(report_->Progress() * kJobProgressSteps));
        return;
    }
    reportPoll_.stop();
    const bool cancelled = reportProgress_ && reportProgress_->wasCanceled();
    CloseJobProgress(reportProgress_);
    const std::optional<CaseReportResult> result = report_->TakeResult();
    if (!result)
        return;
    if (result->written) {
        ShowNotice(QStringLiteral("Report written: %1 (%2 bookmark(s), %3 picture(s))")
                       .arg(reportPath_)
                       .arg(result->bookmarks)
                       .arg(result->pictures));
    } else if (cancelled) {
        ShowNotice(QStringLiteral("Report cancelled: nothing was written"));
    } else {
        ShowMessageBox(QStringLiteral("The report was not written: ") + QString::fromStdString(result->error),
                       QStringLiteral("Report"), this);
    }
}

void CVedraPlayerDlg::StopReport()
{
    if (!report_)
        return;
    report_->Cancel();
    report_.reset(); // waits for the worker; a stopped report writes nothing
    reportPoll_.stop();
    CloseJobProgress(reportProgress_);
}

} // namespace vedra
