// Opening recordings: the Load command, dropped files and the loader that splits a recording,
// builds one graph per channel file and per audio file, picks the view and starts playback.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <future>

#include "krv/krv_reader.h"
#include "krv/krv_recording_name.h"
#include "resources/resource_ids.h"
#include "shell/VedraPlayerDlg.h"
#include "shell/message_box.h"
#include "shell/native_path.h"

namespace vedra {
namespace {

constexpr int kOpenLimit = CVedraPlayerDlg::maxOpenRecordings;

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

void CVedraPlayerDlg::OnLoad()
{
    const QStringList chosen = chooseFiles ? chooseFiles(this) : ChooseWithFileDialog(this);
    if (chosen.isEmpty())
        return;
    const int first = static_cast<int>(fileList.size());
    // Five or more (drops may have opened more than five): close them all first.
    if (static_cast<int>(recordings.size()) >= kOpenLimit)
        EvictRecordings();
    for (const QString& path : chosen)
        fileList.push_back(std::make_unique<FileEntry>(FileEntry{path}));
    const int r = static_cast<int>(recordings.size());
    fileList[first]->isOpen = true;
    fileList[first]->recordingIndex = r;
    if (r < kOpenLimit)
        slotFileIndex[r] = first;
    OpenRecording(fileList[first]->path, first, true);
}

void CVedraPlayerDlg::OnDropFiles(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    const int first = static_cast<int>(fileList.size());
    for (const QString& path : paths)
        fileList.push_back(std::make_unique<FileEntry>(FileEntry{path}));
    fileList[first]->isOpen = true;
    fileList[first]->recordingIndex = static_cast<int>(recordings.size());
    OpenRecording(fileList[first]->path, first, true); // the others are only listed
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

ConversionOutcome CVedraPlayerDlg::RunConversion(const QString& path)
{
    if (!convertRecording)
        return {NativePath(path), {}, {}, 0};
    // The split runs on a worker thread; the window stays painted and shows a modal progress
    // indication while it takes long. The worker touches no dialog state.
    auto convert = convertRecording;
    std::future<ConversionOutcome> done =
        std::async(std::launch::async, [convert, p = NativePath(path)] { return convert(p); });
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

void CVedraPlayerDlg::OpenRecording(QString path, int fileIndex, bool scanFolder)
{
    OpenRecordingSteps(std::move(path), fileIndex, scanFolder);
    FinishDeferredClose();
}

void CVedraPlayerDlg::FinishDeferredClose()
{
    if (closeDeferred_ && loaderBusy_ == 0) {
        closeDeferred_ = false;
        PostMessage(MsgClose, 0, 0);
    }
}

// The recording on screen stays there, playing, until the new one is known to open.
void CVedraPlayerDlg::OpenRecordingSteps(QString path, int fileIndex, bool scanFolder)
{
    // An early stop leaves the caller's entry not open: no entry may name a recording that
    // nobody holds.
    auto fail = [&](const char* message) {
        if (message != nullptr)
            ShowMessageBox(QString::fromLatin1(message), {}, this);
        if (fileIndex >= 0 && fileIndex < static_cast<int>(fileList.size())) {
            const int r = fileList[fileIndex]->recordingIndex;
            if (r >= static_cast<int>(recordings.size()) && r < kOpenLimit)
                slotFileIndex[r] = -1;
            fileList[fileIndex]->isOpen = false;
            fileList[fileIndex]->recordingIndex = -1;
        }
    };

    if (!krv_is_recording_name(NativePath(path)) || QFileInfo(path).isDir())
        return fail("Not supported file format !!!");

    // Paths keep the file system's bytes from end to end, so no conversion can fail or rename
    // the file.
    const std::string native = NativePath(path);
    uint8_t definition = 0;
    const int checked = krv_read_audio_definition(native, definition);
    if (checked == KRV_ERROR_FAIL_OPEN_FILE)
        return fail("Failed to open the file to read, please check it !");
    if (checked < 0)
        return fail(kKrvAudioDefinitionError);
    const int audioChannel = definition;

    const ConversionOutcome outcome = RunConversion(path);
    for (const std::string& message : outcome.messages)
        ShowMessageBox(QString::fromStdString(message), {}, this);
    if (outcome.result.empty())
        return fail(nullptr);
    const QString result = PathFromNative(outcome.result);
    const bool split = outcome.result != native;
    if (split)
        workFolders.push_back(result);

    recordings.push_back(std::make_unique<Recording>());
    Recording* recording = recordings.back().get();
    recording->creationDate = outcome.creationDate;
    uint8_t channelMask = 0;
    int visibleCount = 0;
    int vgaSum = 0;

    auto newGraph = [this]() -> std::unique_ptr<PlaybackGraph> { return graphFactory ? graphFactory() : nullptr; };
    if (split) {
        // One graph per file the split wrote, in channel order: the audio file, then the channel
        // files. The audio file takes no channel position, so channel files take bits by their place
        // among the files kept. An A/V-sync split's channel files (the audio inside one of them) are
        // not played: the recording opens empty.
        const KrvSplitFiles& written = outcome.files;
        // Every file plays on the recording's timeline, which the deck shows from its first media.
        recording->timeBaseMs = written.startMs;
        int counter = 0;
        for (const KrvSplitFile& file : written.files) {
            const double offset = static_cast<double>(file.offsetMs) / 1000.0;
            if (file.output == 0) {
                recording->audioGraph = newGraph();
                if (recording->audioGraph && recording->audioGraph->Create(this)) {
                    recording->audioGraph->SetTimeOffset(offset);
                    if (!recording->audioGraph->RenderMediaFile(file.path, true)) {
                        WarnIfDecoderMissing(*recording->audioGraph, true);
                        recording->audioGraph->Destroy();
                        recording->audioGraph.reset();
                    }
                    --counter; // the audio file takes no channel position
                } else {
                    recording->audioGraph.reset();
                }
            } else if (!written.avSync) {
                std::unique_ptr<PlaybackGraph> graph = newGraph();
                // A graph that cannot be created is dropped like one that does not render, so every
                // graph kept has its bit in channelMask.
                if (graph && graph->Create(this))
                    graph->SetTimeOffset(offset);
                if (graph && graph->RenderMediaFile(file.path, true)) {
                    if (counter >= 0 && counter < 8)
                        channelMask |= static_cast<uint8_t>(1u << counter);
                    vgaSum += graph->vgaCount();
                    ++visibleCount;
                    recording->channelGraphs.push_back(std::move(graph));
                } else if (graph) {
                    WarnIfDecoderMissing(*graph, true);
                    graph->Destroy();
                }
            }
            ++counter;
        }
        if (scanFolder) {
            const QFileInfo info(path);
            const QString folder = info.absolutePath() + '/';
            QDir::setCurrent(folder);
            folderRecordings.clear();
            folderIndex = -1;
            folderIndex = ScanFolderRecordings(folder, info.absoluteFilePath());
        }
    } else {
        // Played directly.
        workFolders.push_back(QString());
        std::unique_ptr<PlaybackGraph> graph = newGraph();
        if (graph && graph->Create(this) && graph->RenderMediaFile(native, true)) {
            channelMask = 1;
            vgaSum = graph->vgaCount();
            recording->channelGraphs.push_back(std::move(graph));
        } else {
            if (graph) {
                WarnIfDecoderMissing(*graph, true);
                graph->Destroy();
            }
            // Nothing of it plays: it did not open, and what was on screen stays.
            recordings.pop_back();
            workFolders.pop_back();
            return fail(nullptr);
        }
    }
    recording->channelMask = channelMask;
    recording->visibleCount = visibleCount;
    recording->audioChannel = audioChannel;

    // A 640 x 480 channel alone is shown in the large pane.
    recording->singleView = vgaSum == 1;
    // The recording on screen leaves the screen; it stays open.
    deck_->BeginLoading();
    deck_->TakeOffScreen();
    deck_->ResetTotalTime();
    PauseKeepingWindowPainted(openPauseMs);
    if (fileIndex < 0 || fileIndex >= static_cast<int>(fileList.size()))
        return;
    currentFile = fileIndex;
    ShowRecording(fileList[currentFile]->recordingIndex);
    setWindowTitle(fileList[currentFile]->path);
    OnPlay();
}

int CVedraPlayerDlg::ScanFolderRecordings(const QString& folder, const QString& path)
{
    int position = 0;
    int exact = -1;
    int count = 0;
    const QDir dir(folder);
    if (!dir.exists())
        return 0;
    const QFileInfoList entries = dir.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& entry : entries) {
        const QString full = folder + entry.fileName();
        if (entry.isDir() || !entry.exists())
            continue;
        if (!krv_is_recording_name(NativePath(full)))
            continue;
        // Names differing only in case are different files here; an exact match wins.
        if (full == path)
            exact = count;
        if (full.compare(path, Qt::CaseInsensitive) == 0)
            position = count;
        folderRecordings << full;
        ++count;
    }
    return exact >= 0 ? exact : position;
}

} // namespace vedra
