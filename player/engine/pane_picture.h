// Decoded 4:2:0 frames to the picture a pane paints: scaled to the pane's size and converted
// to its pixel layout with libyuv's SIMD rows. Runs on the streaming thread that delivers the frame, never on the GUI thread.
#pragma once

#include <cstdint>
#include <vector>

#include "frame_pixels.h"

namespace vedra {

// Borrowed planes of a decoded picture; u and v are half width and half height (rounded up).
struct PlanarPicture {
    const uint8_t* y = nullptr;
    const uint8_t* u = nullptr;
    const uint8_t* v = nullptr;
    int strideY = 0;
    int strideU = 0;
    int strideV = 0;
    int width = 0;
    int height = 0;
};

// How the picture's Y'CbCr values map to RGB.
enum class YuvMatrix {
    Bt601,     // studio range, standard definition (the cameras' own)
    Bt709,     // studio range, high definition
    Bt601Full, // full range (JPEG)
};

// Bytes per row of a pane picture width pixels wide: whole pixels, rounded up to 4 bytes.
int PanePictureStride(FramePixels pixels, int width);

// Writes `source` scaled to width x height into `out` (rows of `stride` bytes, layout `pixels`).
// `scratch` holds the intermediate picture between calls so nothing is allocated per frame once
// sizes settle. False when a size is unusable; `out` is then untouched.
bool ConvertToPanePicture(const PlanarPicture& source, YuvMatrix matrix, FramePixels pixels, int width, int height,
                          uint8_t* out, int stride, std::vector<uint8_t>& scratch);

} // namespace vedra
