#include "view/overlay_glyphs.h"

#include <QFontMetrics>
#include <QPainter>

#include <cmath>

namespace vedra {
namespace {

// Room for a glyph's ink beyond its advance (italic overhang, antialiasing).
constexpr int kBleed = 2;
// Beyond Latin, shaping may join or reorder characters: such text goes to the painter.
constexpr char16_t kLastCachedChar = 0x024f;
constexpr size_t kMostGlyphs = 1024;
// The painter places glyphs at quarter pixels: each glyph is kept at the four places.
constexpr int kPhases = 4;

} // namespace

void OverlayGlyphs::Use(const QFont& font, const QColor& color, qreal pixelRatio)
{
    if (font == font_ && color == color_ && pixelRatio == pixelRatio_)
        return;
    font_ = font;
    color_ = color;
    pixelRatio_ = pixelRatio;
    glyphs_.clear();
}

bool OverlayGlyphs::Cacheable(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() > kLastCachedChar || c.category() == QChar::Mark_NonSpacing || !c.isPrint())
            return false;
    return true;
}

bool OverlayGlyphs::Place(const QString& text, qreal left, QVarLengthArray<Placed, 32>& placed)
{
    placed.clear();
    if (!Cacheable(text))
        return false;
    qreal x = left;
    for (QChar c : text) {
        // The quarter pixel nearest the glyph's place on the line.
        const qreal quarters = std::round(x * kPhases);
        const int whole = int(std::floor(quarters / kPhases));
        const Glyph* glyph = GlyphOf(c, int(quarters) - whole * kPhases);
        if (!glyph)
            return false;
        placed.push_back({glyph, whole});
        x += glyph->advance;
    }
    return true;
}

QSize OverlayGlyphs::Measure(const QString& text)
{
    const QFontMetrics metrics(font_);
    QVarLengthArray<Placed, 32> placed;
    if (!Place(text, 0, placed) || placed.empty())
        return {metrics.horizontalAdvance(text), metrics.height()};
    const Placed& last = placed.back();
    return {int(std::ceil(last.x + last.glyph->advance)), metrics.height()};
}

const OverlayGlyphs::Glyph* OverlayGlyphs::GlyphOf(QChar c, int phase)
{
    const uint32_t key = uint32_t(c.unicode()) * kPhases + uint32_t(phase);
    const auto found = glyphs_.find(key);
    if (found != glyphs_.end())
        return &found->second;
    if (glyphs_.size() >= kMostGlyphs)
        return nullptr;
    const QFontMetrics metrics(font_);
    Glyph glyph;
    glyph.advance = QFontMetricsF(font_).horizontalAdvance(c);
    const QSize size(int(std::ceil(glyph.advance)) + 2 * kBleed, metrics.height());
    glyph.image = QImage(size * pixelRatio_, QImage::Format_ARGB32_Premultiplied);
    glyph.image.setDevicePixelRatio(pixelRatio_);
    glyph.image.fill(Qt::transparent);
    QPainter painter(&glyph.image);
    painter.setFont(font_);
    painter.setPen(color_);
    painter.drawText(QPointF(kBleed + qreal(phase) / kPhases, metrics.ascent()), QString(c));
    painter.end();
    return &glyphs_.emplace(key, std::move(glyph)).first->second;
}

void OverlayGlyphs::Draw(QPainter& painter, QPoint at, const QString& text)
{
    QVarLengthArray<Placed, 32> placed;
    if (Place(text, at.x(), placed)) {
        for (const Placed& p : placed)
            painter.drawImage(QPoint(p.x - kBleed, at.y()), p.glyph->image);
        return;
    }
    const QFontMetrics metrics(font_);
    painter.setFont(font_);
    painter.setPen(color_);
    painter.drawText(QPoint(at.x(), at.y() + metrics.ascent()), text);
}

} // namespace vedra
