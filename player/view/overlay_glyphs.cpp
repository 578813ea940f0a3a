#include "view/overlay_glyphs.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
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
    if (!glyphs_.empty() && font == font_ && color == color_ && pixelRatio == pixelRatio_)
        return;
    font_ = font;
    color_ = color;
    pixelRatio_ = pixelRatio;
    const QFontMetrics metrics(font_);
    lineHeight_ = metrics.height();
    ascent_ = metrics.ascent();
    glyphs_.clear();
    glyphs_.resize((size_t(kLastCachedChar) + 1) * kPhases);
    made_ = 0;
}

bool OverlayGlyphs::Cacheable(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() > kLastCachedChar || c.category() == QChar::Mark_NonSpacing || !c.isPrint())
            return false;
    return true;
}

OverlayGlyphs::Line OverlayGlyphs::Lay(const QString& text, qreal left)
{
    Line line;
    line.cached_ = Cacheable(text);
    line.left_ = left;
    qreal x = left;
    for (qsizetype i = 0; line.cached_ && i < text.size(); ++i) {
        // The quarter pixel nearest the glyph's place on the line, which is drawn from a whole
        // pixel: its glyphs' phases do not depend on where.
        const qreal quarters = std::round(x * kPhases);
        const int whole = int(std::floor(quarters / kPhases));
        const Glyph* glyph = GlyphOf(text[i], int(quarters) - whole * kPhases);
        if (!glyph) {
            line.cached_ = false;
            break;
        }
        line.placed_.push_back({glyph, whole});
        x += glyph->advance;
    }
    if (!line.cached_) {
        line.placed_.clear();
        line.text_ = text;
        line.advance_ = QFontMetricsF(font_).horizontalAdvance(text);
        line.size_ = {int(std::ceil(line.advance_)), lineHeight_};
        return line;
    }
    line.advance_ = x - left;
    line.size_ = {int(std::ceil(line.advance_)), lineHeight_};
    return line;
}

const OverlayGlyphs::Glyph* OverlayGlyphs::GlyphOf(QChar c, int phase)
{
    if (glyphs_.empty())
        return nullptr; // no font in use yet
    std::unique_ptr<Glyph>& slot = glyphs_[size_t(c.unicode()) * kPhases + size_t(phase)];
    if (slot)
        return slot.get();
    if (made_ >= kMostGlyphs)
        return nullptr;
    auto glyph = std::make_unique<Glyph>();
    glyph->advance = QFontMetricsF(font_).horizontalAdvance(c);
    const QSize size(int(std::ceil(glyph->advance)) + 2 * kBleed, lineHeight_);
    glyph->image = QImage(size * pixelRatio_, QImage::Format_ARGB32_Premultiplied);
    glyph->image.setDevicePixelRatio(pixelRatio_);
    glyph->image.fill(Qt::transparent);
    QPainter painter(&glyph->image);
    painter.setFont(font_);
    painter.setPen(color_);
    painter.drawText(QPointF(kBleed + qreal(phase) / kPhases, ascent_), QString(c));
    painter.end();
    ++made_;
    slot = std::move(glyph);
    return slot.get();
}

void OverlayGlyphs::Draw(QPainter& painter, QPoint at, const Line& line) const
{
    if (line.cached_) {
        for (const Placed& p : line.placed_)
            painter.drawImage(QPoint(at.x() + p.x - kBleed, at.y()), p.glyph->image);
        return;
    }
    painter.setFont(font_);
    painter.setPen(color_);
    painter.drawText(QPointF(at.x() + line.left_, at.y() + ascent_), line.text_);
}

void OverlayGlyphs::Stamp(const Line& line, const QColor& box, int padding, QImage& stamp) const
{
    const QSize size = (QSizeF(line.size() + QSize(2 * padding, 2 * padding)) * pixelRatio_).toSize();
    if (stamp.size() != size || stamp.format() != QImage::Format_ARGB32_Premultiplied)
        stamp = QImage(size, QImage::Format_ARGB32_Premultiplied);
    stamp.setDevicePixelRatio(pixelRatio_);
    stamp.fill(box);
    if (!line.cached_) {
        QPainter painter(&stamp);
        Draw(painter, QPoint(padding, padding), line);
        return;
    }
    // Each glyph over the box, as the painter's source-over blends premultiplied pixels.
    const int top = int(std::lround(padding * pixelRatio_));
    for (const Placed& p : line.placed_) {
        const QImage& glyph = p.glyph->image;
        const int left = int(std::lround((padding + p.x - kBleed) * pixelRatio_));
        const int x0 = std::max(0, -left), x1 = std::min(glyph.width(), stamp.width() - left);
        const int rows = std::min(glyph.height(), stamp.height() - top);
        for (int y = 0; y < rows; ++y) {
            const auto* from = reinterpret_cast<const QRgb*>(glyph.constScanLine(y));
            auto* to = reinterpret_cast<QRgb*>(stamp.scanLine(top + y)) + left;
            for (int x = x0; x < x1; ++x) {
                const QRgb ink = from[x];
                const uint clear = 255 - qAlpha(ink);
                if (clear == 255)
                    continue;
                const QRgb under = to[x];
                const auto over = [clear](uint i, uint u) { return i + (u * clear + 127) / 255; };
                to[x] = qRgba(int(over(qRed(ink), qRed(under))), int(over(qGreen(ink), qGreen(under))),
                              int(over(qBlue(ink), qBlue(under))), int(over(qAlpha(ink), qAlpha(under))));
            }
        }
    }
}

} // namespace vedra
