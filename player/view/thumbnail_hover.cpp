#include "thumbnail_hover.h"

#include <vector>

namespace vedra {

namespace {

// The popup's place for a camera before its picture comes: a 4:3 picture of the thumbnails' width.
const QSize kPlaceholder(ThumbnailSource::kDefaultWidth, ThumbnailSource::kDefaultWidth * 3 / 4);

} // namespace

ThumbnailHover::ThumbnailHover(QWidget* parent, size_t cacheBytes)
    : popup_(std::make_unique<ThumbnailPopup>(kPlaceholder, parent)),
      source_([this](const std::string& path, int channel, uint32_t, const QImage&) { Answered(path, channel); },
              ThumbnailSource::kDefaultWidth, cacheBytes)
{}

void ThumbnailHover::Show(const std::string& path, uint32_t offsetMs, unsigned cameras, const QString& caption,
                          QPoint globalPos)
{
    path_ = path;
    offsetMs_ = offsetMs;
    std::vector<int> channels;
    for (int c = 1; c <= 4; ++c)
        if (cameras & (1u << (c - 1)))
            channels.push_back(c);
    popup_->SetCameras(channels, caption);
    for (int c : channels)
        popup_->SetPicture(c, source_.Request(path, c, offsetMs).value_or(QImage()));
    popup_->ShowNear(globalPos);
}

void ThumbnailHover::Hide()
{
    path_.clear();
    popup_->hide();
}

void ThumbnailHover::Answered(const std::string& path, int channel)
{
    if (path != path_)
        return;
    // The answer was for an earlier instant; it is shown when its key frame is also the one now hovered.
    if (const std::optional<QImage> picture = source_.Find(path_, channel, offsetMs_))
        popup_->SetPicture(channel, *picture);
}

} // namespace vedra
