// The progress trackbar with the in and out marks of a range to export drawn on it, and the
// recording's bookmarks as small ticks below the groove.
#pragma once

#include <QSlider>

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

private:
    int XOf(int position) const;
    int in_ = -1;
    int out_ = -1;
    std::vector<int> bookmarks_;
};

} // namespace vedra
