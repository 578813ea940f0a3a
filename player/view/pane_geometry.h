// Where a pane's picture goes: letterboxed in the pane with its own shape, and enlarged and
// moved by the pane's digital zoom. Plain geometry in the pane's coordinates.
#pragma once

#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>

namespace vedra {

// The largest rectangle of the picture's shape inside `pane`, centred. A frame within two
// pixels of that size (the engine rounds fitted frames to even sides) keeps its own size, so
// it paints without scaling.
QRect LetterboxRect(QSize shape, const QRect& pane, QSize frame = {});

// What of an image a pane paints, and where: the part of `picture` (where the whole image
// lies, possibly beyond the pane) inside `pane`, on whole pixels.
struct VisiblePart {
    QRect target;  // in the pane
    QRectF source; // in the image
};
VisiblePart VisiblePartOf(const QRectF& picture, const QRect& pane, QSize image);

// A pane's digital zoom: 1x (the letterboxed picture) to kMaxZoom. The enlarged picture may
// spill over the bars; where it covers the pane it is kept from leaving a gap, where it does
// not it stays centred. What it keeps is the zoom and the picture point at the pane's centre,
// so a resized pane shows the same part of the picture.
class PaneZoom {
public:
    static constexpr double kMaxZoom = 8.0;

    double zoom() const { return zoom_; }
    bool zoomed() const { return zoom_ > 1.0; }

    // Where the whole picture lies at this zoom, for a picture letterboxed at `letterbox` in `pane`.
    QRectF PictureRect(const QRectF& letterbox, const QRectF& pane) const;
    // Multiplies the zoom by `factor` (kept within 1x..kMaxZoom), keeping the picture point
    // under `point` where it is unless that would open a gap. False when nothing changed.
    bool ZoomAt(const QRectF& letterbox, const QRectF& pane, QPointF point, double factor);
    // Moves the picture by `delta` pixels, as far as it can go without opening a gap.
    bool Pan(const QRectF& letterbox, const QRectF& pane, QPointF delta);
    // Back to 1x; false when it was there.
    bool Reset();

private:
    // Takes the picture to lie at `picture` (of the current zoom's size), then as PictureRect
    // places it: no gap where it covers the pane.
    void Place(const QRectF& picture, const QRectF& letterbox, const QRectF& pane);

    double zoom_ = 1.0;
    QPointF centre_{0.5, 0.5}; // the picture point at the pane's centre, in fractions of the picture
};

} // namespace vedra
