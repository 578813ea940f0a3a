// The window itself: controls from template 130, start-up (OnInitDialog), the File menu, the
// posted window messages, the mute and play-list buttons, and the two shutdown sequences.
#include "VedraPlayerDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProxyStyle>
#include <QPushButton>
#include <QSlider>
#include <QUrl>

#include "krv/krv_config.h"
#include "player/engine/cdxgraph.h"
#include "player/engine/range_export_job.h"
#include "resources/dialog_template.h"
#include "resources/resource_ids.h"
#include "resources/resources.h"
#include "shell/app_paths.h"
#include "shell/deck_widgets.h"
#include "shell/folder_timeline_host.h"
#include "shell/marked_slider.h"
#include "shell/message_box.h"
#include "shell/native_path.h"
#include "shell/registry_store.h"
#include "shell/run_flags.h"
#include "shell/time_label.h"
#include "shell/work_tree.h"
#include "view/video_pane.h"

namespace vedra {
namespace {

// A click on the progress trackbar jumps to the clicked point (and the thumb follows the
// mouse from there), rather than paging towards it.
class JumpToClickStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == QStyle::SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

CVedraPlayerDlg::CVedraPlayerDlg(QWidget* parent) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    // The template's size is the smallest; the video area grows with the window.
    setMinimumSize(TemplateSize());
    resize(TemplateSize());
    setSizeGripEnabled(true);
    setAcceptDrops(true);
    QFont dialogFont = font(); // "MS Shell Dlg" 8 at 96 dpi
    dialogFont.setPixelSize(11);
    setFont(dialogFont);
    // Classic dialog look: group titles sit on the frame line, check boxes stay compact.
    setStyleSheet(QStringLiteral("QGroupBox { border: 1px solid #b0b0b0; border-radius: 2px; margin-top: 5px; }"
                                 "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"
                                 "QCheckBox { spacing: 2px; }"
                                 "QCheckBox::indicator { width: 11px; height: 11px; }"));
    programFolder = ProgramFolder();
    BuildControls();
    deckWidgets_ = std::make_unique<DeckWidgets>(*this);
    deck_ = std::make_unique<ChannelDeck>(*deckWidgets_, this);
    filesHost_ = MakeFilesHost();
    files_ = std::make_unique<OpenRecordings>(*deck_, *filesHost_);
    files_->graphOwner = this;
    // The end of a recording is handled once the deck's notification has returned.
    deck_->onRecordingEnded = [this] {
        QTimer::singleShot(0, this, [this] {
            files_->PlayOnAfterEnd();
            FinishDeferredClose();
        });
    };
    BuildReviewWidgets();
    ConnectControls();
    SetUpKeys();
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, &CVedraPlayerDlg::OnTimer);
}

CVedraPlayerDlg::~CVedraPlayerDlg()
{
    // An export still copying posts to this window when it ends: let it end first.
    if (exportJob.running && exportJob.running->worker.joinable())
        exportJob.running->worker.join();
    // An export or a report still running is stopped; it removes what it wrote.
    StopRangeExport();
    StopReport();
    // Normally the close sequence has released everything; whatever is left goes now, before
    // the deck that shows it.
    files_.reset();
}

void CVedraPlayerDlg::BuildControls()
{
    for (const ControlTemplate& t : DialogTemplate()) {
        QWidget* widget = nullptr;
        const QString text = QString::fromLatin1(t.text);
        switch (t.kind) {
        case ControlKind::kPane: widget = new CVideoPane(CVideoPane::Style::kBordered, this); break;
        case ControlKind::kPaneSunken: widget = new CVideoPane(CVideoPane::Style::kSunken, this); break;
        case ControlKind::kLabel:
        case ControlKind::kLabelCentred: {
            // The times change ten times a second while playing.
            auto* label =
                t.id == IDC_CURRENT_TIME || t.id == IDC_TOTAL_TIME ? new TimeLabel(text, this) : new QLabel(text, this);
            if (t.kind == ControlKind::kLabelCentred)
                label->setAlignment(Qt::AlignCenter);
            widget = label;
            break;
        }
        case ControlKind::kTrackbar: {
            // The progress trackbar also shows the marks of a range to export.
            auto* slider = t.id == IDC_PROGRESS ? new MarkedSlider(this) : new QSlider(Qt::Horizontal, this);
            slider->setRange(0, 100); // a trackbar's default until OnInitDialog sets it
            widget = slider;
            break;
        }
        case ControlKind::kGroupBox: widget = new QGroupBox(text, this); break;
        case ControlKind::kIconButton:
        case ControlKind::kButton:
        case ControlKind::kBitmapButton: widget = new QPushButton(text, this); break;
        case ControlKind::kCheckBox: widget = new QCheckBox(text, this); break;
        }
        widget->setObjectName(t.id != 0 ? QString::number(t.id) : "group:" + text);
        widget->setProperty("templateText", text);
        const int left = DuToPixelsX(t.x), top = DuToPixelsY(t.y);
        widget->setGeometry(left, top, DuToPixelsX(t.x + t.width) - left, DuToPixelsY(t.y + t.height) - top);
        widget->setHidden(!t.visible);
        widget->setEnabled(t.enabled);
        if (t.id != 0)
            controls_[t.id] = widget;
        KeepTemplateGeometry(widget, t.id);
    }
    // Group boxes lie under the controls they frame.
    for (QGroupBox* box : findChildren<QGroupBox*>())
        box->lower();
    for (int id = IDC_PANE_1; id <= IDC_PANE_LARGE; ++id)
        control(id)->lower();
}

