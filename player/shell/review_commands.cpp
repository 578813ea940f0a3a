// Reviewing from the window: the keys and what they run, the recorder's time in the title, Go
// to time, the notice line after snapshots and exports, one camera large on a double-click,
// and the controls of full screen following the mouse.
#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMouseEvent>

#include "resources/resource_ids.h"
#include "resources/resources.h"
#include "shell/VedraPlayerDlg.h"
#include "shell/folder_timeline_host.h"
#include "shell/registry_store.h"
#include "shell/review_keys.h"
#include "view/folder_timeline.h"
#include "view/recording_clock.h"
#include "view/video_pane.h"

namespace vedra {
namespace {

constexpr int kNoticeMs = 4000;
constexpr int kSnapshotWatchMs = 100;
constexpr int kSnapshotWatchTicks = 50; // how long written snapshots are waited for
constexpr double kShortJump = 5.0;      // s
constexpr double kLongJump = 60.0;      // s
constexpr const char* kPlayThroughValue = "PlayThrough";
const QString kTitleSeparator = QStringLiteral("  \u2014  ");

QString AskTimeWithDialog(QWidget* owner, const QString& now)
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(owner, QStringLiteral("Go to"),
                              QStringLiteral("Time of day (17:48:31.250) or offset from the first frame (+1:05):"),
                              QLineEdit::Normal, now, &ok);
    return ok ? text : QString();
}

} // namespace

void CVedraPlayerDlg::BuildReviewWidgets()
{
    speedLabel_ = new QLabel(QStringLiteral("1x"), this);
    speedLabel_->setObjectName(QStringLiteral("speed"));
    const QRect unit = control(IDC_UNIT_LABEL)->geometry();
    speedLabel_->setGeometry(unit.right() + 3, unit.top(), 36, unit.height());
    speedLabel_->setToolTip(QStringLiteral("Playback speed ([ and ] change it, Backspace: 1x)"));
    KeepTemplateGeometry(speedLabel_, kSpeedLabelId);

    // The folder's timeline under the trackbar (the layout lifts the trackbar's row to make room).
    const QRect track = control(IDC_PROGRESS)->geometry();
    timelineHost_ = std::make_unique<FolderTimelineHost>(
        this, trackbar(IDC_PROGRESS), *files_, *deck_,
        FolderTimelineHost::Window{[this](const QString& text) { ShowNotice(text); },
                                   [this](int t, double seconds) { GoToInFolder(t, seconds); }});
    timelineHost_->timeline()->setGeometry(track.left(), track.bottom() + 1, track.width(), kTimelineHeight);
    KeepTemplateGeometry(timelineHost_->timeline(), kTimelineId);

    // Playing through the folder, as C toggles it, in the timeline's corner.
    playThroughBox_ = new QCheckBox(QStringLiteral("Play on"), this);
    playThroughBox_->setObjectName(QStringLiteral("playThrough"));
    playThroughBox_->setGeometry(track.right() + 8, track.bottom() + 4, 70, unit.height());
    playThroughBox_->setToolTip(QStringLiteral("At the end of a recording, go on with the next of the folder (C)"));
    playThroughBox_->setFocusPolicy(Qt::NoFocus);
    connect(playThroughBox_, &QCheckBox::clicked, this, [this] { TogglePlayThrough(); });
    KeepTemplateGeometry(playThroughBox_, kPlayThroughBoxId);

    notice_ = new QLabel(this);
    notice_->setObjectName(QStringLiteral("notice"));
    notice_->setStyleSheet(QStringLiteral("background: #fff8c4; border-top: 1px solid #c8b850; padding: 1px 6px;"));
    notice_->setGeometry(0, height() - 18, width(), 18);
    notice_->hide();
    KeepTemplateGeometry(notice_, kNoticeId);
    noticeTimer_.setSingleShot(true);
    connect(&noticeTimer_, &QTimer::timeout, notice_, &QWidget::hide);

    keyList_ = new QLabel(this);
    keyList_->setObjectName(QStringLiteral("keys"));
    keyList_->setStyleSheet(QStringLiteral("background: rgba(20, 20, 20, 215); color: white; padding: 10px;"
                                           "border-radius: 4px; font-family: monospace;"));
    keyList_->hide();

    bandBackground_ = new QWidget(this);
    bandBackground_->setObjectName(QStringLiteral("band"));
    bandBackground_->setAutoFillBackground(true);
    QPalette band = bandBackground_->palette();
    band.setColor(QPalette::Window, QColor(240, 240, 240, 250));
    bandBackground_->setPalette(band);
    bandBackground_->hide();

    connect(&exportPoll_, &QTimer::timeout, this, &CVedraPlayerDlg::FollowRangeExport);
    snapshotWatch_.setInterval(kSnapshotWatchMs);
    connect(&snapshotWatch_, &QTimer::timeout, this, [this] {
        QStringList written;
        for (const QString& path : snapshotsAwaited_)
            if (QFileInfo::exists(path))
                written << path;
        if (written.size() < snapshotsAwaited_.size() && ++snapshotWatchTicks_ < kSnapshotWatchTicks)
            return;
        snapshotWatch_.stop();
        snapshotsAwaited_.clear();
        AnnounceWritten(written);
    });

    // A quad pane double-clicked shows its channel large, the large pane back; a pane that
    // changed size or zoom gets frames of it; the mouse in full screen shows the controls.
    for (int id = IDC_PANE_1; id <= IDC_PANE_LARGE; ++id) {
        const int index = id - IDC_PANE_1;
        connect(pane(id), &CVideoPane::doubleClicked, this, [this, index] {
            deck_->ToggleLarge(index == IDeckControls::kLargePane ? deck_->enlargedBox() : index);
        });
        connect(pane(id), &CVideoPane::frameRequestChanged, this, [this, index] { deck_->RefreshPane(index); });
        control(id)->installEventFilter(this);
        control(id)->setMouseTracking(true);
    }
    setMouseTracking(true);
}

