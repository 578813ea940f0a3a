// Transport and timeline: Play, Pause, Stop and Replay act on every checked channel together
// and on the audio; the 100 ms timer follows the lowest playing slot; graph events end
// playback. Progress position p (0..1000) stands for maxDuration * p / 1000 seconds.
#include <QCheckBox>
#include <QSlider>

#include "resources/resource_ids.h"
#include "shell/VedraPlayerDlg.h"

namespace vedra {

void CVedraPlayerDlg::OnPlay() {
  if (currentFile == -1) return;
  const int p = TrackbarPos(IDC_PROGRESS);
  const float t = maxDuration * static_cast<float>(p) / 1000.0f;
  for (int i = 0; i < 4; ++i) {
    const int k = Rank(channelMask, i);
    if (IsChecked(IDC_CHANNEL_1 + i) && graphSlots[1 + k] != nullptr) {
      graphSlots[1 + k]->SeekTo(t);
      graphSlots[1 + k]->Run();
      playingMask |= static_cast<uint8_t>(1u << k);
    }
    // The channel selection is locked while playing.
    if (paneInUse[i]) checkBox(IDC_CHANNEL_1 + i)->setEnabled(false);
  }
  if (IsChecked(IDC_AUDIO) && graphSlots[0] != nullptr) graphSlots[0]->Run();
}

void CVedraPlayerDlg::OnPause() {
  if (currentFile == -1) return;
  const double t = static_cast<double>(maxDuration) * TrackbarPos(IDC_PROGRESS) / 1000.0;
  for (int i = 0; i < 4; ++i) {
    const int k = Rank(channelMask, i);
    PlaybackGraph* graph = graphSlots[1 + k];
    if (!IsChecked(IDC_CHANNEL_1 + i) || graph == nullptr) continue;
    graph->Pause();
    graph->SeekTo(t);
    playingMask &= static_cast<uint8_t>(~(1u << k));
    checkBox(IDC_CHANNEL_1 + i)->setEnabled(true);
    UpdateData(false);
  }
  if (IsChecked(IDC_AUDIO) && graphSlots[0] != nullptr) {
    graphSlots[0]->Pause();
    graphSlots[0]->SeekTo(t);
    UpdateData(false);
  }
}

void CVedraPlayerDlg::OnStop() {
  if (currentFile == -1) return;
  for (int i = 0; i < 4; ++i) {
    const int k = Rank(channelMask, i);
    PlaybackGraph* graph = graphSlots[1 + k];
    if (!IsChecked(IDC_CHANNEL_1 + i) || graph == nullptr) continue;
    graph->SeekTo(0);
    graph->Stop();
    SetTrackbarPos(IDC_PROGRESS, 0);
    checkBox(IDC_CHANNEL_1 + i)->setEnabled(true);
    currentTime = 0;
    UpdateData(false);
    playingMask &= static_cast<uint8_t>(~(1u << k));
  }
  if (IsChecked(IDC_AUDIO) && graphSlots[0] != nullptr) {
    graphSlots[0]->SeekTo(0);
    graphSlots[0]->Stop();
    UpdateData(false);
  }
}

void CVedraPlayerDlg::OnReplay() {
  if (currentFile == -1) return;
  for (int i = 0; i < 4; ++i) {
    const int k = Rank(channelMask, i);
    PlaybackGraph* graph = graphSlots[1 + k];
    if (!IsChecked(IDC_CHANNEL_1 + i) || graph == nullptr) continue;
    graph->SeekTo(0);
    graph->Run();
    playingMask |= static_cast<uint8_t>(1u << k);
  }
  if (IsChecked(IDC_AUDIO) && graphSlots[0] != nullptr) {
    graphSlots[0]->SeekTo(0);
    graphSlots[0]->Run();
  }
}

void CVedraPlayerDlg::OnHScroll(int id) {
  const int p = TrackbarPos(id);
  if (id == IDC_PROGRESS) {
    double t = 0;
    for (int i = 0; i < 4; ++i) {
      PlaybackGraph* graph = graphSlots[1 + Rank(channelMask, i)];
      if (!IsChecked(IDC_CHANNEL_1 + i) || graph == nullptr) continue;
      t = static_cast<double>(maxDuration) * p / 1000.0;
      graph->SeekTo(t);
    }
    if (IsChecked(IDC_AUDIO)) {
      t = static_cast<double>(maxDuration) * p / 1000.0;
      if (graphSlots[0] != nullptr) graphSlots[0]->SeekTo(t);
    }
    currentTime = static_cast<float>(t);
    UpdateData(false);
  } else if (id == IDC_VOLUME) {
    if (graphSlots[0] != nullptr) graphSlots[0]->SetVolume(p - 10000);
  }
}

void CVedraPlayerDlg::OnTimer() {
  if (playingMask != 0) {
    int k = 0;
    while ((playingMask & (1u << k)) == 0) ++k;
    PlaybackGraph* graph = k < 4 ? graphSlots[1 + k] : nullptr;
    const double t = graph != nullptr ? graph->GetPositionSeconds() : 0.0;
    currentTime = static_cast<float>(t);
    int pos = 0;
    if (maxDuration > 0) {
      const double ratio = t * 1000.0 / static_cast<double>(maxDuration);
      pos = ratio <= 0 ? 0 : ratio >= 1000 ? 1000 : static_cast<int>(ratio);
    }
    SetTrackbarPos(IDC_PROGRESS, pos);
    UpdateData(false);
  } else {
    for (int i = 0; i < 4; ++i) checkBox(IDC_CHANNEL_1 + i)->setEnabled(paneInUse[i]);
    UpdateData(false);
  }
}

intptr_t CVedraPlayerDlg::OnGraphNotify(uintptr_t /*wParam*/, intptr_t lParam) {
  // Parameter 123 comes from the AVI export, never from a playback graph.
  if (lParam == kExportNotifyParam) OnExportNotify();
  for (int k = 0; k < 4; ++k) {
    PlaybackGraph* graph = graphSlots[1 + k];
    if (graph == nullptr || graph->HandleGraphEvents() != 2) continue;
    playingMask &= static_cast<uint8_t>(~(1u << k));
    if (playingMask == 0) {
      SetTrackbarPos(IDC_PROGRESS, 0);
      currentTime = 0;
      UpdateData(false);
      if (PlaybackGraph* audio = graphSlots[0]) {
        audio->SeekTo(0);
        if (!audio->IsStopped()) audio->Stop();
      }
    }
  }
  return 0;
}

}  // namespace vedra
