#include "shell/marked_slider.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionSlider>

#include <algorithm>

namespace vedra {
namespace {

const QColor kRange(46, 125, 200, 90);
const QColor kMark(20, 90, 170);
constexpr int kMarkHalfWidth = 4;
const QColor kBookmark(230, 140, 0);
constexpr int kBookmarkHalfWidth = 3;

} // namespace

void MarkedSlider::SetMarks(int in, int out)
{
    if (in == in_ && out == out_)
        return;
    in_ = in;
    out_ = out;
    update();
}

void MarkedSlider::SetBookmarks(std::vector<int> positions)
{
    if (positions == bookmarks_)
        return;
    bookmarks_ = std::move(positions);
    update();
}

// The room the thumb's centre moves in, as the style draws it: its left end and its length.
MarkedSlider::Track MarkedSlider::ThumbTrack() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    return {groove.left() + handle.width() / 2, groove.width() - handle.width(), option.upsideDown};
}

int MarkedSlider::Track::Of(const QAbstractSlider& slider, int position) const
{
    return QStyle::sliderPositionFromValue(slider.minimum(), slider.maximum(), position, span, upsideDown);
}

// Where the thumb's centre stands at a position.
int MarkedSlider::XOf(int position) const
{
    const Track track = ThumbTrack();
    return track.left + track.Of(*this, position);
}

int MarkedSlider::ValueAt(int x) const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    return QStyle::sliderValueFromPosition(minimum(), maximum(), x - groove.left() - handle.width() / 2,
                                           std::max(1, groove.width() - handle.width()), option.upsideDown);
}

void MarkedSlider::sliderChange(SliderChange change)
{
    if (change == SliderValueChange && !isSliderDown() && painted_ && painted_->Of(*this, value()) == paintedThumb_)
        return;
    QSlider::sliderChange(change);
}

void MarkedSlider::paintEvent(QPaintEvent* event)
{
    // Only a whole repaint leaves a single thumb on screen.
    painted_.reset();
    if (event->rect().contains(rect())) {
        painted_ = ThumbTrack();
        paintedThumb_ = painted_->Of(*this, value());
    }
    const bool marked = in_ >= 0 || out_ >= 0;
    if (marked) {
        // The range under the groove and the thumb...
        QPainter painter(this);
        const int from = XOf(in_ >= 0 ? in_ : minimum());
        const int to = XOf(out_ >= 0 ? out_ : maximum());
        painter.fillRect(QRect(QPoint(std::min(from, to), 2), QPoint(std::max(from, to), height() - 3)), kRange);
    }
    QSlider::paintEvent(event);
    QPainter painter(this);
    painter.setPen(Qt::NoPen);
    // Bookmarks: small triangles on the bottom edge, pointing up at their instant.
    painter.setBrush(kBookmark);
    for (int position : bookmarks_) {
        const int x = XOf(position);
        const QPoint tick[] = {{x, height() - 1 - kBookmarkHalfWidth * 2},
                               {x - kBookmarkHalfWidth, height() - 1},
                               {x + kBookmarkHalfWidth, height() - 1}};
        painter.drawPolygon(tick, 3);
    }
    if (!marked)
        return;
    // ...the range's marks over them: in a flag opening to the right, out one opening to the left.
    painter.setBrush(kMark);
    for (const auto& [position, direction] : {std::pair{in_, 1}, std::pair{out_, -1}}) {
        if (position < 0)
            continue;
        const int x = XOf(position);
        painter.drawRect(x - (direction < 0 ? 1 : 0), 0, 2, height());
        const QPoint flag[] = {{x, 0}, {x + direction * kMarkHalfWidth * 2, 0}, {x, kMarkHalfWidth * 2}};
        painter.drawPolygon(flag, 3);
    }
}

} // namespace vedra