void CVedraPlayerDlg::SetUpKeys()
{
    keys_ = new ReviewKeys(this);
    const auto none = Qt::NoModifier;
    const auto ctrl = Qt::ControlModifier;
    ChannelDeck* deck = deck_.get();
    // A binding without text shares the line of the one before it.
    keys_->Bind(Qt::Key_Space, none, "Space", "Play / Pause", [this] {
        if (deck_->playingMask() != 0) {
            OnPause();
        } else {
            OnPlay();
        }
    });
    keys_->Bind(Qt::Key_Period, none, ".  Ctrl+Right", "One frame forward (paused)", [deck] { deck->Step(+1); });
    keys_->Bind(Qt::Key_Right, ctrl, "", "", [deck] { deck->Step(+1); });
    keys_->Bind(Qt::Key_Comma, none, ",  Ctrl+Left", "One frame back (paused)", [deck] { deck->Step(-1); });
    keys_->Bind(Qt::Key_Left, ctrl, "", "", [deck] { deck->Step(-1); });
    keys_->Bind(Qt::Key_Left, none, "Left / Right", "5 s back / forward", [deck] { deck->JumpBy(-kShortJump); });
    keys_->Bind(Qt::Key_Right, none, "", "", [deck] { deck->JumpBy(kShortJump); });
    keys_->Bind(Qt::Key_Left, Qt::ShiftModifier, "Shift+Left / Right", "1 minute back / forward",
                [deck] { deck->JumpBy(-kLongJump); });
    keys_->Bind(Qt::Key_Right, Qt::ShiftModifier, "", "", [deck] { deck->JumpBy(kLongJump); });
    keys_->Bind(Qt::Key_Home, none, "Home / End", "The start / the last frame", [deck] { deck->JumpTo(0); });
    keys_->Bind(Qt::Key_End, none, "", "", [deck] { deck->JumpToEnd(); });
    keys_->Bind(Qt::Key_PageUp, none, "PageUp / PageDown", "Previous / next recording of the folder",
                [this] { PreviousInFolder(); });
    keys_->Bind(Qt::Key_PageDown, none, "", "", [this] { NextInFolder(); });
    keys_->Bind(Qt::Key_BracketLeft, none, "[ / ]", "Slower / faster (1/8x to 16x)", [deck] { deck->ChangeSpeed(-1); });
    keys_->Bind(Qt::Key_BracketRight, none, "", "", [deck] { deck->ChangeSpeed(+1); });
    keys_->Bind(Qt::Key_Backspace, none, "Backspace", "Normal speed", [deck] { deck->SetSpeed(1.0); });
    keys_->Bind(Qt::Key_G, ctrl, "Ctrl+G", "Go to a time of day (in any recording of the folder) or an offset",
                [this] { OnGoToTime(); });
    keys_->Bind(Qt::Key_N, none, "N / Shift+N",
                "Start of the next / previous activity of the checked cameras (across the folder)",
                [this] { timelineHost_->StepActivity(true); });
    keys_->Bind(Qt::Key_N, Qt::ShiftModifier, "", "", [this] { timelineHost_->StepActivity(false); });
    keys_->Describe("Timeline", "Click: that instant of the folder; wheel: zoom; drag: pan; hover: pictures");
    keys_->Bind(Qt::Key_C, none, "C", "Play on through the folder's recordings (on / off)",
                [this] { TogglePlayThrough(); });
    keys_->Bind(Qt::Key_T, none, "T", "Time of day on the pictures", [this] { ToggleTimeOverlay(); });
    keys_->Bind(Qt::Key_F, none, "F", "Full screen (Esc leaves it)", [this] { ToggleFullScreen(); });
    keys_->Bind(Qt::Key_0, none, "Wheel / drag / 0", "Zoom into a pane / pan / whole picture", [this] { ResetZoom(); });
    keys_->Bind(Qt::Key_S, none, "S", "JPEG snapshot of the checked channels", [this] { OnJpg(); });
    // A mark on the wrong side of the other clears that one, as in a video editor; the notice
    // line says so.
    keys_->Bind(Qt::Key_I, none, "I / O",
                "Mark the start / the end of a range to export (the other mark goes when crossed)", [this, deck] {
                    const bool hadOut = deck->markOut() >= 0;
                    deck->MarkIn();
                    if (hadOut && deck->markOut() < 0)
                        ShowNotice(QStringLiteral("End mark cleared: the start mark is after it"));
                });
    keys_->Bind(Qt::Key_O, none, "", "", [this, deck] {
        const bool hadIn = deck->markIn() >= 0;
        deck->MarkOut();
        if (hadIn && deck->markIn() < 0)
            ShowNotice(QStringLiteral("Start mark cleared: the end mark is before it"));
    });
    keys_->Bind(Qt::Key_E, ctrl, "Ctrl+E", "Export the marked range (or all) of the checked cameras",
                [this] { OnExportRange(); });
    keys_->Bind(Qt::Key_B, none, "B", "Bookmark the instant on screen for the checked cameras, with a note",
                [this] { OnBookmark(); });
    keys_->Bind(Qt::Key_B, ctrl, "Ctrl+B", "The bookmarks: go to one, edit its note, delete it",
                [this] { OnBookmarkList(); });
    keys_->Bind(Qt::Key_R, ctrl, "Ctrl+R", "Report...: a PDF of the open recordings and their bookmarks",
                [this] { OnReport(); });
    keys_->Bind(Qt::Key_O, ctrl, "Ctrl+O", "Load a recording", [this] { OnLoad(); });
    keys_->Bind(Qt::Key_F1, none, "F1  ?", "This list", [this] { ToggleKeyList(); });
    keys_->Bind(Qt::Key_Question, none, "", "", [this] { ToggleKeyList(); });
}

