// The pixel layouts a pane may ask for (standard library only, so the picture conversion builds
// without GStreamer).
#pragma once

namespace vedra {

// How a pane wants its pixels.
enum class FramePixels {
    Rgb24, // 3 bytes per pixel: R G B
    Bgrx,  // 4 bytes per pixel: B G R 0xff (QImage::Format_RGB32 on little-endian)
};

} // namespace vedra
