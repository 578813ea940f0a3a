#include "pane_picture.h"

#include <libyuv/convert_argb.h>
#include <libyuv/planar_functions.h>
#include <libyuv/scale.h>
#include <libyuv/scale_argb.h>

#include <algorithm>
#include <cstddef>

#include "pane_filters.h"

namespace vedra {
namespace {

// Bilinear on both sides: the picture's own pixels in a large pane are read best smoothed, and
// libyuv's bilinear rows cost little more than point sampling.
constexpr libyuv::FilterMode kScaleFilter = libyuv::kFilterBilinear;
// Chroma samples are spread over the pixels between them as GStreamer's converter does.
constexpr libyuv::FilterMode kChromaFilter = libyuv::kFilterBilinear;

// The constants for Y U V order, and for Y V U order (writing R G B rather than B G R).
const libyuv::YuvConstants* ConstantsOf(YuvMatrix matrix, bool swapped)
{
    switch (matrix) {
    case YuvMatrix::Bt709: return swapped ? &libyuv::kYvuH709Constants : &libyuv::kYuvH709Constants;
    case YuvMatrix::Bt601Full: return swapped ? &libyuv::kYvuJPEGConstants : &libyuv::kYuvJPEGConstants;
    case YuvMatrix::Bt601: break;
    }
    return swapped ? &libyuv::kYvuI601Constants : &libyuv::kYuvI601Constants;
}

// In a pane taller than the picture: libyuv's bilinear column filter costs about the same per
// sample in every layout, and a 4:2:0 picture has 1.5 samples a pixel to BGRx's one, so scaling
// after converting is cheaper as long as converting the larger picture costs less than that half
// sample.
constexpr size_t kConvertFirstAtMost = 2; // source pixels per pane pixel

// Rows converted at the picture's width cost more than libyuv's planar column filter once the
// columns shrink much (measured: HD into a quad pane, four times narrower, the same).
constexpr int kRowsFirstAtMost = 3; // source columns per pane column

int HalfUp(int side)
{
    return (side + 1) / 2;
}

// Converts a picture of its own size: BGRx with the unused byte 0xff, or R G B bytes.
bool Convert(const PlanarPicture& p, YuvMatrix matrix, FramePixels pixels, uint8_t* out, int stride)
{
    if (pixels == FramePixels::Bgrx)
        return libyuv::I420ToARGBMatrixFilter(p.y, p.strideY, p.u, p.strideU, p.v, p.strideV, out, stride,
                                              ConstantsOf(matrix, false), p.width, p.height, kChromaFilter) == 0;
    // libyuv's RGB24 is B G R in memory; with U and V swapped it writes R G B.
    return libyuv::I420ToRGB24MatrixFilter(p.y, p.strideY, p.v, p.strideV, p.u, p.strideU, out, stride,
                                           ConstantsOf(matrix, true), p.width, p.height, kChromaFilter) == 0;
}

// The plane filter's shuffles reach as far as shrinking twofold; shrinking more, the BGRx columns
// are filtered after converting at the picture's width.
constexpr int kPlaneColumnsAtMost = 2; // source columns per pane column

// Shrinking vertically: the planes' rows blended down to the pane's rows first (4:2:2, one
// chroma row per output row), so the conversion runs on fewer rows; then the planes' columns
// filtered to the pane's width, so it runs on fewer columns too (measured: CIF into a quad pane
// 30 % less, VGA into it 40 % less than filtering the BGRx columns after converting).
bool ShrinkRowsFirst(FilterPath path, const PlanarPicture& source, YuvMatrix matrix, int width, int height,
                     uint8_t* out, int stride, std::vector<uint8_t>& scratch)
{
    const int chromaWidth = HalfUp(source.width);
    const size_t lumaBytes = static_cast<size_t>(source.width) * static_cast<size_t>(height);
    const size_t chromaBytes = static_cast<size_t>(chromaWidth) * static_cast<size_t>(height);
    const bool sameWidth = width == source.width;
    const bool planeColumns = !sameWidth && source.width <= kPlaneColumnsAtMost * width;
    const int paneChromaWidth = HalfUp(width);
    const size_t paneLumaBytes = static_cast<size_t>(width) * static_cast<size_t>(height);
    const size_t paneChromaBytes = static_cast<size_t>(paneChromaWidth) * static_cast<size_t>(height);
    const size_t afterBytes = sameWidth ? 0 : planeColumns ? paneLumaBytes + 2 * paneChromaBytes : lumaBytes * 4;
    scratch.resize(lumaBytes + 2 * chromaBytes + afterBytes);
    uint8_t* y = scratch.data();
    uint8_t* u = y + lumaBytes;
    uint8_t* v = u + chromaBytes;
    // A chroma row sits centred between its two luma rows: luma position p is chroma (p - 1/2) / 2.
    const FilterPositions luma = CentredPositions(source.height, height);
    const FilterPositions chroma{(luma.first - 0x8000) / 2, luma.step / 2};
    const int chromaRows = HalfUp(source.height);
    if (!ScalePaneRows(path, source.y, source.strideY, source.height, y, source.width, source.width, height, luma) ||
        !ScalePaneRows(path, source.u, source.strideU, chromaRows, u, chromaWidth, chromaWidth, height, chroma) ||
        !ScalePaneRows(path, source.v, source.strideV, chromaRows, v, chromaWidth, chromaWidth, height, chroma))
        return false;
    const libyuv::YuvConstants* constants = ConstantsOf(matrix, false);
    if (planeColumns) {
        uint8_t* paneY = v + chromaBytes;
        uint8_t* paneU = paneY + paneLumaBytes;
        uint8_t* paneV = paneU + paneChromaBytes;
        // A pane chroma sample serves pane pixels 2j and 2j + 1: it is read at their midpoint,
        // picture luma position first + (2j + 1/2) step, which is chroma (p - 1/2) / 2.
        const FilterPositions lumaColumns = CentredPositions(source.width, width);
        const FilterPositions chromaColumns{(lumaColumns.first + lumaColumns.step / 2 - 0x8000) / 2, lumaColumns.step};
        return ScalePlaneColumns(path, y, source.width, source.width, paneY, width, width, height, lumaColumns) &&
               ScalePlaneColumns(path, u, chromaWidth, chromaWidth, paneU, paneChromaWidth, paneChromaWidth, height,
                                 chromaColumns) &&
               ScalePlaneColumns(path, v, chromaWidth, chromaWidth, paneV, paneChromaWidth, paneChromaWidth, height,
                                 chromaColumns) &&
               libyuv::I422ToARGBMatrix(paneY, width, paneU, paneChromaWidth, paneV, paneChromaWidth, out, stride,
                                        constants, width, height) == 0;
    }
    // At the pane's width already the rows are converted straight into the pane picture.
    uint8_t* picture = sameWidth ? out : v + chromaBytes;
    const int pictureStride = sameWidth ? stride : source.width * 4;
    if (libyuv::I422ToARGBMatrix(y, source.width, u, chromaWidth, v, chromaWidth, picture, pictureStride, constants,
                                 source.width, height) != 0)
        return false;
    return sameWidth || ScalePaneColumns(path, picture, pictureStride, source.width, out, stride, width, height);
}

// In a pane taller than the picture: converted at its own size, its columns filtered to the
// pane's width on the picture's rows, then the rows blended up to the pane's height (measured:
// CIF into the large pane 30 % less than libyuv's scaler and its pass setting the opaque byte).
bool GrowRowsLast(FilterPath path, const PlanarPicture& source, YuvMatrix matrix, int width, int height, uint8_t* out,
                  int stride, std::vector<uint8_t>& scratch)
{
    const int convertedStride = source.width * 4;
    const int columnsStride = width * 4;
    const size_t convertedBytes = static_cast<size_t>(convertedStride) * static_cast<size_t>(source.height);
    scratch.resize(convertedBytes + static_cast<size_t>(columnsStride) * static_cast<size_t>(source.height));
    uint8_t* columns = scratch.data() + convertedBytes;
    return libyuv::I420ToARGBMatrix(source.y, source.strideY, source.u, source.strideU, source.v, source.strideV,
                                    scratch.data(), convertedStride, ConstantsOf(matrix, false), source.width,
                                    source.height) == 0 &&
           ScalePaneColumns(path, scratch.data(), convertedStride, source.width, columns, columnsStride, width,
                            source.height) &&
           ScalePaneRows(path, columns, columnsStride, source.height, out, stride, columnsStride, height,
                         CentredPositions(source.height, height));
}

} // namespace

int PanePictureStride(FramePixels pixels, int width)
{
    const int bytes = pixels == FramePixels::Bgrx ? 4 : 3;
    return (width * bytes + 3) / 4 * 4;
}

bool ConvertToPanePicture(const PlanarPicture& source, YuvMatrix matrix, FramePixels pixels, int width, int height,
                          uint8_t* out, int stride, std::vector<uint8_t>& scratch)
{
    if (!source.y || !source.u || !source.v || source.width <= 0 || source.height <= 0 || width <= 0 || height <= 0 ||
        stride < PanePictureStride(pixels, width) || !out)
        return false;
    if (width == source.width && height == source.height)
        return Convert(source, matrix, pixels, out, stride);
    const size_t outPixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    const size_t sourcePixels = static_cast<size_t>(source.width) * static_cast<size_t>(source.height);
    // Without AVX2 the filters' plain loops are slower than libyuv's rows: libyuv's order stays.
    const FilterPath path = BestFilterPath();
    const bool filters = pixels == FramePixels::Bgrx && path == FilterPath::Avx2 &&
                         std::max({source.width, source.height, width, height}) <= kMaxFilterSide;
    if (filters && height <= source.height && source.width <= kRowsFirstAtMost * width)
        return ShrinkRowsFirst(path, source, matrix, width, height, out, stride, scratch);
    if (filters && height > source.height && sourcePixels <= kConvertFirstAtMost * outPixels)
        return GrowRowsLast(path, source, matrix, width, height, out, stride, scratch);
    if (pixels == FramePixels::Bgrx && sourcePixels <= kConvertFirstAtMost * outPixels) {
        // The scaler's filter smooths the chroma anyway: converted without filtering first.
        const int sourceStride = source.width * 4;
        scratch.resize(std::max(sourcePixels * 4, static_cast<size_t>(width)));
        if (libyuv::I420ToARGBMatrix(source.y, source.strideY, source.u, source.strideU, source.v, source.strideV,
                                     scratch.data(), sourceStride, ConstantsOf(matrix, false), source.width,
                                     source.height) != 0 ||
            libyuv::ARGBScale(scratch.data(), sourceStride, source.width, source.height, out, stride, width, height,
                              kScaleFilter) != 0)
            return false;
        // The filter weighs in 7 bits and turns the opaque byte into 0xfe: a row of 0xff
        // (stride 0) makes it opaque again.
        std::fill_n(scratch.begin(), width, uint8_t{0xff});
        return libyuv::ARGBCopyYToAlpha(scratch.data(), 0, out, stride, width, height) == 0;
    }
    // A much larger picture, or R G B bytes: scale the planes, then convert at the final size.
    const int chromaWidth = HalfUp(width);
    const int chromaHeight = HalfUp(height);
    const size_t lumaBytes = outPixels;
    const size_t chromaBytes = static_cast<size_t>(chromaWidth) * static_cast<size_t>(chromaHeight);
    scratch.resize(lumaBytes + 2 * chromaBytes);
    PlanarPicture scaled{.y = scratch.data(),
                         .u = scratch.data() + lumaBytes,
                         .v = scratch.data() + lumaBytes + chromaBytes,
                         .strideY = width,
                         .strideU = chromaWidth,
                         .strideV = chromaWidth,
                         .width = width,
                         .height = height};
    if (libyuv::I420Scale(source.y, source.strideY, source.u, source.strideU, source.v, source.strideV, source.width,
                          source.height, scratch.data(), width, scratch.data() + lumaBytes, chromaWidth,
                          scratch.data() + lumaBytes + chromaBytes, chromaWidth, width, height, kScaleFilter) != 0)
        return false;
    return Convert(scaled, matrix, pixels, out, stride);
}

} // namespace vedra
