// The axis of the folder timeline: which instant (ms since 1970) lies at
// which pixel, and the view zoomed about a pixel or panned, kept within the
// folder's whole span and no narrower than a minute. Pure functions, so hit
// testing is the same in the widget and in its tests.
#pragma once

#include <cstdint>

namespace vedra {

// The narrowest view: a minute (or the whole span, when that is shorter).
inline constexpr int64_t kTimelineMinSpanMs = 60000;

struct TimelineAxis {
    int64_t startMs = 0, endMs = 1; // the instants at the strip's left and right edges
    int left = 0, width = 1;        // the strip's first pixel and its width

    // The instant at pixel `x` (linear, also outside the strip).
    int64_t TimeAt(double x) const;
    // The pixel of instant `ms`; TimeAt(XAt(t)) is t to within one pixel's time.
    double XAt(int64_t ms) const;
    int64_t span() const { return endMs - startMs; }
};

// The view `factor` times narrower (above 1: zoom in) with the instant at
// pixel `x` kept under it, inside [wholeStart, wholeEnd].
TimelineAxis ZoomedAbout(const TimelineAxis& axis, double x, double factor, int64_t wholeStart, int64_t wholeEnd);

// The view moved by `dx` pixels (positive: the picture follows a drag to the
// right, so earlier instants come in), inside [wholeStart, wholeEnd].
TimelineAxis Panned(const TimelineAxis& axis, double dx, int64_t wholeStart, int64_t wholeEnd);

} // namespace vedra
