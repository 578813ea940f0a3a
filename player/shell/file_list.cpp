// The file list after loading: Close File, Close All File, switching the screen to another
// open recording, Pre and Next in the folder of the recording loaded last, the three window
// messages that add, open and remove entries, and the File List submenu.
#include <QFileInfo>
#include <QMenu>
#include <QSlider>

#include <cwchar>

#include "resources/resource_ids.h"
#include "resources/resources.h"
#include "shell/VedraPlayerDlg.h"

namespace vedra {
namespace {

constexpr int kSwitchPauseMs = 100;
constexpr int kFileListItems = ID_FILE_LIST_LAST - ID_FILE_LIST_FIRST + 1;

} // namespace

void CVedraPlayerDlg::CloseFile()
{
    if (!IsOpenEntry(currentFile))
        return;
    const int closed = currentFile;
    const int r = fileList[closed]->recordingIndex;
    for (auto& entry : fileList)
        if (entry->isOpen && entry->recordingIndex > r)
            --entry->recordingIndex;
    CloseFiles(false);
    const int n = static_cast<int>(fileList.size());
    currentFile = -1;
    // Nothing is on screen unless the Next below opens a recording.
    setWindowTitle(LoadString(IDS_TITLE));
    if (closed < n - 1)
        NextInFolder();
}

void CVedraPlayerDlg::CloseAllFiles()
{
    CloseFiles(true);
    currentFile = -1;
    setWindowTitle(LoadString(IDS_TITLE));
}

// The recording's own layout: its one 640 x 480 channel in the large pane, else the quad view.
void CVedraPlayerDlg::ShowRecording(int r)
{
    Recording* recording = r >= 0 && r < static_cast<int>(recordings.size()) ? recordings[r].get() : nullptr;
    if (recording != nullptr && recording->singleView) {
        deck_->ShowSingleView(recording);
    } else {
        deck_->ShowQuadView(recording);
    }
}

// Shows recordings[r] and restarts its checked channels at the trackbar position progress,
// which the detaches of the recording shown before have reset.
void CVedraPlayerDlg::ShowAndRestart(int r, int progress)
{
    if (r < 0 || r >= static_cast<int>(recordings.size()))
        return;
    ShowRecording(r);
    trackbar(IDC_PROGRESS)->setValue(progress);
    trackbar(IDC_PROGRESS)->setSliderPosition(progress);
    OnPause(); // every checked channel paused at the trackbar's time
    PauseKeepingWindowPainted(kSwitchPauseMs);
    OnPlay();
    FinishDeferredClose();
}

// The file on screen becomes the entry that names recordings[r], so currentFile always names
// what is shown.
void CVedraPlayerDlg::SwitchToRecording(int r)
{
    if (r < 0 || r >= static_cast<int>(recordings.size()))
        return;
    const int progress = trackbar(IDC_PROGRESS)->sliderPosition();
    TakeCurrentFileOffScreen();
    for (int i = 0; i < static_cast<int>(fileList.size()); ++i)
        if (fileList[i]->isOpen && fileList[i]->recordingIndex == r)
            currentFile = i;
    ShowAndRestart(r, progress);
}

void CVedraPlayerDlg::PreviousInFolder()
{
    if (folderRecordings.isEmpty() || folderIndex < 0)
        return;
    const int t = folderIndex - 1;
    if (t < 0)
        return;
    OpenFolderNeighbour(t);
}

void CVedraPlayerDlg::NextInFolder()
{
    if (folderRecordings.isEmpty() || folderIndex < 0)
        return;
    const int t = folderIndex + 1;
    if (t >= folderRecordings.size())
        return;
    OpenFolderNeighbour(t);
}

void CVedraPlayerDlg::OpenFolderNeighbour(int t)
{
    if (t < 0 || t >= folderRecordings.size())
        return;
    folderIndex = t;
    const QString path = folderRecordings[t];
    if (static_cast<int>(recordings.size()) >= maxOpenRecordings)
        EvictRecordings();
    // Always a new entry, also when the same file is listed already.
    fileList.push_back(std::make_unique<FileEntry>(FileEntry{path}));
    const int b = static_cast<int>(fileList.size()) - 1;
    const int r = static_cast<int>(recordings.size());
    fileList[b]->isOpen = true;
    fileList[b]->recordingIndex = r;
    if (r < maxOpenRecordings)
        slotFileIndex[r] = b;
    OpenRecording(path, b, false);
}

intptr_t CVedraPlayerDlg::AddFileEntry(intptr_t lParam)
{
    const auto* text = reinterpret_cast<const wchar_t*>(lParam);
    if (text == nullptr)
        return 0;
    fileList.push_back(std::make_unique<FileEntry>(
        FileEntry{QString::fromWCharArray(text, static_cast<qsizetype>(std::wcslen(text)))}));
    return 0;
}

intptr_t CVedraPlayerDlg::OpenFileEntry(intptr_t lParam)
{
    if (lParam < 0 || lParam >= static_cast<intptr_t>(fileList.size()))
        return 0;
    const int a = static_cast<int>(lParam);
    if (static_cast<int>(recordings.size()) >= maxOpenRecordings)
        EvictRecordings();
    FileEntry& entry = *fileList[a];
    if (entry.isOpen && entry.recordingIndex >= 0 && entry.recordingIndex < static_cast<int>(recordings.size())) {
        // Shown again from memory: no file is read.
        deck_->ResetTotalTime();
        SwitchToRecording(entry.recordingIndex);
        if (a < static_cast<int>(fileList.size()))
            setWindowTitle(fileList[a]->path);
        return 0;
    }
    const int r = static_cast<int>(recordings.size());
    entry.isOpen = true;
    entry.recordingIndex = r;
    if (r < maxOpenRecordings)
        slotFileIndex[r] = a;
    OpenRecording(entry.path, a, true);
    return 0;
}

void CVedraPlayerDlg::RemoveEntry(int index)
{
    fileList.erase(fileList.begin() + index);
    for (int& file : slotFileIndex)
        if (file > index)
            --file;
}

intptr_t CVedraPlayerDlg::RemoveFileEntry(intptr_t lParam)
{
    if (lParam == currentFile) {
        CloseFile();
        return 0;
    }
    if (lParam < 0 || lParam >= static_cast<intptr_t>(fileList.size()))
        return 0;
    const int a = static_cast<int>(lParam);
    const int r = fileList[a]->recordingIndex;
    if (r >= 0 && r < static_cast<int>(recordings.size())) {
        for (auto& entry : fileList)
            if (entry->isOpen && entry->recordingIndex > r)
                --entry->recordingIndex;
        DestroyRecording(recordings[r].get());
        recordings.erase(recordings.begin() + r);
        if (r < static_cast<int>(workFolders.size())) {
            DeleteWorkFolder(workFolders[r]);
            workFolders.erase(workFolders.begin() + r);
        }
        ForgetRecordingSlot(r);
    }
    if (currentFile > a)
        --currentFile;
    RemoveEntry(a);
    return 0;
}

// One item per entry, labelled with its file name; the first eleven entries have ids.
void CVedraPlayerDlg::FillFileListMenu()
{
    QMenu* menu = fileMenu ? fileMenu->findChild<QMenu*>("File List") : nullptr;
    if (menu == nullptr)
        return;
    menu->clear();
    const int count = std::min(static_cast<int>(fileList.size()), kFileListItems);
    for (int i = 0; i < count; ++i) {
        QAction* action = menu->addAction(QFileInfo(fileList[i]->path).fileName());
        action->setData(ID_FILE_LIST_FIRST + i);
        action->setObjectName(QString::number(ID_FILE_LIST_FIRST + i));
        action->setToolTip(fileList[i]->path);
        connect(action, &QAction::triggered, this, [this, i] { PostMessage(MsgOpenFileEntry, 0, i); });
    }
    if (count == 0) {
        QAction* placeholder = menu->addAction(QStringLiteral("(empty)"));
        placeholder->setData(ID_FILE_LIST_FIRST);
        placeholder->setEnabled(false);
    }
    UpdateMenuChecks();
}

} // namespace vedra
