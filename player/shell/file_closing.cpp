// Closing recordings: destroying their graphs and deleting their working folders.
#include <QCheckBox>

#include "resources/resource_ids.h"
#include "shell/VedraPlayerDlg.h"
#include "shell/work_tree.h"

namespace vedra {

void CVedraPlayerDlg::DestroyRecording(Recording* recording) {
  if (recording == nullptr) return;
  auto release = [this](std::unique_ptr<PlaybackGraph>& graph) {
    if (!graph) return;
    // Whoever closes detaches first; a slot must still never keep a destroyed graph.
    for (PlaybackGraph*& slot : graphSlots)
      if (slot == graph.get()) slot = nullptr;
    graph->Destroy();
    graph.reset();
  };
  for (auto& graph : recording->channelGraphs) release(graph);
  recording->channelGraphs.clear();
  release(recording->audioGraph);
  if (currentRecording == recording) currentRecording = nullptr;
}

void CVedraPlayerDlg::DeleteWorkFolder(const QString& folder) {
  // Only working folders this player made: never anything outside the work root.
  if (folder.isEmpty() || !IsInsideWorkRoot(folder.toStdString())) return;
  DeleteTree(folder.toStdString());
}

bool CVedraPlayerDlg::CloseFiles(bool all) {
  const bool currentOpen = currentFile >= 0 && currentFile < static_cast<int>(fileList.size()) &&
                           fileList[currentFile]->isOpen;
  if (currentOpen && !recordings.empty()) {
    const int r = fileList[currentFile]->recordingIndex;
    if (r >= 0 && r < static_cast<int>(recordings.size())) {
      currentRecording = recordings[r].get();
      TakeOffScreen();
    }
  }
  if (!all) {
    if (!currentOpen) return false;
    const int r = fileList[currentFile]->recordingIndex;
    if (r < 0 || r >= static_cast<int>(recordings.size())) return false;
    DestroyRecording(recordings[r].get());
    currentRecording = nullptr;
    if (r < static_cast<int>(workFolders.size())) {
      DeleteWorkFolder(workFolders[r]);
      workFolders.erase(workFolders.begin() + r);
    }
    recordings.erase(recordings.begin() + r);
    fileList.erase(fileList.begin() + currentFile);
    return true;
  }
  fileList.clear();
  playingMask = 0;
  for (auto& recording : recordings) DestroyRecording(recording.get());
  recordings.clear();
  currentRecording = nullptr;
  for (const QString& folder : workFolders) DeleteWorkFolder(folder);
  workFolders.clear();
  return true;
}

}  // namespace vedra
