#include "video_pane.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

namespace vedra {
namespace {

// One notch of the wheel (120 eighths of a degree) zooms by this much.
constexpr double kZoomPerNotch = 1.25;
constexpr double kWheelNotch = 120.0;

// The time overlay: a light text on a translucent dark box, off the picture's corner.
constexpr int kOverlayMargin = 4;
constexpr int kOverlayPadding = 3;
const QColor kOverlayBox(0, 0, 0, 150);
const QColor kOverlayText(240, 240, 240);

} // namespace

CVideoPane::CVideoPane(Style style, QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::Box);
    setFrameShadow(style == Style::kSunken ? QFrame::Sunken : QFrame::Plain);
    setLineWidth(1);
    setAttribute(Qt::WA_OpaquePaintEvent);
    requestTimer_.setSingleShot(true);
    requestTimer_.setInterval(kRequestSettleMs);
    connect(&requestTimer_, &QTimer::timeout, this, [this] {
        if (frameBox() == toldFrameBox_ && zoomed() == toldZoomed_)
            return;
        toldFrameBox_ = frameBox();
        toldZoomed_ = zoomed();
        emit frameRequestChanged();
    });
    toldFrameBox_ = frameBox();
}

void CVideoPane::ShowPicture(const QImage& image, std::shared_ptr<const void> keepAlive, qint64 time, QSize shape)
{
    if (image.isNull())
        ResetZoom();
    // The same frame again (a graph attached anew) changes nothing on screen.
    if (keepAlive && keepAlive == keepAlive_ && image.size() == picture_.size())
        return;
    const QRect before = picture_.isNull() ? QRect() : letterboxRect();
    picture_ = image;
    keepAlive_ = std::move(keepAlive);
    pictureTime_ = image.isNull() ? -1 : time;
    shape_ = image.isNull() ? QSize() : shape;
    // A new frame where the last one lay repaints only the picture; the bars and the border stand.
    const QRect after = picture_.isNull() ? QRect() : letterboxRect();
    if (!zoomed() && !after.isEmpty() && after == before)
        update(after);
    else
        update();
}

void CVideoPane::HidePicture()
{
    // Without a picture the zoom is 1x already.
    if (picture_.isNull())
        return;
    ShowPicture({});
}

QSize CVideoPane::frameBox() const
{
    // Hidden on purpose (hide()), not merely in a window not shown yet.
    if (testAttribute(Qt::WA_WState_ExplicitShowHide) && testAttribute(Qt::WA_WState_Hidden))
        return {};
    const QSize inside = contentsRect().size();
    if (!zoomed())
        return inside;
    return {static_cast<int>(std::lround(inside.width() * zoom())),
            static_cast<int>(std::lround(inside.height() * zoom()))};
}

QRect CVideoPane::letterboxRect() const
{
    return LetterboxRect(shape_.isEmpty() ? picture_.size() : shape_, contentsRect(), picture_.size());
}

QRectF CVideoPane::pictureRect() const
{
    return zoom_.PictureRect(letterboxRect(), contentsRect());
}

void CVideoPane::ResetZoom()
{
    if (zoom_.Reset())
        ZoomChanged();
}

void CVideoPane::ZoomAt(QPointF point, double factor)
{
    if (picture_.isNull())
        return;
    if (zoom_.ZoomAt(letterboxRect(), contentsRect(), point, factor))
        ZoomChanged();
}

void CVideoPane::ZoomChanged()
{
    if (zoomed())
        setCursor(Qt::OpenHandCursor);
    else
        unsetCursor();
    if (!zoomed())
        panning_ = false;
    NoteFrameBox();
    update();
}

void CVideoPane::NoteFrameBox()
{
    if (frameBox() != toldFrameBox_ || zoomed() != toldZoomed_)
        requestTimer_.start();
}

void CVideoPane::SetTimeText(std::function<QString(qint64)> formatter)
{
    timeText_ = std::move(formatter);
    update();
}

void CVideoPane::SetOverlayShown(bool shown)
{
    if (overlayShown_ == shown)
        return;
    overlayShown_ = shown;
    update();
}

QString CVideoPane::overlayText() const
{
    if (!overlayShown_ || !timeText_ || picture_.isNull())
        return {};
    return timeText_(pictureTime_);
}

void CVideoPane::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        const QRect inside = contentsRect();
        const VisiblePart part =
            picture_.isNull() ? VisiblePart{} : VisiblePartOf(pictureRect(), inside, picture_.size());
        if (part.target.isEmpty()) {
            painter.fillRect(inside, Qt::black);
        } else {
            // The bars around the picture; the picture's own pixels are painted once.
            const QRegion bars = QRegion(inside).subtracted(part.target);
            for (const QRect& bar : bars)
                painter.fillRect(bar, Qt::black);
            // Enlarging the camera's own pixels: smoothed, as a zoomed-in picture is read best.
            if (zoomed() && part.source.width() < part.target.width())
                painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(QRectF(part.target), picture_, part.source);
            painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
            PaintOverlay(painter, part.target);
        }
    }
    // A new frame repaints only the picture: the border stands.
    if (!contentsRect().contains(event->rect()))
        QFrame::paintEvent(event);
}

void CVideoPane::PaintOverlay(QPainter& painter, const QRect& picture)
{
    const QString text = overlayText();
    if (text.isEmpty())
        return;
    overlayGlyphs_.Use(font(), kOverlayText, devicePixelRatioF());
    const OverlayGlyphs::Line line = overlayGlyphs_.Lay(text);
    overlayGlyphs_.Stamp(line, kOverlayBox, kOverlayPadding, overlayStamp_);
    painter.drawImage(picture.topLeft() + QPoint(kOverlayMargin, kOverlayMargin), overlayStamp_);
}

void CVideoPane::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    NoteFrameBox();
}

void CVideoPane::showEvent(QShowEvent* event)
{
    QFrame::showEvent(event);
    NoteFrameBox();
}

void CVideoPane::hideEvent(QHideEvent* event)
{
    QFrame::hideEvent(event);
    NoteFrameBox();
}

void CVideoPane::wheelEvent(QWheelEvent* event)
{
    if (picture_.isNull()) {
        QFrame::wheelEvent(event);
        return;
    }
    const double notches = event->angleDelta().y() / kWheelNotch;
    if (notches != 0)
        ZoomAt(event->position(), std::pow(kZoomPerNotch, notches));
    event->accept();
}

void CVideoPane::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !zoomed()) {
        QFrame::mousePressEvent(event);
        return;
    }
    panning_ = true;
    panFrom_ = event->position();
    setCursor(Qt::ClosedHandCursor);
    event->accept();
}

void CVideoPane::mouseMoveEvent(QMouseEvent* event)
{
    if (!panning_) {
        QFrame::mouseMoveEvent(event);
        return;
    }
    const QPointF at = event->position();
    if (zoom_.Pan(letterboxRect(), contentsRect(), at - panFrom_))
        update();
    panFrom_ = at;
    event->accept();
}

void CVideoPane::mouseReleaseEvent(QMouseEvent* event)
{
    if (!panning_ || event->button() != Qt::LeftButton) {
        QFrame::mouseReleaseEvent(event);
        return;
    }
    panning_ = false;
    setCursor(Qt::OpenHandCursor);
    event->accept();
}

void CVideoPane::mouseDoubleClickEvent(QMouseEvent* event)
{
    switch (event->button()) {
    case Qt::LeftButton: emit doubleClicked(); break;
    case Qt::MiddleButton: ResetZoom(); break;
    default: QFrame::mouseDoubleClickEvent(event); return;
    }
    event->accept();
}

} // namespace vedra
