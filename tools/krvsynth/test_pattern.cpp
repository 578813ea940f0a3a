#include "test_pattern.h"

#include <algorithm>
#include <array>

namespace krvsynth {

namespace {

struct Yuv {
    uint8_t y, u, v;
};

constexpr Yuv fromRgb(int r, int g, int b)
{
    // BT.601 limited range
    return Yuv{uint8_t(16 + ((66 * r + 129 * g + 25 * b + 128) >> 8)),
               uint8_t(128 + ((-38 * r - 74 * g + 112 * b + 128) >> 8)),
               uint8_t(128 + ((112 * r - 94 * g - 18 * b + 128) >> 8))};
}

constexpr std::array<Yuv, 4> kBackground = {fromRgb(20, 40, 160), fromRgb(170, 30, 30), fromRgb(30, 140, 40),
                                            fromRgb(120, 40, 140)};
constexpr std::array<Yuv, 4> kBoxColour = {fromRgb(255, 255, 255), fromRgb(255, 230, 0), fromRgb(0, 230, 255),
                                           fromRgb(255, 140, 0)};
constexpr Yuv kDigitColour = fromRgb(250, 250, 120);
constexpr Yuv kBarColour = fromRgb(235, 235, 235);
constexpr Yuv kBlack = fromRgb(0, 0, 0);

// 5x7 glyphs of the digits 1-4, one row per byte, bit 4 = leftmost column.
constexpr uint8_t kGlyphs[4][7] = {
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},
};

void fillRect(AVFrame* f, int x0, int y0, int w, int h, Yuv c)
{
    x0 = std::clamp(x0, 0, f->width);
    y0 = std::clamp(y0, 0, f->height);
    int x1 = std::clamp(x0 + w, 0, f->width);
    int y1 = std::clamp(y0 + h, 0, f->height);
    for (int y = y0; y < y1; ++y)
        std::fill(f->data[0] + y * f->linesize[0] + x0, f->data[0] + y * f->linesize[0] + x1, c.y);
    for (int y = y0 / 2; y < (y1 + 1) / 2; ++y) {
        std::fill(f->data[1] + y * f->linesize[1] + x0 / 2, f->data[1] + y * f->linesize[1] + (x1 + 1) / 2, c.u);
        std::fill(f->data[2] + y * f->linesize[2] + x0 / 2, f->data[2] + y * f->linesize[2] + (x1 + 1) / 2, c.v);
    }
}

// A still texture: the same pixels in every frame, so only key frames pay for it.
void fillNoise(AVFrame* f, int y0, int channel)
{
    uint32_t state = 0x9E3779B9u * uint32_t(channel);
    for (int y = y0; y < f->height; ++y) {
        uint8_t* row = f->data[0] + y * f->linesize[0];
        for (int x = 0; x < f->width; ++x) {
            state = state * 1664525u + 1013904223u;
            row[x] = uint8_t(16 + (state >> 24) % 220);
        }
    }
    for (int p = 1; p <= 2; ++p) {
        for (int y = y0 / 2; y < f->height / 2; ++y) {
            uint8_t* row = f->data[p] + y * f->linesize[p];
            for (int x = 0; x < f->width / 2; ++x) {
                state = state * 1664525u + 1013904223u;
                row[x] = uint8_t(16 + (state >> 24) % 224);
            }
        }
    }
}

} // namespace

void drawTestPattern(AVFrame* f, const PatternStyle& style, int index)
{
    const int ch = std::clamp(style.channel, 1, 4);
    const int w = f->width;
    const int h = f->height;
    fillRect(f, 0, 0, w, h, kBackground[ch - 1]);

    // The channel number, about half the picture high.
    const int cell = std::max(2, h / 14);
    const int gx = w / 2 - (5 * cell) / 2;
    const int gy = h / 4 - cell;
    for (int row = 0; row < 7; ++row)
        for (int col = 0; col < 5; ++col)
            if (kGlyphs[ch - 1][row] & (0x10 >> col))
                fillRect(f, gx + col * cell, gy + row * cell, cell, cell, kDigitColour);

    // As many bars as the channel number along the left edge.
    const int bar = std::max(4, w / 40);
    for (int i = 0; i < ch; ++i)
        fillRect(f, bar + i * 2 * bar, h / 8, bar, h * 3 / 4, kBarColour);

    // A box crossing the picture, one step per frame.
    const int box = std::max(8, h / 8);
    const int span = std::max(1, w - box);
    const int step = std::max(2, w / 32);
    int pos = (index * step) % (2 * span);
    if (pos > span)
        pos = 2 * span - pos;
    fillRect(f, pos, h - 2 * box, box, box, kBoxColour[ch - 1]);

    // The frame number as 16 bits along the top edge.
    const int bit = std::max(4, w / 20);
    for (int b = 0; b < 16; ++b)
        fillRect(f, b * bit, 0, bit - 1, std::max(2, h / 40), (index >> (15 - b)) & 1 ? kBarColour : kBlack);

    if (style.noiseRows > 0)
        fillNoise(f, std::max(0, h - style.noiseRows) & ~1, ch);
}

} // namespace krvsynth
