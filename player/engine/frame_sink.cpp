#include "frame_sink.h"

#include <algorithm>
#include <cmath>

namespace vedra {
namespace {

// The caps of a frame take no larger side.
constexpr int kMaxFrameSide = 32767;

// The even length nearest to `length`, at most `limit` and never below 2.
int EvenSide(double length, double limit)
{
    const int nearest = 2 * static_cast<int>(std::lround(length / 2));
    const int most = 2 * static_cast<int>(std::floor(limit / 2));
    return std::max(2, std::min(nearest, most));
}

} // namespace

int DisplayWidth(const SourcePicture& source)
{
    if (!source.known())
        return 0;
    const double width = static_cast<double>(source.width) * source.parN / source.parD;
    return static_cast<int>(std::clamp(std::lround(width), 1L, static_cast<long>(kMaxFrameSide)));
}

FrameSize FrameSizeFor(const FrameRequest& request, const SourcePicture& source)
{
    if (request.hidden || request.width <= 0 || request.height <= 0)
        return {};
    if (!request.fit)
        return {std::min(request.width, kMaxFrameSide), std::min(request.height, kMaxFrameSide)};
    if (!source.known())
        return {};
    const double shapeWidth = static_cast<double>(source.width) * source.parN / source.parD;
    const double shapeHeight = source.height;
    const double mostScale = request.sourcePixelsAtMost ? 1.0 : kMaxFrameScale;
    const double scale = std::min({request.width / shapeWidth, request.height / shapeHeight, mostScale});
    const double widthLimit =
        std::min({static_cast<double>(request.width), shapeWidth * mostScale, static_cast<double>(kMaxFrameSide)});
    const double heightLimit =
        std::min({static_cast<double>(request.height), shapeHeight * mostScale, static_cast<double>(kMaxFrameSide)});
    return {EvenSide(shapeWidth * scale, widthLimit), EvenSide(shapeHeight * scale, heightLimit)};
}

VideoFrame::VideoFrame(Pixels pixelBytes, FramePixels pixels, int width, int height, int stride, GstClockTime time,
                       GstClockTime length, int sourceWidth, int sourceHeight)
    : bytes_(std::move(pixelBytes)), pixels_(pixels), width_(width), height_(height), stride_(stride), time_(time),
      length_(length), sourceWidth_(sourceWidth > 0 && sourceHeight > 0 ? sourceWidth : width),
      sourceHeight_(sourceWidth > 0 && sourceHeight > 0 ? sourceHeight : height)
{
    const int bytesPerPixel = pixels_ == FramePixels::Bgrx ? 4 : 3;
    valid_ = bytes_ && width_ > 0 && height_ > 0 && stride_ >= width_ * bytesPerPixel &&
             bytes_->size() >= static_cast<size_t>(stride_) * static_cast<size_t>(height_);
}

} // namespace vedra