void CVedraPlayerDlg::ConnectControls()
{
    auto onClick = [this](int id, void (CVedraPlayerDlg::*handler)()) {
        connect(static_cast<QPushButton*>(control(id)), &QPushButton::clicked, this, handler);
    };
    onClick(IDC_PLAY, &CVedraPlayerDlg::OnPlay);
    onClick(IDC_PAUSE, &CVedraPlayerDlg::OnPause);
    onClick(IDC_STOP, &CVedraPlayerDlg::OnStop);
    onClick(IDC_REPLAY, &CVedraPlayerDlg::OnReplay);
    onClick(IDC_LOAD, &CVedraPlayerDlg::OnLoad);
    onClick(IDC_MUTE, &CVedraPlayerDlg::OnMute);
    onClick(IDC_PLAYLIST, &CVedraPlayerDlg::OnPlayList);
    onClick(IDC_PREVIOUS, &CVedraPlayerDlg::PreviousInFolder);
    onClick(IDC_NEXT, &CVedraPlayerDlg::NextInFolder);
    onClick(IDC_JPG, &CVedraPlayerDlg::OnJpg);
    onClick(IDC_BMP, &CVedraPlayerDlg::OnBmp);
    onClick(IDC_AVI, &CVedraPlayerDlg::OnAvi);
    for (int i = 0; i < 4; ++i)
        connect(checkBox(IDC_CHANNEL_1 + i), &QCheckBox::clicked, this, [this, i] { deck_->OnChannelBox(i); });
    auto* jump = new JumpToClickStyle(trackbar(IDC_PROGRESS)->style());
    jump->setParent(trackbar(IDC_PROGRESS));
    trackbar(IDC_PROGRESS)->setStyle(jump);
    for (int id : {IDC_PROGRESS, IDC_VOLUME}) {
        // User moves only (dragging, paging, keys, end of tracking), never our own SetTrackbarPos.
        connect(trackbar(id), &QSlider::actionTriggered, this, [this, id] { OnHScroll(id); });
        connect(trackbar(id), &QSlider::sliderReleased, this, [this, id] { OnHScroll(id); });
    }
}

QWidget* CVedraPlayerDlg::control(int id) const
{
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}
QCheckBox* CVedraPlayerDlg::checkBox(int id) const
{
    return qobject_cast<QCheckBox*>(control(id));
}
QSlider* CVedraPlayerDlg::trackbar(int id) const
{
    return qobject_cast<QSlider*>(control(id));
}
CVideoPane* CVedraPlayerDlg::pane(int id) const
{
    return qobject_cast<CVideoPane*>(control(id));
}

void CVedraPlayerDlg::UpdateData(bool save)
{
    if (save)
        return; // reading the labels back is never asked for
    deckWidgets_->ShowTimes(deck_->currentTime(), deck_->maxDuration());
}

void CVedraPlayerDlg::SetButtonIcon(int id, int iconId)
{
    auto* button = static_cast<QPushButton*>(control(id));
    button->setIcon(LoadIcon(iconId));
    button->setIconSize(QSize(16, 16));
    button->setProperty("iconId", iconId);
    // An icon button shows its icon instead of its text; a plain button shows both.
    const bool iconOnly = id != IDC_BMP && id != IDC_AVI && id != IDC_LOAD && id != IDC_REPLAY;
    button->setText(iconOnly ? QString() : button->property("templateText").toString());
}

