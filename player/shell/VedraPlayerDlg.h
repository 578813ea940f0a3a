// CVedraPlayerDlg: the player's only window. It keeps the widgets, the menus and the message
// boxes; the recordings it works with belong to its OpenRecordings (shell/open_recordings.h),
// which it asks to open, switch and close them, and what is on screen and how it plays belongs
// to its channel deck (view/channel_deck.h), which it forwards the transport and the channel
// boxes to. The handlers live in the files of their subsystem: this file's .cpp (window, menu,
// start-up and shutdown), open_recording.cpp (Load, drops and the loader's waits), file_list.cpp
// (the file list's commands, messages and menu), snapshot_commands.cpp, avi_export.cpp and
// audio_device_menu.cpp (the Tool buttons and the Audio Device menu), transport_buttons.cpp
// (the transport, the trackbars and the timer, forwarded to the deck).
// Everything runs on the GUI thread except PostMessage.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalog/bookmark_store.h"
#include "player/engine/audio_devices.h"
#include "player/engine/case_report_job.h"
#include "player/engine/export_job.h"
#include "player/engine/notify_target.h"
#include "shell/open_recordings.h"
#include "shell/range_export_dialog.h"
#include "view/channel_deck.h"
#include "view/playback_graph.h"
#include "view/recording.h"

class QLabel;
class QMenu;
class QProgressDialog;
class QPushButton;
class QCheckBox;
class QSlider;

namespace vedra {

class BookmarkListWindow;
struct BookmarkListRow;
class CVideoPane;
class FolderTimelineHost;
class RangeExportJob;
class ReviewKeys;

// A window message with what it carries: MsgAddFile a path, MsgOpenFileEntry and
// MsgRemoveFileEntry an entry's index, MsgShowFileMenu a point of the window, MsgGraphNotify its
// sender (see INotifyTarget); MsgClose nothing.
struct DialogMessage {
    uint32_t msg = 0;
    QString path{};
    int index = -1;
    QPoint point{};
    intptr_t sender = 0;
};

// The dialog is the notify target of its graphs and of the AVI export (PostMessage).
class CVedraPlayerDlg : public QDialog, public INotifyTarget {
    Q_OBJECT

public:
    explicit CVedraPlayerDlg(QWidget* parent = nullptr);
    ~CVedraPlayerDlg() override;

    // Backends, replaceable before OnInitDialog (tests use scripted ones); the graphs and the
    // split are the recordings' (files()).
    std::function<void(std::vector<AudioDevice>&)> enumerateAudioDevices;
    std::function<QStringList(QWidget* owner)> chooseFiles; // the Load command's file dialog
    // The Avi command's save dialog: the chosen path, or empty when cancelled.
    std::function<QString(QWidget* owner, const QString& proposedName)> chooseExportFile;
    std::string programFolder; // where "test.krv" and "Pic" live

    // Runs OnInitDialog, then the modal loop. Returns the dialog's result.
    int DoModal();
    bool OnInitDialog();

    // Queue a window message; safe from any thread. The handler runs on the GUI thread.
    void PostMessage(DialogMessage message);
    void PostMessage(uint32_t msg, intptr_t sender) override;

    // The control with the template id (nullptr for an unknown id).
    QWidget* control(int id) const;
    QCheckBox* checkBox(int id) const;
    QSlider* trackbar(int id) const;
    CVideoPane* pane(int id) const;

    // Pushes the deck's current and total time into labels 1027 and 1028 ("%.*g", 6). save is
    // never true.
    void UpdateData(bool save);
    void SetButtonIcon(int id, int iconId);

    // What is on screen and how it plays.
    ChannelDeck& deck() { return *deck_; }
    const ChannelDeck& deck() const { return *deck_; }
    // The file list, the open recordings and the folder.
    OpenRecordings& files() { return *files_; }
    const OpenRecordings& files() const { return *files_; }
    // The folder's timeline under the trackbar, its archive and the thumbnails.
    FolderTimelineHost& folderTimeline() { return *timelineHost_; }

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

