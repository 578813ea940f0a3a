// Pictures near the pointer while a time line is hovered: asks the
// thumbnail source for each checked camera at the instant hovered and shows
// them in a popup, at once from the cache, else as each is decoded. An answer
// is shown when it still stands for the instant hovered by then. Owns the
// source and the popup; GUI thread only.
#pragma once

#include <QPoint>
#include <QString>

#include <memory>
#include <string>

#include "engine/thumbnail_source.h"
#include "view/thumbnail_popup.h"

namespace vedra {

class ThumbnailHover {
public:
    explicit ThumbnailHover(QWidget* parent, size_t cacheBytes = ThumbnailSource::kDefaultCacheBytes);

    // The cameras in `cameras` (bit c - 1) of the recording at `path` at
    // `offsetMs` from its counter's 0, near `globalPos`, over `caption`.
    void Show(const std::string& path, uint32_t offsetMs, unsigned cameras, const QString& caption, QPoint globalPos);
    void Hide();

    ThumbnailPopup& popup() { return *popup_; }
    ThumbnailSource& source() { return source_; }

private:
    void Answered(const std::string& path, int channel);

    std::unique_ptr<ThumbnailPopup> popup_;
    ThumbnailSource source_;
    std::string path_; // hovered; empty when hidden
    uint32_t offsetMs_ = 0;
};

} // namespace vedra