int CVedraPlayerDlg::DoModal()
{
    OnInitDialog();
    // A quit signal during a message box of the start-up closed the window before it was shown.
    if (closing_)
        return Rejected;
    return exec();
}

bool CVedraPlayerDlg::OnInitDialog()
{
    // Window icon.
    appIcon = LoadIcon(IDI_APP);
    setWindowIcon(appIcon);
    // Image encoding (Qt's image writers) needs no start-up; keep the token's lifetime.
    gdiplusToken = 1;
    // Tooltips.
    for (const ToolTipText& tip : DialogToolTips()) {
        toolTip[tip.id] = QString::fromLatin1(tip.text);
        control(tip.id)->setToolTip(toolTip[tip.id]);
    }
    // Play-list bitmap button, sized to its bitmap.
    playListButton = static_cast<QPushButton*>(control(IDC_PLAYLIST));
    const QPixmap normal = LoadBitmap(IDB_PLAYLIST);
    playListButton->setText(QString());
    playListButton->setIcon(normal);
    playListButton->setIconSize(normal.size());
    playListButton->resize(normal.size() + QSize(4, 4));
    playListButton->setProperty("bitmapId", IDB_PLAYLIST);
    // Trackbar ranges.
    trackbar(IDC_PROGRESS)->setRange(0, 1000);
    trackbar(IDC_VOLUME)->setRange(0, 10000);
    // Button icons.
    SetButtonIcon(IDC_PLAY, IDI_PLAY);
    SetButtonIcon(IDC_PAUSE, IDI_PAUSE);
    SetButtonIcon(IDC_STOP, IDI_STOP);
    SetButtonIcon(IDC_BMP, IDI_SNAPSHOT);
    SetButtonIcon(IDC_AVI, IDI_AVI);
    SetButtonIcon(IDC_MUTE, IDI_SOUND_ON);
    SetButtonIcon(IDC_PREVIOUS, IDI_PREVIOUS);
    SetButtonIcon(IDC_NEXT, IDI_NEXT);
    // The Tool group stays hidden unless the user asked for it ("iShowTools" = 1).
    showTools =
        krv_ini_get_int(std::filesystem::path(programFolder) / "Config.INI", "SYS_SETTING", "iShowTools", 0) == 1;
    for (int id : {IDC_AVI, IDC_BMP, IDC_JPG, IDC_TOOL_GROUP})
        control(id)->setHidden(!showTools);
    // Title.
    setWindowTitle(LoadString(IDS_TITLE));
    // The program's folder.
    picFolder = QString::fromStdString(programFolder);
    // Decoder probe on the sample recording beside the program: without the decoder the
    // window closes.
    std::unique_ptr<PlaybackGraph> probe = files_->graphFactory ? files_->graphFactory() : nullptr;
    if (!probe)
        return false;
    if (probe->Create(this)) {
        uint32_t previous = 0;
        CheckRunFlag(this, &previous);
        const bool hasRunBefore = previous == 1;
        const std::string sample = (picFolder + "/test.krv").toStdString();
        if (!probe->RenderMediaFile(sample, hasRunBefore)) {
            WarnIfDecoderMissing(*probe, hasRunBefore);
            probe->Destroy();
            probe.reset();
            PostMessage({.msg = MsgClose});
            return false;
        }
    }
    // Snapshot folder. When the program's folder is not writable (an installed program),
    // snapshots go to the user's pictures folder instead.
    if (IsWritableFolder(picFolder.toStdString())) {
        picFolder += "/Pic/";
    } else {
        picFolder = QString::fromStdString(PicturesFolder()) + "/Vedra Media Player/";
    }
    QDir().mkpath(picFolder);
    // File menu; audio devices, one menu item each.
    BuildFileMenu();
    audioDevices.clear();
    if (enumerateAudioDevices)
        enumerateAudioDevices(audioDevices);
    FillAudioDeviceMenu();
    // Playing through the folder, as the user left it.
    uint32_t playThrough = 0;
    if (auto key = RegistryKey::Open(kRunStateKey);
        key && key->QueryDword("PlayThrough", &playThrough) == RegistryKey::Query::kDword)
        ShowPlayThrough(playThrough == 1);
    // Timeline timer, never stopped.
    timer_.start();
    probe->Destroy();
    probe.reset();
    control(IDC_PLAYLIST)->setEnabled(false);
    control(IDC_PANE_LARGE)->hide();
    SetRunState(this, true);
    return true;
}

