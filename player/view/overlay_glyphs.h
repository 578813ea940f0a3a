// The time overlay's text drawn from glyphs rendered once: the text changes with every frame,
// and laying it out anew each time cost more than painting the picture under it.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <QVarLengthArray>

#include <unordered_map>

class QPainter;

namespace vedra {

class OverlayGlyphs {
public:
    // The glyphs follow the font, the colour and the screen's pixel ratio; a change renders anew.
    void Use(const QFont& font, const QColor& color, qreal pixelRatio);

    // The text's advance and the font's line height, in device-independent pixels.
    QSize Measure(const QString& text);
    // Draws the text with its line's top-left at `at`. Text beyond the cached alphabet (rare:
    // the overlay shows digits and punctuation) is laid out by the painter as usual.
    void Draw(QPainter& painter, QPoint at, const QString& text);

private:
    struct Glyph {
        QImage image; // the character on a transparent line, with room for its ink either side
        qreal advance = 0;
    };
    struct Placed {
        const Glyph* glyph = nullptr;
        int x = 0; // the whole pixel the glyph's image is drawn from
    };
    // `phase`: the glyph's quarter pixel past a whole one.
    const Glyph* GlyphOf(QChar c, int phase);
    // Every character's glyph and place on a line from `left`, or false when the text is left to
    // the painter.
    bool Place(const QString& text, qreal left, QVarLengthArray<Placed, 32>& placed);
    static bool Cacheable(const QString& text);

    QFont font_;
    QColor color_;
    qreal pixelRatio_ = 1.0;
    // By character and quarter pixel; a node map, as a line's placed glyphs point into it while
    // further glyphs are added.
    std::unordered_map<uint32_t, Glyph> glyphs_;
};

} // namespace vedra
