#include "view/pane_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vedra {
namespace {

// The engine rounds a fitted frame's sides to even numbers.
constexpr int kFrameRounding = 2;

// Where a picture of `extent` lies along one axis of the pane. Covering the pane, the point
// `centre` (a fraction of the picture) sits at the pane's middle unless that opens a gap;
// smaller, it is centred on the letterbox.
double AxisStart(double paneStart, double paneExtent, double boxStart, double boxExtent, double extent, double centre)
{
    if (extent < paneExtent)
        return boxStart + (boxExtent - extent) / 2;
    const double wanted = paneStart + paneExtent / 2 - centre * extent;
    return std::clamp(wanted, paneStart + paneExtent - extent, paneStart);
}

} // namespace

QRect LetterboxRect(QSize shape, const QRect& pane, QSize frame)
{
    if (shape.isEmpty() || pane.isEmpty())
        return pane;
    int width = pane.width();
    int height = pane.height();
    if (qint64{pane.width()} * shape.height() > qint64{pane.height()} * shape.width())
        width = static_cast<int>(std::lround(double(pane.height()) * shape.width() / shape.height()));
    else
        height = static_cast<int>(std::lround(double(pane.width()) * shape.height() / shape.width()));
    width = std::clamp(width, 1, pane.width());
    height = std::clamp(height, 1, pane.height());
    if (!frame.isEmpty() && std::abs(frame.width() - width) <= kFrameRounding &&
        std::abs(frame.height() - height) <= kFrameRounding && frame.width() <= pane.width() &&
        frame.height() <= pane.height()) {
        width = frame.width();
        height = frame.height();
    }
    return {pane.x() + (pane.width() - width) / 2, pane.y() + (pane.height() - height) / 2, width, height};
}

VisiblePart VisiblePartOf(const QRectF& picture, const QRect& pane, QSize image)
{
    const QRectF visible = picture.intersected(QRectF(pane));
    if (visible.isEmpty() || image.isEmpty())
        return {};
    const int left = static_cast<int>(std::lround(visible.left()));
    const int top = static_cast<int>(std::lround(visible.top()));
    const QRect target(left, top, static_cast<int>(std::lround(visible.right())) - left,
                       static_cast<int>(std::lround(visible.bottom())) - top);
    if (target.isEmpty())
        return {};
    const double xScale = image.width() / picture.width();
    const double yScale = image.height() / picture.height();
    const QRectF source((target.x() - picture.x()) * xScale, (target.y() - picture.y()) * yScale,
                        target.width() * xScale, target.height() * yScale);
    return {target, source.intersected(QRectF(QPointF(0, 0), QSizeF(image)))};
}

QRectF PaneZoom::PictureRect(const QRectF& letterbox, const QRectF& pane) const
{
    const QSizeF size = letterbox.size() * zoom_;
    return {AxisStart(pane.x(), pane.width(), letterbox.x(), letterbox.width(), size.width(), centre_.x()),
            AxisStart(pane.y(), pane.height(), letterbox.y(), letterbox.height(), size.height(), centre_.y()),
            size.width(), size.height()};
}

void PaneZoom::Place(const QRectF& picture, const QRectF& letterbox, const QRectF& pane)
{
    auto centreOf = [&pane](const QRectF& at) {
        return QPointF((pane.center().x() - at.x()) / at.width(), (pane.center().y() - at.y()) / at.height());
    };
    centre_ = centreOf(picture);
    // Clamped where it would open a gap, and kept as shown: panning back starts from what is seen.
    centre_ = centreOf(PictureRect(letterbox, pane));
}

bool PaneZoom::ZoomAt(const QRectF& letterbox, const QRectF& pane, QPointF point, double factor)
{
    if (letterbox.isEmpty() || !(factor > 0))
        return false;
    const double zoom = std::clamp(zoom_ * factor, 1.0, kMaxZoom);
    if (zoom == zoom_)
        return false;
    const QRectF before = PictureRect(letterbox, pane);
    // The picture point under the pointer, in fractions of the picture.
    const QPointF under((point.x() - before.x()) / before.width(), (point.y() - before.y()) / before.height());
    zoom_ = zoom;
    const QSizeF size = letterbox.size() * zoom_;
    Place(QRectF(QPointF(point.x() - under.x() * size.width(), point.y() - under.y() * size.height()), size), letterbox,
          pane);
    if (!zoomed())
        centre_ = {0.5, 0.5};
    return true;
}

bool PaneZoom::Pan(const QRectF& letterbox, const QRectF& pane, QPointF delta)
{
    if (!zoomed() || letterbox.isEmpty())
        return false;
    const QRectF before = PictureRect(letterbox, pane);
    Place(before.translated(delta), letterbox, pane);
    return PictureRect(letterbox, pane) != before;
}

bool PaneZoom::Reset()
{
    const bool changed = zoomed();
    zoom_ = 1.0;
    centre_ = {0.5, 0.5};
    return changed;
}

} // namespace vedra
