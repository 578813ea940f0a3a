// Opening recordings from the window: the Load command, dropped files, and the window's part of
// loading (the split's progress, the loader's waits with the window painted, message boxes and
// the title), which the recordings ask of it.
#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QProgressDialog>
#include <QSlider>
#include <QTimer>

#include <future>

#include "resources/resource_ids.h"
#include "resources/resources.h"
#include "shell/VedraPlayerDlg.h"
#include "shell/folder_timeline_host.h"
#include "shell/message_box.h"

namespace vedra {
namespace {

QStringList ChooseWithFileDialog(QWidget* owner)
{
    QFileDialog dialog(owner);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    // The text before the hidden pattern list is what the user sees; the patterns take the
    // suffixes in any case, as the loader does.
    dialog.setNameFilter(QStringLiteral("KRV File (*.krv;*.asf) (*.[kK][rR][vV] *.[aA][sS][fF])"));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

} // namespace

class CVedraPlayerDlg::FilesHost : public RecordingsHost {
public:
    explicit FilesHost(CVedraPlayerDlg& dialog) : dialog_(dialog) {}
    void Tell(const QString& text, const QString& caption) override { ShowMessageBox(text, caption, &dialog_); }
    ConversionOutcome Split(const std::function<ConversionOutcome()>& job) override
    {
        return dialog_.RunConversion(job);
    }
    void Notice(const QString& text) override { dialog_.ShowNotice(text); }
    void Pause(int ms) override { dialog_.PauseKeepingWindowPainted(ms); }
    void CurrentChanged() override
    {
        const int current = dialog_.files().currentFile();
        dialog_.setWindowTitle(current < 0 ? LoadString(IDS_TITLE) : dialog_.files().filePath(current));
        dialog_.ShowBookmarks();
        if (dialog_.timelineHost_)
            dialog_.timelineHost_->Follow();
    }
    int TrackbarPosition() const override { return dialog_.trackbar(IDC_PROGRESS)->sliderPosition(); }
    void SetTrackbarPosition(int position) override
    {
        dialog_.trackbar(IDC_PROGRESS)->setValue(position);
        dialog_.trackbar(IDC_PROGRESS)->setSliderPosition(position);
    }

private:
    CVedraPlayerDlg& dialog_;
};

std::unique_ptr<RecordingsHost> CVedraPlayerDlg::MakeFilesHost()
{
    return std::make_unique<FilesHost>(*this);
}

void CVedraPlayerDlg::OnLoad()
{
    const QStringList chosen = chooseFiles ? chooseFiles(this) : ChooseWithFileDialog(this);
    if (chosen.isEmpty())
        return;
    const int first = files_->fileCount();
    for (const QString& path : chosen)
        files_->AddFileEntry(path);
    // Five or more open (drops may have opened more than five): they all close first.
    files_->OpenFileEntry(first);
    FinishDeferredClose();
}

void CVedraPlayerDlg::OnDropFiles(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    const int first = files_->fileCount();
    for (const QString& path : paths)
        files_->AddFileEntry(path);
    files_->OpenFileEntry(first, false); // the others are only listed
    FinishDeferredClose();
}

void CVedraPlayerDlg::PauseKeepingWindowPainted(int ms)
{
    if (ms <= 0)
        return;
    ++loaderBusy_;
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    --loaderBusy_;
}

ConversionOutcome CVedraPlayerDlg::RunConversion(const std::function<ConversionOutcome()>& job)
{
    // The split runs on a worker thread; the window stays painted and shows a modal progress
    // indication while it takes long. The worker touches no dialog state.
    std::future<ConversionOutcome> done = std::async(std::launch::async, job);
    QProgressDialog progress(QStringLiteral("Splitting the recording..."), QString(), 0, 0, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    progress.setValue(0);
    ++loaderBusy_;
    while (done.wait_for(std::chrono::milliseconds(15)) != std::future_status::ready)
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    --loaderBusy_;
    return done.get();
}

void CVedraPlayerDlg::FinishDeferredClose()
{
    if (closeDeferred_ && loaderBusy_ == 0) {
        closeDeferred_ = false;
        PostMessage({.msg = MsgClose});
    }
}

} // namespace vedra