void CVedraPlayerDlg::BuildFileMenu()
{
    fileMenu = std::make_unique<QMenu>(QStringLiteral("File"));
    fileMenu->setObjectName(QString::number(IDR_FILE_MENU));
    auto add = [this](QMenu* menu, const QString& text, int id) {
        QAction* action = menu->addAction(text);
        action->setData(id);
        action->setObjectName(QString::number(id));
        return action;
    };
    connect(add(fileMenu.get(), "Load File..", ID_FILE_LOAD), &QAction::triggered, this, &CVedraPlayerDlg::OnLoad);
    connect(add(fileMenu.get(), "Close File", ID_FILE_CLOSE), &QAction::triggered, this, &CVedraPlayerDlg::CloseFile);
    connect(add(fileMenu.get(), "Close All File", ID_FILE_CLOSE_ALL), &QAction::triggered, this,
            &CVedraPlayerDlg::CloseAllFiles);
    fileMenu->addSeparator();
    QMenu* fileListMenu = fileMenu->addMenu("File List");
    fileListMenu->setObjectName("File List");
    // Placeholder until the list fills it; carries the first id of its range.
    add(fileListMenu, "(empty)", ID_FILE_LIST_FIRST)->setEnabled(false);
    connect(fileListMenu, &QMenu::aboutToShow, this, &CVedraPlayerDlg::FillFileListMenu);
    fileMenu->addSeparator();
    QMenu* deviceMenu = fileMenu->addMenu("Audio Device");
    deviceMenu->setObjectName("Audio Device");
    add(deviceMenu, "(empty)", ID_AUDIO_DEVICE_FIRST)->setEnabled(false);
    connect(deviceMenu, &QMenu::aboutToShow, this, &CVedraPlayerDlg::UpdateDeviceChecks);
    fileMenu->addSeparator();
    connect(add(fileMenu.get(), "Exit", ID_FILE_EXIT), &QAction::triggered, this, &CVedraPlayerDlg::OnFileExit);
    connect(fileMenu.get(), &QMenu::aboutToShow, this, &CVedraPlayerDlg::FillFileListMenu);
}

// Only the item 1640 + currentFile of the File List range carries a check mark.
void CVedraPlayerDlg::UpdateMenuChecks()
{
    if (!fileMenu)
        return;
    for (QAction* action : fileMenu->findChildren<QAction*>()) {
        bool ok = false;
        const int id = action->data().toInt(&ok);
        if (!ok || id < ID_FILE_LIST_FIRST || id > ID_FILE_LIST_LAST)
            continue;
        const bool mark = id == ID_FILE_LIST_FIRST + files_->currentFile();
        action->setCheckable(mark || action->isChecked());
        action->setChecked(mark);
    }
}

void CVedraPlayerDlg::OnShowFileMenu(QPoint clientPoint)
{
    if (!fileMenu)
        return;
    fileMenu->popup(mapToGlobal(clientPoint) - QPoint(3, 7));
}

void CVedraPlayerDlg::PostMessage(DialogMessage message)
{
    QMetaObject::invokeMethod(
        this, [this, message = std::move(message)] { OnMessage(message); }, Qt::QueuedConnection);
}

void CVedraPlayerDlg::PostMessage(uint32_t msg, intptr_t sender)
{
    PostMessage({.msg = msg, .sender = sender});
}

void CVedraPlayerDlg::OnMessage(const DialogMessage& message)
{
    switch (message.msg) {
    case MsgShowFileMenu: OnShowFileMenu(message.point); break;
    case MsgAddFile: AddFileEntry(message.path); break;
    case MsgOpenFileEntry: OpenFileEntry(message.index); break;
    case MsgRemoveFileEntry: RemoveFileEntry(message.index); break;
    case MsgGraphNotify: OnGraphNotify(message.sender); break;
    case MsgClose: close(); break;
    default: break;
    }
}

void CVedraPlayerDlg::OnMute()
{
    PlaybackGraph* audio = deck_->AudioSlot();
    if (audio == nullptr)
        return;
    if (audio->GetVolume() <= -10000) {
        SetButtonIcon(IDC_MUTE, IDI_SOUND_ON);
        audio->SetVolume(0);
    } else {
        SetButtonIcon(IDC_MUTE, IDI_SOUND_OFF);
        audio->SetVolume(-10000);
    }
}

