// Text drawn into a decoded picture, as a recorder burns its clock in: light
// lines on a dark box in the top-left corner, in a built-in 5x7 font scaled
// to the picture's height (a pixel of the font is 1/150 of it), so the text
// reads the same on every machine and needs no font files or display.
#pragma once

#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

namespace vedra {

// Draws `lines` into `picture` (planar YUV 4:2:0, writable). Characters the
// font lacks are left blank; a box wider than the picture is cut at its edge.
void DrawBurnIn(AVFrame& picture, const std::vector<std::string>& lines);

} // namespace vedra
