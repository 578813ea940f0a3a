#include "burn_in_overlay.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace vedra {
namespace {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr double kFontPixelsPerPicture = 150.0; // picture rows per font pixel
constexpr uint8_t kBoxLuma = 16;                // video black
constexpr uint8_t kTextLuma = 235;              // video white
constexpr uint8_t kNeutralChroma = 128;

struct Glyph {
    char c;
    const char* rows[kGlyphHeight];
};

// What the time of day ("2026-01-02 00:00:07", "+00:00:07.400") and "Camera N" need.
constexpr Glyph kFont[] = {
    {'0', {" ### ", "#   #", "#  ##", "# # #", "##  #", "#   #", " ### "}},
    {'1', {"  #  ", " ##  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "}},
    {'2', {" ### ", "#   #", "    #", "   # ", "  #  ", " #   ", "#####"}},
    {'3', {"#####", "   # ", "  #  ", "   # ", "    #", "#   #", " ### "}},
    {'4', {"   # ", "  ## ", " # # ", "#  # ", "#####", "   # ", "   # "}},
    {'5', {"#####", "#    ", "#### ", "    #", "    #", "#   #", " ### "}},
    {'6', {"  ## ", " #   ", "#    ", "#### ", "#   #", "#   #", " ### "}},
    {'7', {"#####", "    #", "   # ", "  #  ", " #   ", " #   ", " #   "}},
    {'8', {" ### ", "#   #", "#   #", " ### ", "#   #", "#   #", " ### "}},
    {'9', {" ### ", "#   #", "#   #", " ####", "    #", "   # ", " ##  "}},
    {'-', {"     ", "     ", "     ", " ### ", "     ", "     ", "     "}},
    {':', {"     ", " ##  ", " ##  ", "     ", " ##  ", " ##  ", "     "}},
    {'.', {"     ", "     ", "     ", "     ", "     ", " ##  ", " ##  "}},
    {'+', {"     ", "  #  ", "  #  ", "#####", "  #  ", "  #  ", "     "}},
    {'C', {" ### ", "#   #", "#    ", "#    ", "#    ", "#   #", " ### "}},
    {'a', {"     ", "     ", " ### ", "    #", " ####", "#   #", " ####"}},
    {'e', {"     ", "     ", " ### ", "#   #", "#####", "#    ", " ### "}},
    {'m', {"     ", "     ", "## # ", "# # #", "# # #", "#   #", "#   #"}},
    {'r', {"     ", "     ", "# ## ", "##  #", "#    ", "#    ", "#    "}},
};

const Glyph* GlyphOf(char c)
{
    for (const Glyph& g : kFont)
        if (g.c == c)
            return &g;
    return nullptr;
}

void Fill(uint8_t* plane, int stride, int x0, int y0, int x1, int y1, uint8_t value)
{
    for (int y = y0; y < y1; ++y)
        std::memset(plane + ptrdiff_t(y) * stride + x0, value, size_t(x1 - x0));
}

} // namespace

void DrawBurnIn(AVFrame& picture, const std::vector<std::string>& lines)
{
    const int width = picture.width, height = picture.height;
    size_t longest = 0;
    for (const std::string& line : lines)
        longest = std::max(longest, line.size());
    if (width < 2 || height < 2 || longest == 0)
        return;
    // A font pixel of `s` picture pixels: a cell of 6 x 9 font pixels a character,
    // two of padding around the text, as large as fits the picture's width.
    const auto boxWidth = [&](int s) { return s * (4 + int(longest) * (kGlyphWidth + 1) - 1); };
    int s = std::max(1, int(std::lround(height / kFontPixelsPerPicture)));
    while (s > 1 && 2 * s + boxWidth(s) > width)
        --s;
    const int lineHeight = s * (kGlyphHeight + 2);
    // Even corners keep the chroma of the box whole.
    const int x0 = std::min(width, 2 * s) & ~1, y0 = std::min(height, 2 * s) & ~1;
    const int x1 = std::min(width, (x0 + boxWidth(s) + 1) & ~1);
    const int y1 = std::min(height, (y0 + s * 4 + int(lines.size()) * lineHeight - 2 * s + 1) & ~1);
    if (x1 <= x0 || y1 <= y0)
        return;
    Fill(picture.data[0], picture.linesize[0], x0, y0, x1, y1, kBoxLuma);
    Fill(picture.data[1], picture.linesize[1], x0 / 2, y0 / 2, x1 / 2, y1 / 2, kNeutralChroma);
    Fill(picture.data[2], picture.linesize[2], x0 / 2, y0 / 2, x1 / 2, y1 / 2, kNeutralChroma);
    for (size_t l = 0; l < lines.size(); ++l) {
        const int top = y0 + 2 * s + int(l) * lineHeight;
        for (size_t i = 0; i < lines[l].size(); ++i) {
            const Glyph* g = GlyphOf(lines[l][i]);
            const int left = x0 + 2 * s + int(i) * (kGlyphWidth + 1) * s;
            for (int row = 0; g && row < kGlyphHeight; ++row)
                for (int col = 0; col < kGlyphWidth; ++col)
                    if (g->rows[row][col] == '#')
                        Fill(picture.data[0], picture.linesize[0], std::min(left + col * s, x1),
                             std::min(top + row * s, y1), std::min(left + (col + 1) * s, x1),
                             std::min(top + (row + 1) * s, y1), kTextLuma);
        }
    }
}

} // namespace vedra