void CVedraPlayerDlg::OnPlayList()
{
    playListSwapped_ = !playListSwapped_;
    const int normal = playListSwapped_ ? IDB_PLAYLIST_SELECTED : IDB_PLAYLIST;
    playListButton->setIcon(LoadBitmap(normal));
    playListButton->setProperty("bitmapId", normal);
}

void CVedraPlayerDlg::WarnIfDecoderMissing(const PlaybackGraph& graph, bool reinstallHint)
{
    if (!graph.DecoderMissing())
        return;
    ShowMessageBox(QString::fromLatin1(CDXGraph::MissingDecoderText(reinstallHint)),
                   QString::fromLatin1(CDXGraph::kMissingDecoderCaption), this);
}

void CVedraPlayerDlg::WindowCloseSequence()
{
    timelineHost_->Close();
    StopRangeExport();
    StopReport();
    OnStop();
    files_->CloseFiles(true);
    SetRunState(this, false);
    gdiplusToken = 0;
    RemoveWorkRoot();
}

void CVedraPlayerDlg::closeEvent(QCloseEvent* event)
{
    if (loaderBusy_ > 0) {
        // The loader is half-way through a recording: close once it is done.
        closeDeferred_ = true;
        event->ignore();
        return;
    }
    if (!closing_) {
        closing_ = true;
        WindowCloseSequence();
    }
    QDialog::closeEvent(event); // ends the modal loop with the cancel result
}

void CVedraPlayerDlg::OnQuitSignal()
{
    // A message box, a file dialog or a menu of the moment ends first, so that no handler
    // resumes on closed recordings; the close itself runs from the event loop.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget == this || !widget->isVisible())
            continue;
        if (auto* dialog = qobject_cast<QDialog*>(widget)) {
            dialog->reject();
        } else if (qobject_cast<QMenu*>(widget) != nullptr) {
            widget->close();
        }
    }
    PostMessage({.msg = MsgClose});
}

void CVedraPlayerDlg::contextMenuEvent(QContextMenuEvent* event)
{
    // With the tools shown, a right-click opens the File menu as MsgShowFileMenu does.
    if (showTools && fileMenu) {
        OnShowFileMenu(event->pos());
        event->accept();
        return;
    }
    QDialog::contextMenuEvent(event);
}

void CVedraPlayerDlg::OnFileExit()
{
    // No Stop and no SetRunState: "APPActive" keeps its running value.
    timelineHost_->Close();
    files_->CloseFiles(true);
    gdiplusToken = 0;
    RemoveWorkRoot();
    closing_ = true;
    reject();
}

void CVedraPlayerDlg::keyPressEvent(QKeyEvent* event)
{
    // Esc, and Enter when no button has the focus, end the program through the close sequence,
    // so that no working folder with the user's footage is left behind. While a dialog of the
    // moment is open (an export, a message), its keys are its own even if one reaches here.
    if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != this) {
        event->ignore();
        return;
    }
    const bool endKey =
        event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    // A held Esc or Enter that closed such a dialog repeats here and is not ours. The window
    // system does not mark every repeat (a repeat is a release and a press of one instant, and
    // the pair is sometimes taken apart): a press soon after a marked one repeats it too.
    if (endKey) {
        const bool repeat =
            event->isAutoRepeat() || (event->key() == heldKey_ && event->timestamp() - heldAt_ < kRepeatGapMs);
        if (repeat) {
            heldKey_ = event->key();
            heldAt_ = event->timestamp();
            event->accept();
            return;
        }
        heldKey_ = 0;
    }
    switch (event->key()) {
    case Qt::Key_Escape:
        // The list of keys, and full screen as in every player, are left with Esc first.
        if (keyList_->isVisible()) {
            keyList_->hide();
        } else if (isFullScreen()) {
            ToggleFullScreen();
        } else {
            close();
        }
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            button->click();
        } else {
            close();
        }
        return;
    default: QDialog::keyPressEvent(event);
    }
}

void CVedraPlayerDlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CVedraPlayerDlg::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << LocalPathOfUrl(url);
    if (!paths.isEmpty()) {
        event->acceptProposedAction();
        OnDropFiles(paths);
    }
}

} // namespace vedra
