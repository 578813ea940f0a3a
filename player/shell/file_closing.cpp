// Closing recordings: taking the one on screen off the screen, destroying their graphs and
// deleting their working folders, for one file, for all files and to make room.
#include <QCheckBox>

#include "resources/resource_ids.h"
#include "resources/resources.h"
#include "shell/VedraPlayerDlg.h"
#include "shell/native_path.h"
#include "shell/work_tree.h"

namespace vedra {

bool CVedraPlayerDlg::IsOpenEntry(int index) const
{
    return index >= 0 && index < static_cast<int>(fileList.size()) && fileList[index]->isOpen;
}

void CVedraPlayerDlg::TakeCurrentFileOffScreen()
{
    if (!IsOpenEntry(currentFile) || recordings.empty())
        return;
    deck_->TakeOffScreen();
}

void CVedraPlayerDlg::DestroyRecording(Recording* recording)
{
    if (recording == nullptr)
        return;
    auto release = [this](std::unique_ptr<PlaybackGraph>& graph) {
        if (!graph)
            return;
        // Whoever closes detaches first; a slot must still never keep a destroyed graph.
        deck_->Forget(graph.get());
        graph->Destroy();
        graph.reset();
    };
    for (auto& graph : recording->channelGraphs)
        release(graph);
    recording->channelGraphs.clear();
    release(recording->audioGraph);
}

void CVedraPlayerDlg::DeleteWorkFolder(const QString& folder)
{
    // Only a working folder this player made goes, and its removal follows no link.
    RemoveWorkFolder(NativePath(folder));
}

// Keeps slotFileIndex aligned with recordings when position r goes.
void CVedraPlayerDlg::ForgetRecordingSlot(int r)
{
    for (int k = r; k >= 0 && k < 4; ++k)
        slotFileIndex[k] = slotFileIndex[k + 1];
    slotFileIndex[4] = -1;
}

bool CVedraPlayerDlg::CloseFiles(bool all)
{
    TakeCurrentFileOffScreen();
    if (!all) {
        if (!IsOpenEntry(currentFile))
            return false;
        const int r = fileList[currentFile]->recordingIndex;
        if (r < 0 || r >= static_cast<int>(recordings.size()))
            return false;
        DestroyRecording(recordings[r].get());
        // recordings and workFolders always lose the same position.
        if (r < static_cast<int>(workFolders.size())) {
            DeleteWorkFolder(workFolders[r]);
            workFolders.erase(workFolders.begin() + r);
        }
        recordings.erase(recordings.begin() + r);
        ForgetRecordingSlot(r);
        RemoveEntry(currentFile);
        return true;
    }
    fileList.clear();
    deck_->ClearPlaying();
    CloseAllRecordings();
    return true;
}

void CVedraPlayerDlg::CloseAllRecordings()
{
    for (auto& recording : recordings)
        DestroyRecording(recording.get());
    recordings.clear();
    for (const QString& folder : workFolders)
        DeleteWorkFolder(folder);
    workFolders.clear();
    for (int& index : slotFileIndex)
        index = -1;
}

void CVedraPlayerDlg::EvictRecordings()
{
    TakeCurrentFileOffScreen();
    CloseAllRecordings();
    for (auto& entry : fileList) {
        entry->isOpen = false;
        entry->recordingIndex = -1;
    }
    // Nothing is on screen until the recording these made room for opens, if it does.
    currentFile = -1;
    setWindowTitle(LoadString(IDS_TITLE));
}

} // namespace vedra
