// The playing time's label: its text changes ten times a second, so it is drawn from cached
// glyphs rather than laid out anew on every repaint.
#pragma once

#include <QLabel>

#include "view/overlay_glyphs.h"

namespace vedra {

class TimeLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    OverlayGlyphs glyphs_;
};

} // namespace vedra