    // ---- File list and navigation: the window's commands and messages, run by files()
    void CloseFile();
    void CloseAllFiles();
    void SwitchToRecording(int r);
    void PreviousInFolder();
    void NextInFolder();
    // An empty path adds nothing; an index outside the list does nothing.
    void AddFileEntry(const QString& path);
    void OpenFileEntry(int index);
    void RemoveFileEntry(int index);

    // ---- Tool commands: snapshots, AVI export, audio devices
    void OnJpg();
    void OnBmp();
    void OnAvi();
    void OnAudioDevice(int id);
    bool showTools = false; // "iShowTools" of "Config.INI"

    // ---- Reviewing: keys, the time of day, the notice line, the window's size
    // The title: the file on screen and the recorder's time of the picture shown.
    void UpdateTitle();
    // A line at the bottom of the window for a few seconds; nothing modal.
    void ShowNotice(const QString& text);
    QString noticeText() const;
    void OnGoToTime();
    // Folder position t at `seconds` from its counter's 0, opened when another is on screen:
    // what Ctrl+G, a click on the timeline and N go through.
    void GoToInFolder(int folderIndex, double seconds);
    void ToggleKeyList();
    void ToggleTimeOverlay();
    // C: the end of a recording goes on with the next of the folder; kept in the registry store.
    void TogglePlayThrough();
    void ResetZoom();
    bool timeOverlayShown() const { return timeOverlay_; }
    void ToggleFullScreen();
    void SetPaneLabelsWanted(bool wanted);
    ReviewKeys* keys() const { return keys_; }
    static QSize TemplateSize();
    // What Ctrl+G asks (tests answer it).
    std::function<QString(QWidget* owner, const QString& now)> askTime;
    // Ctrl+E: the marked range (or the whole recording) of the checked channels exported on a
    // worker, with progress and Cancel.
    void OnExportRange();
    // What Ctrl+E asks (tests answer it).
    std::function<std::optional<ExportChoice>(QWidget* owner, const QString& range, const QString& cameras,
                                              bool hasAudio, const ExportChoice& proposed)>
        askExport;
    bool exportRunning() const;
    // B: the instant on screen marked for the checked cameras, with the note asked for
    // (bookmark_commands.cpp).
    void OnBookmark();
    // Ctrl+B: the bookmarks of the folder's and the open recordings; go to one, edit, delete.
    void OnBookmarkList();
    // Pushes the bookmarks of the recording on screen to the marks drawn for them.
    void ShowBookmarks();
    // What B and Edit ask (tests answer it): the note, or none when dropped (Esc).
    std::function<std::optional<QString>(QWidget* owner, const QString& where, const QString& note)> askNote;
    // Runs the list window (tests act on it in place of its modal loop).
    std::function<void(BookmarkListWindow& list)> runBookmarkList;
    // Ctrl+R: the case report of the open recordings, written on a worker with progress and
    // Cancel (report_command.cpp).
    void OnReport();
    bool reportRunning() const;
    // Ctrl+R's save dialog: the PDF's path, or empty when cancelled.
    std::function<QString(QWidget* owner, const QString& proposedName)> chooseReportFile;

    // ---- Transport and timeline: the deck acts while a file is open
    void OnPlay();
    void OnPause();
    void OnStop();
    void OnReplay();
    void OnHScroll(int id);
    void OnTimer();
    void OnGraphNotify(intptr_t sender);

