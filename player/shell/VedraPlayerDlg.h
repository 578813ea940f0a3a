// CVedraPlayerDlg: the player's only window and the owner of all its run-time state. The
// handlers live in the files of their subsystem: this file's .cpp (window, menu, start-up and
// shutdown), open_recording.cpp (loading), file_closing.cpp (closing), file_list.cpp (the
// file list, its messages and folder navigation), snapshot_commands.cpp, avi_export.cpp and
// audio_device_menu.cpp (the Tool buttons and the Audio Device menu), and in player/view/
// channel_view.cpp (panes and view modes) and transport.cpp (playback and timeline).
// Everything runs on the GUI thread except PostMessage.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "player/engine/audio_devices.h"
#include "player/engine/export_job.h"
#include "player/engine/notify_target.h"
#include "view/playback_graph.h"

class QMenu;
class QPushButton;
class QCheckBox;
class QSlider;

namespace vedra {

class CVideoPane;

// One open recording. The graphs are owned here and destroyed by whoever closes it.
struct Recording {
  std::vector<std::unique_ptr<PlaybackGraph>> channelGraphs;  // rendered channel files, scan order
  std::unique_ptr<PlaybackGraph> audioGraph;                  // or none
  bool singleView = false;
  // The view state of this recording, restored whenever it is shown again.
  uint8_t channelMask = 0;
  int visibleCount = 0;
  int audioChannel = -1;
};

// One file the user loaded.
struct FileEntry {
  QString path;              // as chosen or dropped
  bool isOpen = false;
  int recordingIndex = -1;   // index in recordings, -1 when not open
};

// The result of splitting a recording: the working folder, or the path itself to play it
// directly, and the messages to show on the way.
struct ConversionOutcome {
  std::string result;
  std::vector<std::string> messages;
};

// The dialog is the notify target of its graphs and of the AVI export (PostMessage).
class CVedraPlayerDlg : public QDialog, public INotifyTarget {
  Q_OBJECT

 public:
  explicit CVedraPlayerDlg(QWidget* parent = nullptr);
  ~CVedraPlayerDlg() override;

  // Backends, replaceable before OnInitDialog (tests use scripted ones).
  GraphFactory graphFactory;
  std::function<void(std::vector<AudioDevice>&)> enumerateAudioDevices;
  std::function<ConversionOutcome(const std::string& path)> convertRecording;
  std::function<QStringList(QWidget* owner)> chooseFiles;  // the Load command's file dialog
  // The Avi command's save dialog: the chosen path, or empty when cancelled.
  std::function<QString(QWidget* owner, const QString& proposedName)> chooseExportFile;
  std::string programFolder;                               // where "test.krv" and "Pic" live
  int openPauseMs = 500;                                   // the loader's pause before the view

  // Runs OnInitDialog, then the modal loop. Returns the dialog's result.
  int DoModal();
  bool OnInitDialog();

  // Queues a window message; safe from any thread. The handler runs on the GUI thread.
  // MsgAddFile's lParam points at a zero-terminated wchar_t path, copied here.
  void PostMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;

  // The control with the template id (nullptr for an unknown id).
  QWidget* control(int id) const;
  QCheckBox* checkBox(int id) const;
  QSlider* trackbar(int id) const;
  CVideoPane* pane(int id) const;

  // Pushes currentTime and maxDuration into labels 1027 and 1028 ("%.*g", 6). save is never true.
  void UpdateData(bool save);

  // ---- shutdown sequences and window handlers
  void OnFileExit();
  void OnMute();
  void OnPlayList();
  void OnShowFileMenu(QPoint clientPoint);
  QMenu* fileMenuPopup() const { return fileMenu.get(); }
  // SIGTERM, SIGINT, SIGHUP: boxes and menus of the moment close, then the window.
  void OnQuitSignal();

  // ---- Opening recordings
  void OnLoad();
  void OnDropFiles(const QStringList& paths);
  void OpenRecording(QString path, int fileIndex, bool scanFolder);
  int ScanFolderRecordings(const QString& folder, const QString& path);

