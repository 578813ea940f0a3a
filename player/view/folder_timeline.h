// The timeline of a folder: its recordings on one axis of time of day, a
// lane per camera with the camera's activity as a heat strip, the gaps
// between recordings left empty, and the position of the picture marked.
// The wheel zooms from the whole span down to a minute about the pointer,
// dragging pans, hovering shows the time of day there (tooltip). A click
// only says which instant was clicked: the owner decides what opens. It
// shows what its owner gives it and nothing else. GUI thread only.
#pragma once

#include <QImage>
#include <QWidget>

#include <optional>
#include <vector>

#include "engine/folder_archive.h"
#include "view/timeline_axis.h"

namespace vedra {

class FolderTimeline : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRulerHeight = 16;  // the tick labels above the lanes
    static constexpr int kMarkHalfWidth = 4; // the position mark's triangle
    static constexpr int kLabelWidth = 16;   // the camera numbers left of the lanes

    explicit FolderTimeline(QWidget* parent = nullptr);

    // The recordings to show, in time order. A view already zoomed in stays
    // where it is; the whole span is shown otherwise.
    void SetRecordings(std::vector<ArchivedRecording> recordings);
    // The instant on screen (ms since 1970), or none.
    void SetPosition(std::optional<int64_t> unixMs);
    // The bookmarks of the folder's recordings (ms since 1970), drawn as ticks on the ruler.
    void SetBookmarks(std::vector<int64_t> unixMs);
    const std::vector<int64_t>& bookmarks() const { return bookmarks_; }
    // Shows the whole span again.
    void ShowWhole();

    const TimelineAxis& axis() const { return axis_; }
    void SetAxis(const TimelineAxis& axis); // within the whole span, as the wheel and drags keep it
    int64_t wholeStart() const { return wholeStart_; }
    int64_t wholeEnd() const { return wholeEnd_; }
    // The cameras with a lane (bit c - 1), top to bottom in camera order.
    unsigned lanes() const { return lanes_; }

    QSize sizeHint() const override { return {640, 72}; }

signals:
    void timeClicked(qint64 unixMs);
    void hovered(qint64 unixMs, QPoint globalPos);
    void hoverLeft();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void FitStrip();
    // The x of the position mark at unixMs; none outside the span shown.
    std::optional<int> MarkX(std::optional<int64_t> unixMs) const;
    // Everything but the position mark, which moves while playing: drawn once into backdrop_
    // and kept until what it shows changes (Redraw()).
    void PaintBackdrop(class QPainter& painter) const;
    void PaintRuler(class QPainter& painter) const;
    void PaintPosition(class QPainter& painter) const;
    void Redraw();
    // The lane of camera `channel` as one row of pixels across the strip.
    QImage LaneRow(int channel) const;

    std::vector<ArchivedRecording> recordings_;
    std::optional<int64_t> position_;
    std::vector<int64_t> bookmarks_;
    int64_t wholeStart_ = 0, wholeEnd_ = 1;
    unsigned lanes_ = 0;
    TimelineAxis axis_;
    bool zoomed_ = false;
    QImage backdrop_;
    bool backdropStale_ = true;

    std::optional<QPoint> pressedAt_; // while a button is held
    TimelineAxis pressedAxis_;
    bool dragging_ = false;
};

} // namespace vedra
