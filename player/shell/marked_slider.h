// The progress trackbar with the in and out marks of a range to export drawn on it, and the
// recording's bookmarks as small ticks below the groove.
#pragma once

#include <QSlider>

#include <optional>
#include <vector>

namespace vedra {

class MarkedSlider : public QSlider {
    Q_OBJECT

public:
    explicit MarkedSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

    // Positions on the trackbar's range; -1: no such mark.
    void SetMarks(int in, int out);
    int markIn() const { return in_; }
    int markOut() const { return out_; }
    // Positions of the bookmarks on the trackbar's range.
    void SetBookmarks(std::vector<int> positions);
    const std::vector<int>& bookmarks() const { return bookmarks_; }

    // The position a click at x sets, by the geometry XOf draws with.
    int ValueAt(int x) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    // A new value that leaves the thumb on the pixel it was painted at repaints nothing: the
    // playing time moves the value ten times a second, the thumb far less often.
    void sliderChange(SliderChange change) override;

private:
    // Where the thumb's centre can stand, as the style draws it.
    struct Track {
        int left = 0;
        int span = 0;
        bool upsideDown = false;
        // The centre's offset from `left` at a position.
        int Of(const QAbstractSlider& slider, int position) const;
    };
    Track ThumbTrack() const;
    int XOf(int position) const;
    // The track and the thumb's place on it at the last whole repaint; none since a partial one.
    std::optional<Track> painted_;
    int paintedThumb_ = 0;
    int in_ = -1;
    int out_ = -1;
    std::vector<int> bookmarks_;
};

} // namespace vedra