void CVedraPlayerDlg::UpdateTitle()
{
    const int current = files_->currentFile();
    if (current < 0 || deck_->recording() == nullptr)
        return;
    setWindowTitle(files_->filePath(current) + kTitleSeparator +
                   RecorderTimeText(*deck_->recording(), deck_->timeOnScreen()));
}

void CVedraPlayerDlg::ShowNotice(const QString& text)
{
    notice_->setText(text);
    notice_->show();
    notice_->raise();
    noticeTimer_.start(kNoticeMs);
}

QString CVedraPlayerDlg::noticeText() const
{
    return notice_->isVisible() ? notice_->text() : QString();
}

void CVedraPlayerDlg::AnnounceWritten(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    const QString folder = QFileInfo(paths.front()).absolutePath();
    if (paths.size() == 1) {
        ShowNotice(QStringLiteral("Saved %1 in %2").arg(QFileInfo(paths.front()).fileName(), folder));
    } else {
        ShowNotice(QStringLiteral("%1 files in %2").arg(paths.size()).arg(folder));
    }
}

void CVedraPlayerDlg::WatchSnapshots(const QStringList& paths)
{
    snapshotsAwaited_ << paths;
    snapshotWatchTicks_ = 0;
    if (!snapshotsAwaited_.isEmpty())
        snapshotWatch_.start();
}

