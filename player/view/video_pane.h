// A static pane of the main window that shows one channel's picture: letterboxed with the
// picture's own shape, enlarged by a digital zoom (wheel, drag, middle double-click), with the
// time of day of the frame in a corner.
#pragma once

#include <QFrame>
#include <QImage>
#include <QTimer>

#include <functional>
#include <memory>

#include "view/overlay_glyphs.h"
#include "view/pane_geometry.h"

namespace vedra {

class CVideoPane : public QFrame {
    Q_OBJECT

public:
    enum class Style { kBordered, kSunken };
    CVideoPane(Style style, QWidget* parent);

    // Everything below: GUI thread.

    // A null image hides the picture (the pane shows black) and resets the zoom. keepAlive owns
    // the memory image points into (a pipeline's frame), so frames are shown without a copy.
    // time: the frame's presentation time in its file, in nanoseconds; -1 when unknown.
    // shape: the size, in square pixels, of the picture the image was scaled from, whose shape
    // the pane keeps; empty when it is the image's own.
    void ShowPicture(const QImage& image, std::shared_ptr<const void> keepAlive = {}, qint64 time = -1,
                     QSize shape = {});
    // Black, and the zoom back to 1x.
    void HidePicture();
    const QImage& picture() const { return picture_; }
    qint64 pictureTime() const { return pictureTime_; }

    // The box the pane wants its frames fitted into, keeping the picture's shape: its inside,
    // times the zoom while zoomed (then no larger than the camera's own picture, which the pane
    // enlarges itself); empty while the pane is hidden. frameRequestChanged() follows a change.
    QSize frameBox() const;
    double zoom() const { return zoom_.zoom(); }
    bool zoomed() const { return zoom_.zoomed(); }
    // Back to 1x (key 0, a middle-button double-click).
    void ResetZoom();
    // Zooms by `factor` about `point` (in the pane), as the wheel does; only while a picture is shown.
    void ZoomAt(QPointF point, double factor);

    // The time overlay: `formatter` turns the time of the frame shown (pictureTime(), -1 when
    // unknown) into its text, called when the pane paints; an empty function or text shows none.
    void SetTimeText(std::function<QString(qint64 frameTimeNs)> formatter);
    void SetOverlayShown(bool shown);
    bool overlayShown() const { return overlayShown_; }
    // The text the overlay shows now: empty when hidden, without a formatter or without a picture.
    QString overlayText() const;

    // Where the picture (all of it, at the current zoom) and its letterbox lie in the pane.
    QRectF pictureRect() const;
    QRect letterboxRect() const;

    // How long the frame box must stay the same before frameRequestChanged() tells of it: a
    // dragged window edge or a spun wheel asks the engine once.
    static constexpr int kRequestSettleMs = 80;

signals:
    // A left-button double-click.
    void doubleClicked();
    // frameBox() changed (resize, zoom) and has settled: attach the pane's graph to it again
    // (AttachToPane with the same pane) so its frames follow. Never emitted from inside a call
    // into the pane.
    void frameRequestChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void ZoomChanged();
    // Starts the wait before frameRequestChanged() when frameBox() differs from the last told.
    void NoteFrameBox();
    void PaintOverlay(QPainter& painter, const QRect& picture);

    QImage picture_;
    std::shared_ptr<const void> keepAlive_;
    qint64 pictureTime_ = -1;
    QSize shape_; // the picture's shape; empty: the image's own

    PaneZoom zoom_;
    bool panning_ = false;
    QPointF panFrom_;

    std::function<QString(qint64)> timeText_;
    bool overlayShown_ = true;
    OverlayGlyphs overlayGlyphs_;
    QImage overlayStamp_; // the overlay's box with its text, drawn anew for each frame's time

    QSize toldFrameBox_; // what frameRequestChanged() last told of
    bool toldZoomed_ = false;
    QTimer requestTimer_;
};

} // namespace vedra
