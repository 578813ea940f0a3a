// Where the controls sit as the window grows. The template's size is the smallest; the video
// area takes every pixel the window gains, the controls below it keep their size and move down
// with it, the trackbar stretches and the time labels stay at its right end. The folder's timeline
// lies under the trackbar, its height taken from the video area: the trackbar's row rises by it.
// In full screen the video area fills the screen and the controls show over its bottom while the
// mouse is there.
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>

#include "resources/dialog_template.h"
#include "resources/resource_ids.h"
#include "shell/VedraPlayerDlg.h"

namespace vedra {
namespace {

// The template's video area: the four panes, and the large pane over them.
const QRect kVideoAreaDu(12, 6, 438, 300);
// Controls from here down form the band below the video area.
constexpr int kBandTopDu = 310;
// The band of controls shows in full screen while the mouse is this close to the bottom.
constexpr int kBandRevealPx = 8;

QRect DuToPixels(const QRect& du)
{
    const int left = DuToPixelsX(du.left()), top = DuToPixelsY(du.top());
    return QRect(left, top, DuToPixelsX(du.left() + du.width()) - left, DuToPixelsY(du.top() + du.height()) - top);
}

} // namespace

void CVedraPlayerDlg::KeepTemplateGeometry(QWidget* widget, int id)
{
    placements_.push_back({widget, id, widget->geometry()});
}

QSize CVedraPlayerDlg::TemplateSize()
{
    return {DuToPixelsX(kDialogWidthDu), DuToPixelsY(kDialogHeightDu)};
}

int CVedraPlayerDlg::BandHeight()
{
    return TemplateSize().height() - DuToPixelsY(kBandTopDu) + kTimelineHeight;
}

void CVedraPlayerDlg::LayOutControls()
{
    const QSize base = TemplateSize();
    const QRect video0 = DuToPixels(kVideoAreaDu);
    const bool full = isFullScreen();
    const int dw = width() - base.width();
    // In full screen the video takes the whole window and the band lies over its bottom.
    const QRect video = full ? rect() : video0.adjusted(0, 0, dw, height() - base.height() - kTimelineHeight);
    const int dy = height() - base.height();
    const int lifted = dy - kTimelineHeight; // the trackbar's row, the timeline and its corner
    const int bandTop0 = DuToPixelsY(kBandTopDu);
    for (const Placement& p : placements_) {
        QRect r = p.rect;
        switch (p.id) {
        case IDC_PANE_1:
        case IDC_PANE_1 + 1:
        case IDC_PANE_1 + 2:
        case IDC_PANE_1 + 3: {
            const int k = p.id - IDC_PANE_1;
            const int halfW = video.width() / 2, halfH = video.height() / 2;
            r = QRect(video.left() + (k % 2) * halfW, video.top() + (k / 2) * halfH,
                      k % 2 ? video.width() - halfW : halfW, k / 2 ? video.height() - halfH : halfH);
            break;
        }
        case IDC_PANE_LARGE: r = video; break;
        case IDC_PANE_LABEL_1:
        case IDC_PANE_LABEL_1 + 2:
            r.moveTop(p.rect.top() + (p.id == IDC_PANE_LABEL_1 ? 0 : video.height() / 2 - video0.height() / 2));
            r.moveTop(r.top() + video.top() - video0.top());
            break;
        case IDC_PANE_LABEL_1 + 1:
        case IDC_PANE_LABEL_1 + 3:
            r.moveLeft(p.rect.left() + video.right() - video0.right());
            r.moveTop(p.rect.top() + video.top() - video0.top() +
                      (p.id == IDC_PANE_LABEL_1 + 1 ? 0 : video.height() / 2 - video0.height() / 2));
            break;
        case IDC_PROGRESS:
        case kTimelineId:
            r.setWidth(p.rect.width() + dw);
            r.translate(0, lifted);
            break;
        case IDC_CURRENT_TIME:
        case IDC_SLASH_LABEL:
        case IDC_TOTAL_TIME:
        case IDC_UNIT_LABEL:
        case kSpeedLabelId:
        case kPlayThroughBoxId: r.translate(dw, lifted); break;
        case kNoticeId: r = QRect(0, height() - r.height(), width(), r.height()); break;
        default:
            if (p.rect.top() >= bandTop0)
                r.translate(0, dy);
            break;
        }
        p.widget->setGeometry(r);
    }
}

bool CVedraPlayerDlg::InControlBand(const Placement& p)
{
    return p.rect.top() >= DuToPixelsY(kBandTopDu) && p.id != kNoticeId;
}

// In full screen the band shows only while asked for; what the window hides anyway (the Tool
// group without "iShowTools", Replay, the volume) stays hidden.
void CVedraPlayerDlg::ShowControlBand(bool shown)
{
    // Over the picture in full screen the band has a background of its own.
    const bool over = isFullScreen() && shown;
    bandBackground_->setGeometry(0, height() - BandHeight(), width(), BandHeight());
    bandBackground_->setVisible(over);
    if (over)
        bandBackground_->raise();
    for (const Placement& p : placements_) {
        if (!InControlBand(p))
            continue;
        p.widget->setVisible(shown && p.widget->property("shownInWindow").toBool());
        if (shown)
            p.widget->raise();
    }
}

void CVedraPlayerDlg::ToggleFullScreen()
{
    bandShown_ = false;
    if (isFullScreen()) {
        showNormal();
        LayOutControls();
        ShowControlBand(true);
        SetPaneLabelsWanted(paneLabelsWanted_);
        return;
    }
    for (const Placement& p : placements_)
        if (InControlBand(p))
            p.widget->setProperty("shownInWindow", !p.widget->isHidden());
    showFullScreen();
    LayOutControls();
    ShowControlBand(false);
    SetPaneLabelsWanted(paneLabelsWanted_);
}

// The labels "1" to "4" stand beside the quad panes in the window, never over the picture.
void CVedraPlayerDlg::SetPaneLabelsWanted(bool wanted)
{
    paneLabelsWanted_ = wanted;
    for (int i = 0; i < 4; ++i)
        control(IDC_PANE_LABEL_1 + i)->setVisible(wanted && !isFullScreen());
}

// Full screen: the mouse at the bottom edge shows the controls, leaving them hides them.
void CVedraPlayerDlg::FollowPointerInFullScreen(QPoint windowPos)
{
    if (!isFullScreen())
        return;
    const int bandTop = height() - BandHeight();
    const bool want = bandShown_ ? windowPos.y() >= bandTop : windowPos.y() >= height() - kBandRevealPx;
    if (want == bandShown_)
        return;
    bandShown_ = want;
    ShowControlBand(want);
}

void CVedraPlayerDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    LayOutControls();
}

} // namespace vedra