    // ---- State (names as other parts of the player use them)
    uintptr_t gdiplusToken = 0; // image encoding needs no start-up with Qt; marks its lifetime
    std::vector<AudioDevice> audioDevices;
    std::map<int, QString> toolTip; // control id -> text
    QIcon appIcon;
    int selectedAudioDevice = 0;
    int nextExportChannel = 0;
    std::unique_ptr<QMenu> fileMenu;
    QPushButton* playListButton = nullptr;
    ExportJob exportJob;
    QString picFolder;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
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
    // The window around the recordings' steps (open_recording.cpp).
    class FilesHost;
    std::unique_ptr<RecordingsHost> MakeFilesHost();
    void FinishDeferredClose();
    // Whether a recording is on screen, so the transport acts.
    bool HasCurrent() const { return files_->currentFile() != -1; }
    void OnSnapshot(bool asJpeg);
    void ExportNextChannel();
    void OnExportNotify();
    void ConnectControls();
    void OnMessage(const DialogMessage& message);
    // The "Warning!!!" box when a render failed for want of the video decoder.
    void WarnIfDecoderMissing(const PlaybackGraph& graph, bool reinstallHint);
    void WindowCloseSequence();
    void UpdateMenuChecks();
    void PauseKeepingWindowPainted(int ms);
    ConversionOutcome RunConversion(const std::function<ConversionOutcome()>& job);
    // Where a control sits in the template (window_layout.cpp moves it from there).
    struct Placement {
        QWidget* widget;
        int id;
        QRect rect;
    };
    static constexpr int kSpeedLabelId = 2001;
    static constexpr int kNoticeId = 2002;
    void KeepTemplateGeometry(QWidget* widget, int id);
    void LayOutControls();
    bool InControlBand(const Placement& p);
    void ShowControlBand(bool shown);
    void FollowPointerInFullScreen(QPoint windowPos);
    void SetUpKeys();
    void BuildReviewWidgets();
    void WatchSnapshots(const QStringList& paths);
    void AnnounceWritten(const QStringList& paths);
    std::vector<Placement> placements_;
    bool bandShown_ = false;
    bool paneLabelsWanted_ = true;
    QWidget* bandBackground_ = nullptr;
    bool timeOverlay_ = true;
    ReviewKeys* keys_ = nullptr;
    QLabel* speedLabel_ = nullptr;
    QCheckBox* playThroughBox_ = nullptr;
    static constexpr int kPlayThroughBoxId = 2003;
    static constexpr int kTimelineId = 2004;
    static constexpr int kTimelineHeight = 56; // px, taken from the video area
    // The band of controls below the video area, the timeline's row included.
    static int BandHeight();
    std::unique_ptr<FolderTimelineHost> timelineHost_;
    void ShowPlayThrough(bool on);
    QLabel* notice_ = nullptr;
    QTimer noticeTimer_;
    QLabel* keyList_ = nullptr;
    QTimer snapshotWatch_;
    QStringList snapshotsAwaited_;
    int snapshotWatchTicks_ = 0;
    QStringList exported_;
    void FollowRangeExport();
    void OnRangeExportEnded();
    void StopRangeExport();
    // The store when bookmarks can be kept; else null, the problem said once in a box and then
    // on the notice line (quiet: not at all).
    BookmarkStore* UsableBookmarkStore(bool quiet);
    std::vector<BookmarkListRow> ListedBookmarks();
    void JumpToBookmark(const BookmarkListRow& row);
    std::unique_ptr<BookmarkStore> bookmarkStore_;
    bool bookmarkProblemTold_ = false;
    void FollowReport();
    void StopReport();
    std::unique_ptr<CaseReportJob> report_;
    QPointer<QProgressDialog> reportProgress_;
    QTimer reportPoll_;
    QString reportPath_;
    std::unique_ptr<RangeExportJob> rangeExport_;
    QPointer<QProgressDialog> exportProgress_;
    QTimer exportPoll_;
    ExportChoice lastExport_;
    std::map<int, QWidget*> controls_;
    std::unique_ptr<IDeckControls> deckWidgets_;
    std::unique_ptr<ChannelDeck> deck_;
    std::unique_ptr<RecordingsHost> filesHost_;
    std::unique_ptr<OpenRecordings> files_;
    QTimer timer_;
    bool playListSwapped_ = false;
    bool closing_ = false;
    // Esc or Enter held down since before the window had the keys, and its last repeat (ms).
    static constexpr quint64 kRepeatGapMs = 500;
    int heldKey_ = 0;
    quint64 heldAt_ = 0;
    // While the loader waits (split, pause) events still run; a close then waits for it.
    int loaderBusy_ = 0;
    bool closeDeferred_ = false;
};

} // namespace vedra
