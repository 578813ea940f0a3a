// The Avi command (1031): every checked channel is copied into its own AVI file in the folder
// the user picks, one channel after another. The export reports its end as MsgGraphNotify
// with parameter 123; that starts the next channel. The Avi button is disabled meanwhile.
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QThread>

#include "player/engine/local_time_name.h"
#include "resources/resource_ids.h"
#include "shell/VedraPlayerDlg.h"
#include "shell/message_box.h"

namespace vedra {
namespace {

constexpr unsigned long kChainPauseMs = 10;

QString ChooseWithSaveDialog(QWidget* owner, const QString& proposedName)
{
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("avi"));
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(QStringLiteral("Avi File (*.avi)"));
    dialog.selectFile(proposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

} // namespace

void CVedraPlayerDlg::OnAvi()
{
    if (!HasCurrent())
        return;
    const QString proposed = QString::fromStdString(LocalTimeNameNow());
    nextExportChannel = 0;
    exported_.clear();
    const QString chosen = chooseExportFile ? chooseExportFile(this, proposed) : ChooseWithSaveDialog(this, proposed);
    if (chosen.isEmpty())
        return;
    // Only the folder counts; every export is named after its own start time.
    exportJob.outputFolder = (QFileInfo(chosen).absolutePath() + '/').toStdString();
    ExportNextChannel();
}

void CVedraPlayerDlg::ExportNextChannel()
{
    for (int i = nextExportChannel; i < 4; ++i) {
        PlaybackGraph* graph = deck_->CheckedGraph(i);
        if (graph == nullptr)
            continue;
        control(IDC_AVI)->setEnabled(false);
        PlaybackGraph* audioGraph = deck_->AudioSlot();
        const std::string audio = audioGraph != nullptr ? audioGraph->FilePath() : std::string();
        ExportStep(audio, this, exportJob, graph->FilePath());
        nextExportChannel = i + 1;
        return;
    }
    // The chain has ended: the window says what it wrote.
    AnnounceWritten(exported_);
    exported_.clear();
}

void CVedraPlayerDlg::OnExportNotify()
{
    if (CheckExportCompletion(exportJob) != 2)
        return;
    control(IDC_AVI)->setEnabled(true);
    // An export that wrote nothing must not pass for one that worked.
    if (!exportJob.lastSucceeded)
        ShowMessageBox(QStringLiteral("Failed to write the AVI file, please check it !"), {}, this);
    else
        exported_ << QString::fromStdString(exportJob.lastOutputPath);
    QThread::msleep(kChainPauseMs);
    ExportNextChannel();
}

} // namespace vedra
