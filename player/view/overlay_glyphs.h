// The time overlay's text drawn from glyphs rendered once: the text changes with every frame,
// and laying it out anew each time cost more than painting the picture under it.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <QVarLengthArray>

#include <memory>
#include <vector>

class QPainter;

namespace vedra {

class OverlayGlyphs {
    struct Glyph {
        QImage image; // the character on a transparent line, with room for its ink either side
        qreal advance = 0;
    };
    struct Placed {
        const Glyph* glyph = nullptr;
        int x = 0; // the whole pixel the glyph's image is drawn from, on the line's own x
    };

public:
    // A text laid out once for both its size and its painting. Its glyphs belong to the cache:
    // a line is drawn before the cache's font, colour or pixel ratio changes.
    class Line {
    public:
        // The text's advance and the font's line height, in device-independent pixels.
        QSize size() const { return size_; }
        qreal advance() const { return advance_; }

    private:
        friend class OverlayGlyphs;
        QString text_;
        QVarLengthArray<Placed, 32> placed_;
        bool cached_ = false; // else the painter lays the text out as usual
        qreal left_ = 0;
        qreal advance_ = 0;
        QSize size_;
    };

    // The glyphs follow the font, the colour and the screen's pixel ratio; a change renders anew.
    void Use(const QFont& font, const QColor& color, qreal pixelRatio);

    // Text beyond the cached alphabet (rare: the overlay shows digits and punctuation) is left to
    // the painter's own layout.
    // `left`: where the line starts past the point it is drawn at, to a quarter pixel.
    Line Lay(const QString& text, qreal left = 0);
    // Draws the line with its top-left at `at`.
    void Draw(QPainter& painter, QPoint at, const Line& line) const;
    // The line on a box of `box`, `padding` pixels around it, into `stamp` (kept from one call to
    // the next): a pane then paints the overlay in one blend instead of one for every character.
    void Stamp(const Line& line, const QColor& box, int padding, QImage& stamp) const;

private:
    // `phase`: the glyph's quarter pixel past a whole one.
    const Glyph* GlyphOf(QChar c, int phase);
    static bool Cacheable(const QString& text);

    QFont font_;
    QColor color_;
    qreal pixelRatio_ = 1.0;
    int lineHeight_ = 0;
    int ascent_ = 0;
    // By character and quarter pixel, filled as characters are first met; each glyph stays where
    // it was made while further ones are added.
    std::vector<std::unique_ptr<Glyph>> glyphs_;
    size_t made_ = 0;
};

} // namespace vedra
