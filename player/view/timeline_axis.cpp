#include "timeline_axis.h"

#include <algorithm>
#include <cmath>

namespace vedra {

namespace {

// [start, start + span) moved to lie inside the whole span, its width kept when it fits.
TimelineAxis clamped(TimelineAxis axis, double start, double span, int64_t wholeStart, int64_t wholeEnd)
{
    const double whole = double(std::max<int64_t>(1, wholeEnd - wholeStart));
    span = std::clamp(span, std::min(double(kTimelineMinSpanMs), whole), whole);
    start = std::clamp(start, double(wholeStart), double(wholeEnd) - span);
    axis.startMs = int64_t(std::llround(start));
    axis.endMs = axis.startMs + std::max<int64_t>(1, int64_t(std::llround(span)));
    return axis;
}

} // namespace

int64_t TimelineAxis::TimeAt(double x) const
{
    return startMs + int64_t(std::llround((x - left) * double(span()) / double(std::max(1, width))));
}

double TimelineAxis::XAt(int64_t ms) const
{
    return left + double(ms - startMs) * double(std::max(1, width)) / double(std::max<int64_t>(1, span()));
}

TimelineAxis ZoomedAbout(const TimelineAxis& axis, double x, double factor, int64_t wholeStart, int64_t wholeEnd)
{
    if (!(factor > 0))
        return axis;
    const double whole = double(std::max<int64_t>(1, wholeEnd - wholeStart));
    const double span = std::clamp(double(axis.span()) / factor, std::min(double(kTimelineMinSpanMs), whole), whole);
    // The instant under the pointer stays there.
    const double share = std::clamp((x - axis.left) / double(std::max(1, axis.width)), 0.0, 1.0);
    const double pinned = double(axis.startMs) + share * double(axis.span());
    return clamped(axis, pinned - share * span, span, wholeStart, wholeEnd);
}

TimelineAxis Panned(const TimelineAxis& axis, double dx, int64_t wholeStart, int64_t wholeEnd)
{
    const double shift = dx * double(axis.span()) / double(std::max(1, axis.width));
    return clamped(axis, double(axis.startMs) - shift, double(axis.span()), wholeStart, wholeEnd);
}

} // namespace vedra
