#include "thumbnail_popup.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <algorithm>

namespace vedra {

namespace {

// The popup sits this far from the pointer, so it never covers what is hovered.
constexpr int kPointerDistance = 16;

} // namespace

ThumbnailPopup::ThumbnailPopup(QSize pictureSize, QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint), pictureSize_(pictureSize)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ThumbnailPopup::SetCameras(const std::vector<int>& channels, const QString& caption)
{
    channels_ = channels;
    std::erase_if(pictures_, [&](const auto& p) {
        return std::find(channels.begin(), channels.end(), p.first) == channels.end();
    });
    caption_ = caption;
    resize(sizeHint());
    update();
}

void ThumbnailPopup::SetPicture(int channel, const QImage& picture)
{
    pictures_[channel] = picture;
    if (!picture.isNull())
        pictureSize_ = pictureSize_.expandedTo(picture.size());
    resize(sizeHint());
    update();
}

bool ThumbnailPopup::HasPicture(int channel) const
{
    const auto found = pictures_.find(channel);
    return found != pictures_.end() && !found->second.isNull();
}

int ThumbnailPopup::columns() const
{
    // Three or four cameras in two rows, as the quad view shows them, so the popup stays narrow.
    return channels_.size() > 2 ? 2 : std::max<int>(1, int(channels_.size()));
}

QRect ThumbnailPopup::PlaceOf(size_t i) const
{
    const int column = int(i) % columns(), row = int(i) / columns();
    return {kGap + column * (pictureSize_.width() + kGap), kGap + row * (pictureSize_.height() + kGap),
            pictureSize_.width(), pictureSize_.height()};
}

QSize ThumbnailPopup::sizeHint() const
{
    const int rows = channels_.size() > 2 ? 2 : 1;
    return {kGap + columns() * (pictureSize_.width() + kGap),
            kGap + rows * (pictureSize_.height() + kGap) + kCaptionHeight};
}

void ThumbnailPopup::ShowNear(QPoint globalPos)
{
    resize(sizeHint());
    QPoint at = globalPos + QPoint(kPointerDistance, -height() - kPointerDistance);
    if (const QScreen* screen = QGuiApplication::screenAt(globalPos)) {
        const QRect area = screen->availableGeometry();
        if (at.y() < area.top())
            at.setY(globalPos.y() + kPointerDistance);
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - width())));
    }
    move(at);
    show();
    raise();
}

void ThumbnailPopup::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(16, 16, 20));
    painter.setPen(QColor(90, 90, 100));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    QFont font = painter.font();
    font.setPixelSize(10);
    painter.setFont(font);
    for (size_t i = 0; i < channels_.size(); ++i) {
        const QRect place = PlaceOf(i);
        const auto found = pictures_.find(channels_[i]);
        if (found != pictures_.end() && !found->second.isNull()) {
            // The picture keeps its shape inside its place.
            const QSize fitted = found->second.size().scaled(place.size(), Qt::KeepAspectRatio);
            const QRect target(place.topLeft() +
                                   QPoint((place.width() - fitted.width()) / 2, (place.height() - fitted.height()) / 2),
                               fitted);
            painter.fillRect(place, Qt::black);
            painter.drawImage(target, found->second);
        } else {
            painter.fillRect(place, QColor(36, 36, 42));
        }
        painter.setPen(Qt::white);
        painter.drawText(place.adjusted(3, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop, QString::number(channels_[i]));
    }
    painter.setPen(QColor(220, 220, 225));
    painter.drawText(QRect(0, height() - kCaptionHeight - kGap, width(), kCaptionHeight + kGap), Qt::AlignCenter,
                     caption_);
}

} // namespace vedra
