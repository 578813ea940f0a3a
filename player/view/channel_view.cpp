// Channel panes and view modes: which graph sits in which channel slot, the per-slot
// durations, and the quad and single layouts. Box i (0..3) always stands for channel i + 1;
// a present channel's graph sits in channel slot rank(i) = graphSlots[1 + rank(i)].
#include <QCheckBox>
#include <QSlider>

#include <bit>

#include "resources/resource_ids.h"
#include "resources/resources.h"
#include "shell/VedraPlayerDlg.h"
#include "view/video_pane.h"

namespace vedra {

int CVedraPlayerDlg::Rank(uint8_t mask, int box) {
  return std::popcount(static_cast<unsigned>(mask & ((1u << box) - 1u)));
}

void CVedraPlayerDlg::AttachChannel(PlaybackGraph* graph, int slot, int box) {
  graphSlots[1 + slot] = graph;
  double duration = 0;
  if (graph != nullptr && graph->GetDurationSeconds(&duration)) slotDurations[slot] = duration;
  if (static_cast<double>(maxDuration) < slotDurations[slot])
    maxDuration = static_cast<float>(slotDurations[slot]);
  checkBox(IDC_CHANNEL_1 + box)->setEnabled(true);
  SetChecked(IDC_CHANNEL_1 + box, true);
  UpdateData(false);
}

namespace {

// Box index of the channel that sits in slot k: the (k + 1)-th set bit of mask; -1 if none.
int BoxOfSlot(uint8_t mask, int slot) {
  for (int i = 0; i < 8; ++i) {
    if ((mask & (1u << i)) == 0) continue;
    if (slot-- == 0) return i;
  }
  return -1;
}

}  // namespace

// The common end of both detaches: the slot's graph, duration and playing bit go; the
// total time is recomputed only when the slot held the longest channel.
void CVedraPlayerDlg::EmptySlot(int slot) {
  graphSlots[1 + slot] = nullptr;
  if (static_cast<float>(slotDurations[slot]) == maxDuration) {
    maxDuration = 0;
    slotDurations[slot] = 0;
    for (double d : slotDurations)
      if (d > static_cast<double>(maxDuration)) maxDuration = static_cast<float>(d);
  }
  slotDurations[slot] = 0;
  currentTime = 0;
  UpdateData(false);
  playingMask &= static_cast<uint8_t>(~(1u << slot));
}

void CVedraPlayerDlg::DetachChannel(int slot) {
  PlaybackGraph* graph = graphSlots[1 + slot];
  if (graph == nullptr) return;
  if (!graph->IsPaused()) graph->Pause();
  graph->SeekTo(0);
  graph->AttachToPane(nullptr);
  const int box = BoxOfSlot(channelMask, slot);
  if (box >= 0 && box < 4) SetChecked(IDC_CHANNEL_1 + box, false);
  EmptySlot(slot);
}

void CVedraPlayerDlg::DetachFirstChannel() {
  PlaybackGraph* graph = graphSlots[1];
  if (graph == nullptr) return;
  graph->SeekTo(0);
  if (!graph->IsStopped()) graph->Stop();
  graph->AttachToPane(nullptr);
  SetTrackbarPos(IDC_PROGRESS, 0);
  SetChecked(IDC_CHANNEL_1, false);
  EmptySlot(0);
}

bool CVedraPlayerDlg::AttachAudio() {
  SetTrackbarPos(IDC_VOLUME, 10000);
  SetChecked(IDC_AUDIO, true);
  return true;
}

void CVedraPlayerDlg::DetachAudio() {
  SetChecked(IDC_AUDIO, false);
  if (PlaybackGraph* audio = graphSlots[0]) {
    audio->SeekTo(0);
    if (!audio->IsStopped()) audio->Stop();
    graphSlots[0] = nullptr;
  }
}

bool CVedraPlayerDlg::SetAudio(bool on) {
  const bool wasChecked = IsChecked(IDC_AUDIO);
  if (on) {
    if (wasChecked || graphSlots[0] != nullptr) return true;
    if (currentRecording == nullptr || !currentRecording->audioGraph) return true;
    graphSlots[0] = currentRecording->audioGraph.get();
    if (AttachAudio()) {
      SetChecked(IDC_AUDIO, true);
      const int p = TrackbarPos(IDC_PROGRESS);
      graphSlots[0]->SeekTo(static_cast<double>(maxDuration) * p / 1000.0);
    }
    return true;
  }
  SetChecked(IDC_AUDIO, false);
  if (wasChecked && graphSlots[0] != nullptr) DetachAudio();
  return true;
}

void CVedraPlayerDlg::TakeOffScreen() {
  if (currentRecording == nullptr) return;
  for (int j = 0; j < static_cast<int>(currentRecording->channelGraphs.size()) && j < 4; ++j)
    DetachChannel(j);
  DetachFirstChannel();
  if (currentRecording->audioGraph) DetachAudio();
}

// Makes recordings[r] the recording on screen with the view state it was left in.
void CVedraPlayerDlg::ShowRecordingState(int r) {
  currentRecording = recordings[r].get();
  channelMask = currentRecording->channelMask;
  visibleCount = currentRecording->visibleCount;
  audioChannel = currentRecording->audioChannel;
}

void CVedraPlayerDlg::AttachRecordingAudio() {
  if (!currentRecording->audioGraph) return;
  graphSlots[0] = currentRecording->audioGraph.get();
  AttachAudio();
  audioPresent = true;
}

bool CVedraPlayerDlg::ShowQuadView(int r) {
  for (int i = 0; i < 4; ++i) control(IDC_PANE_LABEL_1 + i)->show();
  update();
  SetButtonIcon(IDC_MUTE, IDI_SOUND_ON);
  if (r < 0 || r >= static_cast<int>(recordings.size())) return false;
  control(IDC_PANE_LARGE)->hide();
  ShowRecordingState(r);
  for (int j = 0; j < 4; ++j) {
    paneInUse[j] = false;
    control(IDC_PANE_1 + j)->show();
    SetChecked(IDC_CHANNEL_1 + j, false);
  }
  audioPresent = false;
  int j = 0;
  const int count = static_cast<int>(currentRecording->channelGraphs.size());
  for (int k = 0; k < count && k < 4; ++k) {
    while (j < 8 && (channelMask & (1u << j)) == 0) ++j;
    if (j >= 4) break;  // only four boxes and four panes
    PlaybackGraph* graph = currentRecording->channelGraphs[k].get();
    graph->SetNotifyWindow(this, MsgGraphNotify, 0);
    AttachChannel(graph, k, j);
    show();
    graph->AttachToPane(pane(IDC_PANE_1 + j));
    paneInUse[j] = true;
    ++j;
  }
  AttachRecordingAudio();
  return true;
}

bool CVedraPlayerDlg::ShowSingleView(int r) {
  for (int i = 0; i < 4; ++i) control(IDC_PANE_LABEL_1 + i)->hide();
  for (int id = IDC_PANE_1; id <= IDC_PANE_LARGE; ++id) control(id)->hide();
  update();
  SetButtonIcon(IDC_MUTE, IDI_SOUND_ON);
  if (r < 0 || r >= static_cast<int>(recordings.size())) return false;
  ShowRecordingState(r);
  for (int j = 0; j < 4; ++j) {
    paneInUse[j] = false;
    SetChecked(IDC_CHANNEL_1 + j, false);
  }
  audioPresent = false;
  if (currentRecording->channelGraphs.size() != 1) return false;
  control(IDC_PANE_LARGE)->show();
  PlaybackGraph* graph = currentRecording->channelGraphs[0].get();
  graph->SetNotifyWindow(this, MsgGraphNotify, 0);
  AttachChannel(graph, 0, 0);
  show();
  graph->AttachToPane(pane(IDC_PANE_LARGE));
  paneInUse[0] = true;
  AttachRecordingAudio();
  return true;
}

bool CVedraPlayerDlg::SetPaneLayout(bool single) {
  if (currentRecording == nullptr) return true;
  auto& graphs = currentRecording->channelGraphs;
  auto graphOfBox = [&](int i) -> PlaybackGraph* {
    const int k = Rank(channelMask, i);
    return k < static_cast<int>(graphs.size()) ? graphs[k].get() : nullptr;
  };
  if (single) {
    for (int i = 0; i < 4; ++i) control(IDC_PANE_1 + i)->hide();
    for (int i = 0; i < 4; ++i) {
      if (!IsChecked(IDC_CHANNEL_1 + i)) continue;
      if (PlaybackGraph* graph = graphOfBox(i)) {
        AttachChannel(graph, Rank(channelMask, i), i);
        graph->AttachToPane(pane(IDC_PANE_LARGE));
        show();
        update();
      }
      break;
    }
    control(IDC_PANE_LARGE)->show();
    return true;
  }
  control(IDC_PANE_LARGE)->hide();
  for (int i = 0; i < 4; ++i) {
    if (IsChecked(IDC_CHANNEL_1 + i)) {
      if (PlaybackGraph* graph = graphOfBox(i)) {
        AttachChannel(graph, Rank(channelMask, i), i);
        graph->AttachToPane(pane(IDC_PANE_1 + i));
        if (audioChannel == i) SetAudio(true);
      }
    }
    control(IDC_PANE_1 + i)->show();
  }
  return true;
}

bool CVedraPlayerDlg::SeekCheckedChannels(int position) {
  const double t = static_cast<double>(maxDuration) * position / 1000.0;
  for (int i = 0; i < 4; ++i) {
    if (!IsChecked(IDC_CHANNEL_1 + i)) continue;
    if (PlaybackGraph* graph = graphSlots[1 + Rank(channelMask, i)]) graph->SeekTo(t);
  }
  return true;
}

void CVedraPlayerDlg::OnChannelBox(int i) {
  if (currentRecording == nullptr || i < 0 || i > 3) return;
  const int p = TrackbarPos(IDC_PROGRESS);
  const bool checked = IsChecked(IDC_CHANNEL_1 + i);
  const int k = Rank(channelMask, i);
  const int graphCount = static_cast<int>(currentRecording->channelGraphs.size());
  if (!checked) {
    if (graphSlots[1 + k] == nullptr) return;
    if (visibleCount > 0) --visibleCount;
    if (i == 0 && currentRecording->singleView) {
      DetachFirstChannel();
      show();
      update();
    } else {
      DetachChannel(k);
    }
    if (visibleCount == 1) SetPaneLayout(true);
    SeekCheckedChannels(p);
    if (audioChannel == i) SetAudio(false);
  } else if (graphSlots[1 + k] == nullptr && k < graphCount) {
    ++visibleCount;
    if (i == 0 && currentRecording->singleView) {
      AttachChannel(currentRecording->channelGraphs[0].get(), 0, 0);
      currentRecording->channelGraphs[0]->AttachToPane(pane(IDC_PANE_LARGE));
      show();
      update();
    } else if (visibleCount == 1) {
      SetPaneLayout(true);
    } else if (visibleCount == 2) {
      SetPaneLayout(false);
    } else {
      AttachChannel(currentRecording->channelGraphs[k].get(), k, i);
      currentRecording->channelGraphs[k]->AttachToPane(pane(IDC_PANE_1 + i));
    }
    if (PlaybackGraph* graph = graphSlots[1 + k])
      graph->SeekTo(static_cast<double>(maxDuration) * p / 1000.0);
    if (audioChannel == i) SetAudio(true);
  }
  currentRecording->visibleCount = visibleCount;
}

}  // namespace vedra
