// Ctrl+E: the marked range (or the whole recording) of the checked channels handed on as
// standard files with their checksums, by the library's range export on a worker thread. A
// progress window with Cancel follows it; the notice line names what was written; a cancel or
// a failure leaves nothing behind.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QStandardPaths>

#include "player/engine/range_export_job.h"
#include "resources/resource_ids.h"
#include "shell/VedraPlayerDlg.h"
#include "shell/checked_cameras.h"
#include "shell/job_progress.h"
#include "shell/message_box.h"
#include "shell/range_export_dialog.h"
#include "view/recording_clock.h"

namespace vedra {
namespace {

constexpr int kProgressPollMs = 100;

QString DefaultExportFolder()
{
    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    return QDir(videos.isEmpty() ? QDir::homePath() : videos).filePath(QStringLiteral("Vedra Media Player"));
}

} // namespace

void CVedraPlayerDlg::OnExportRange()
{
    Recording* recording = deck_->recording();
    if (recording == nullptr || !HasCurrent())
        return;
    if (rangeExport_ && rangeExport_->Running()) {
        ShowNotice(QStringLiteral("An export is still running"));
        return;
    }
    RangeExportRequest request;
    request.recording = QFile::encodeName(files_->filePath(files_->currentFile())).toStdString();
    request.channels = CheckedCameras(*deck_);
    QStringList cameras;
    for (int camera : request.channels)
        cameras << QString::number(camera);
    if (request.channels.empty()) {
        ShowNotice(QStringLiteral("No camera is checked: nothing to export"));
        return;
    }
    // Deck times are the recording's own less where its first file begins.
    auto recordingMs = [recording](double deckSeconds) {
        return static_cast<int64_t>(std::llround(deckSeconds * 1000.0)) + recording->timeBaseMs;
    };
    QString range = QStringLiteral("the whole recording");
    if (deck_->markIn() >= 0)
        request.fromMs = recordingMs(deck_->markIn());
    if (deck_->markOut() >= 0)
        request.toMs = recordingMs(deck_->markOut());
    if (request.fromMs || request.toMs)
        range = (request.fromMs ? RecorderTimeText(*recording, deck_->markIn()) : QStringLiteral("the start")) +
                QStringLiteral(" to ") +
                (request.toMs ? RecorderTimeText(*recording, deck_->markOut()) : QStringLiteral("the end"));

    ExportChoice proposed = lastExport_;
    if (proposed.folder.isEmpty())
        proposed.folder = DefaultExportFolder();
    const bool hasAudio = recording->audioGraph != nullptr;
    const QString camerasText = cameras.join(QStringLiteral(", "));
    const std::optional<ExportChoice> choice = askExport
                                                   ? askExport(this, range, camerasText, hasAudio, proposed)
                                                   : AskExportChoice(this, range, camerasText, hasAudio, proposed);
    if (!choice)
        return;
    lastExport_ = *choice;
    request.outputFolder = QFile::encodeName(choice->folder).toStdString();
    request.format = choice->format;
    request.singleFile = choice->singleFile;
    request.audio = choice->audio && hasAudio;
    request.sign = choice->sign;
    request.burnIn = choice->burnIn;
    request.timeTrack = !choice->burnIn; // the time is in the pictures
    request.toolVersion = VEDRA_VERSION;

    if (!rangeExport_)
        rangeExport_ = std::make_unique<RangeExportJob>();
    if (!rangeExport_->Start(std::move(request), this))
        return;
    exportProgress_ = OpenJobProgress(this, QStringLiteral("Export"),
                                      QStringLiteral("Exporting cameras %1...").arg(camerasText), [this] {
                                          if (rangeExport_)
                                              rangeExport_->Cancel();
                                      });
    exportPoll_.start(kProgressPollMs);
}

void CVedraPlayerDlg::FollowRangeExport()
{
    if (exportProgress_ && rangeExport_)
        exportProgress_->setValue(static_cast<int>(rangeExport_->Progress() * kJobProgressSteps));
}

// The worker has ended (MsgGraphNotify with kRangeExportNotifyParam).
void CVedraPlayerDlg::OnRangeExportEnded()
{
    exportPoll_.stop();
    CloseJobProgress(exportProgress_);
    if (!rangeExport_)
        return;
    const std::optional<RangeExportResult> result = rangeExport_->TakeResult();
    if (!result)
        return;
    if (result->status == RangeExportStatus::Cancelled) {
        ShowNotice(QStringLiteral("Export cancelled: nothing was kept"));
        return;
    }
    if (result->status != RangeExportStatus::Done) {
        ShowMessageBox(QString::fromStdString(result->error), {}, this);
        return;
    }
    QStringList written;
    for (const ExportedFile& file : result->files)
        written << QString::fromStdString(file.path);
    AnnounceWritten(written);
    if (!result->manifestPath.empty())
        ShowNotice(
            noticeText() +
            QStringLiteral(", signed: %1").arg(QFileInfo(QString::fromStdString(result->manifestPath)).fileName()));
}

bool CVedraPlayerDlg::exportRunning() const
{
    return rangeExport_ && rangeExport_->Running();
}

void CVedraPlayerDlg::StopRangeExport()
{
    if (!rangeExport_)
        return;
    rangeExport_->Cancel();
    rangeExport_.reset(); // waits for the worker; it removes what it wrote
    exportPoll_.stop();
    CloseJobProgress(exportProgress_);
}

} // namespace vedra