void CVedraPlayerDlg::OnGoToTime()
{
    Recording* recording = deck_->recording();
    if (recording == nullptr)
        return;
    const QString now = RecorderTimeText(*recording, deck_->timeOnScreen());
    const QString text = askTime ? askTime(this, now) : AskTimeWithDialog(this, now);
    if (text.isEmpty() || deck_->recording() != recording)
        return;
    QString error;
    const auto t = ParseRecorderTime(*recording, deck_->maxDuration(), text, error);
    if (t) {
        deck_->JumpTo(*t);
        UpdateTitle();
        return;
    }
    // A time of day another recording of the folder covers opens that one there.
    const OpenRecordings::FolderTime there = files_->FindInFolder(text);
    if (there.index < 0) {
        ShowNotice(there.notice.isEmpty() ? error : there.notice);
        return;
    }
    GoToInFolder(there.index, there.seconds);
}

void CVedraPlayerDlg::GoToInFolder(int folderIndex, double seconds)
{
    if (files_->ShowFolderRecordingAt(folderIndex, seconds))
        UpdateTitle();
    FinishDeferredClose();
}

void CVedraPlayerDlg::TogglePlayThrough()
{
    const bool on = !files_->playThrough();
    ShowPlayThrough(on);
    if (auto key = RegistryKey::Open(kRunStateKey))
        key->SetDword(kPlayThroughValue, on ? 1 : 0);
    ShowNotice(on ? QStringLiteral("Playing on through the folder")
                  : QStringLiteral("Stopping at the end of each recording"));
}

void CVedraPlayerDlg::ShowPlayThrough(bool on)
{
    files_->SetPlayThrough(on);
    playThroughBox_->setChecked(on);
}

void CVedraPlayerDlg::ToggleKeyList()
{
    if (keyList_->isVisible()) {
        keyList_->hide();
        return;
    }
    keyList_->setText(keys_->List());
    keyList_->adjustSize();
    keyList_->move((width() - keyList_->width()) / 2, std::max(0, (height() - keyList_->height()) / 3));
    keyList_->show();
    keyList_->raise();
}

void CVedraPlayerDlg::ToggleTimeOverlay()
{
    timeOverlay_ = !timeOverlay_;
    for (int id = IDC_PANE_1; id <= IDC_PANE_LARGE; ++id)
        pane(id)->SetOverlayShown(timeOverlay_);
}

void CVedraPlayerDlg::ResetZoom()
{
    for (int id = IDC_PANE_1; id <= IDC_PANE_LARGE; ++id)
        pane(id)->ResetZoom();
}

bool CVedraPlayerDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr)
            FollowPointerInFullScreen(widget->mapTo(this, static_cast<QMouseEvent*>(event)->position().toPoint()));
    }
    if (keyList_ != nullptr && keyList_->isVisible() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress))
        keyList_->hide();
    return QDialog::eventFilter(watched, event);
}

} // namespace vedra