  // ---- File list, navigation and closing
  static constexpr int maxOpenRecordings = 5;
  bool CloseFiles(bool all);
  void CloseFile();
  void CloseAllFiles();
  void CloseAllRecordings();
  void EvictRecordings();
  void SwitchToRecording(int r);
  void PreviousInFolder();
  void NextInFolder();
  void OpenFolderNeighbour(int t);
  intptr_t AddFileEntry(intptr_t lParam);  // lParam: const wchar_t*
  intptr_t OpenFileEntry(intptr_t lParam);
  intptr_t RemoveFileEntry(intptr_t lParam);
  void DestroyRecording(Recording* recording);
  void DeleteWorkFolder(const QString& folder);

  // ---- Tool commands: snapshots, AVI export, audio devices
  void OnJpg();
  void OnBmp();
  void OnAvi();
  void OnAudioDevice(int id);
  bool showTools = false;  // "iShowTools" of "Config.INI"

  // ---- Channel panes and view modes
  static int Rank(uint8_t mask, int box);
  bool ShowQuadView(int r);
  bool ShowSingleView(int r);
  void AttachChannel(PlaybackGraph* graph, int slot, int box);
  void DetachChannel(int slot);
  void DetachFirstChannel();
  bool AttachAudio();
  void DetachAudio();
  bool SetAudio(bool on);
  bool SetPaneLayout(bool single);
  bool SeekCheckedChannels(int position);
  void OnChannelBox(int i);
  void TakeOffScreen();  // DetachChannel for every graph, DetachFirstChannel, DetachAudio

  // ---- Transport and timeline
  void OnPlay();
  void OnPause();
  void OnStop();
  void OnReplay();
  void OnHScroll(int id);
  void OnTimer();
  intptr_t OnGraphNotify(uintptr_t wParam, intptr_t lParam);

  // ---- State (names as other parts of the player use them)
  int slotFileIndex[5] = {-1, -1, -1, -1, -1};
  uint8_t channelMask = 0;
  uintptr_t gdiplusToken = 0;  // image encoding needs no start-up with Qt; marks its lifetime
  std::vector<std::unique_ptr<Recording>> recordings;
  std::vector<QString> workFolders;
  std::vector<AudioDevice> audioDevices;
  std::vector<std::unique_ptr<FileEntry>> fileList;
  QStringList folderRecordings;
  std::map<int, QString> toolTip;  // control id -> text
  QIcon appIcon;
  int currentFile = -1;
  int selectedAudioDevice = 0;
  int audioChannel = -1;
  int visibleCount = 0;
  int folderIndex = -1;
  int nextExportChannel = 0;
  float maxDuration = 0;
  float currentTime = 0;
  uint8_t playingMask = 0;
  std::unique_ptr<QMenu> fileMenu;
  Recording* currentRecording = nullptr;
  PlaybackGraph* graphSlots[5] = {};
  double slotDurations[4] = {};
  bool paneInUse[4] = {};
  bool audioPresent = false;
  QPushButton* playListButton = nullptr;
  ExportJob exportJob;
  QString picFolder;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildControls();
  void BuildFileMenu();
  void FillFileListMenu();
  void FillAudioDeviceMenu();
  void UpdateDeviceChecks();
  bool IsOpenEntry(int index) const;
  void TakeCurrentFileOffScreen();
  void ShowAndRestart(int r, int progress);
  void ForgetRecordingSlot(int r);
  void RemoveEntry(int index);
  void FinishDeferredClose();
  void OnSnapshot(bool asJpeg);
  void ExportNextChannel();
  void OnExportNotify();
  void ConnectControls();
  void OnMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, QPoint point,
                 const std::wstring& text);
  void EmptySlot(int slot);
  void ShowRecordingState(int r);
  void AttachRecordingAudio();
  void WindowCloseSequence();
  void FreeCurrentRecording();
  void UpdateMenuChecks();
  void SetButtonIcon(int id, int iconId);
  void PauseKeepingWindowPainted(int ms);
  ConversionOutcome RunConversion(const QString& path);
  void OpenRecordingSteps(QString path, int fileIndex, bool scanFolder);
  bool IsChecked(int id) const;
  void SetChecked(int id, bool checked);
  int TrackbarPos(int id) const;
  void SetTrackbarPos(int id, int pos);

  std::map<int, QWidget*> controls_;
  QTimer timer_;
  bool playListSwapped_ = false;
  bool closing_ = false;
  // While the loader waits (split, pause) events still run; a close then waits for it.
  int loaderBusy_ = 0;
  bool closeDeferred_ = false;
};

}  // namespace vedra
