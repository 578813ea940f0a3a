#include "snapshot_convert.h"

#include <algorithm>

namespace vedra {
namespace {

void Put16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Saturate first, then truncate toward zero (254.916 gives 254, not 255).
uint8_t SaturateThenTruncate(double v)
{
    if (v > 255.0)
        return 255;
    if (v < 0.0)
        return 0;
    return static_cast<uint8_t>(v);
}

// Truncate toward zero first, then clamp.
uint8_t TruncateThenClamp(double v)
{
    const int i = static_cast<int>(v);
    return static_cast<uint8_t>(std::clamp(i, 0, 255));
}

bool UsableSize(int width, int height)
{
    return width > 0 && height > 0 && static_cast<int64_t>(width) * height <= kMaxSnapshotPixels;
}

} // namespace

size_t BmpRowStride(int width)
{
    return (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
}

std::array<uint8_t, kBmpHeaderSize> MakeBmpHeader(int width, int height)
{
    std::array<uint8_t, kBmpHeaderSize> h{};
    const uint32_t pixelBytes = static_cast<uint32_t>(BmpRowStride(width) * static_cast<size_t>(height));
    h[0] = 'B';
    h[1] = 'M';
    Put32(&h[2], pixelBytes + kBmpHeaderSize);
    Put32(&h[10], kBmpHeaderSize);
    Put32(&h[14], 40);
    Put32(&h[18], static_cast<uint32_t>(width));
    Put32(&h[22], static_cast<uint32_t>(height));
    Put16(&h[26], 1);
    Put16(&h[28], 24);
    // compression, image size, resolutions and colour counts stay 0
    return h;
}

bool ConvertYuy2ToBgr(const uint8_t* frame, size_t length, int width, int height, std::vector<uint8_t>& out)
{
    out.clear();
    if (!frame || !UsableSize(width, height))
        return false;
    const size_t w = static_cast<size_t>(width);
    const size_t h = static_cast<size_t>(height);
    // The chroma of pixel n sits in the 4-byte group floor(n / 2); an odd width
    // reaches one group past width x height x 2.
    const size_t needed = 4 * ((w * h + 1) / 2);
    if (length < needed)
        return false;

    const size_t stride = BmpRowStride(width);
    out.assign(stride * h, 0);
    for (size_t r = 0; r < h; ++r) {
        uint8_t* dst = out.data() + (h - 1 - r) * stride;
        const uint8_t* row = frame + r * w * 2;
        for (size_t k = 0; k < w; ++k) {
            const size_t n = r * w + k;
            const double y = row[2 * k];
            const double u = frame[4 * (n / 2) + 1];
            const double v = frame[4 * (n / 2) + 3];
            const double ys = 1.164 * (y - 16);
            dst[3 * k + 0] = SaturateThenTruncate(ys + 2.017 * (u - 128));
            dst[3 * k + 1] = SaturateThenTruncate(ys - 0.392 * (u - 128) - 0.813 * (v - 128));
            dst[3 * k + 2] = SaturateThenTruncate(ys + 1.596 * (v - 128));
        }
    }
    return true;
}

bool ConvertYv12ToBgr(const uint8_t* frame, size_t length, int width, int height, std::vector<uint8_t>& out)
{
    out.clear();
    if (!frame || !UsableSize(width, height) || width < 2)
        return false;
    const size_t w = static_cast<size_t>(width);
    const size_t h = static_cast<size_t>(height);
    const size_t cw = w / 2;
    const size_t crOffset = w * h;
    const size_t cbOffset = w * h * 5 / 4;
    const size_t needed = cbOffset + ((h - 1) / 2) * cw + (w - 1) / 2 + 1;
    if (length < needed)
        return false;

    const size_t stride = BmpRowStride(width);
    out.assign(stride * h, 0);
    for (size_t r = 0; r < h; ++r) {
        uint8_t* dst = out.data() + (h - 1 - r) * stride;
        for (size_t k = 0; k < w; ++k) {
            const size_t c = (r / 2) * cw + k / 2;
            const double y = frame[r * w + k];
            const double cr = frame[crOffset + c];
            const double cb = frame[cbOffset + c];
            const double red = y + 1.370705 * (cr - 128);
            const double green = y - 0.698001 * (cb - 128) - 0.703125 * (cr - 128);
            const double blue = y + 1.732446 * (cb - 128);
            dst[3 * k + 0] = TruncateThenClamp(blue);
            dst[3 * k + 1] = TruncateThenClamp(green);
            dst[3 * k + 2] = TruncateThenClamp(red);
        }
    }
    return true;
}

} // namespace vedra
