#include "shell/time_label.h"

#include <QPainter>
#include <QStyle>

#include <cmath>

namespace vedra {

void TimeLabel::paintEvent(QPaintEvent* event)
{
    // Only plain one-line text is the glyphs' to draw; anything richer is the label's own.
    const QString shown = text();
    if (textFormat() == Qt::RichText || (textFormat() == Qt::AutoText && Qt::mightBeRichText(shown)) ||
        shown.contains('\n') || wordWrap() || frameShape() != QFrame::NoFrame || indent() > 0 || !pixmap().isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    glyphs_.Use(font(), palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()),
                devicePixelRatioF());
    // Placed as the painter places a line in a rectangle, to the fraction of a pixel.
    const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
    const qreal advance = glyphs_.Lay(shown).advance();
    qreal left = room.left();
    if (align & Qt::AlignRight)
        left = room.left() + room.width() - advance;
    else if (align & Qt::AlignHCenter)
        left = room.left() + (room.width() - advance) / 2;
    const int height = fontMetrics().height();
    int top = room.top();
    if (align & Qt::AlignBottom)
        top = room.bottom() + 1 - height;
    else if (align & Qt::AlignVCenter)
        top = room.top() + qRound((room.height() - height) / 2.0);
    const int whole = int(std::floor(left));
    const OverlayGlyphs::Line line = glyphs_.Lay(shown, left - whole);
    QPainter painter(this);
    glyphs_.Draw(painter, QPoint(whole, top), line);
}

} // namespace vedra
