// The one clock every playback graph of the process runs on.
//
// Graphs that share it and are started with the same base time show the same
// instant: their running time 0 falls on the same clock time. Each graph takes
// the distribution of its base time out of GStreamer's hands, so whoever
// starts several graphs together gives them one base time.
#pragma once

#include <gst/gst.h>

namespace vedra {

// Time the graphs of one start need to be handed their base time and go to PLAYING
// before their first frame is due.
inline constexpr GstClockTime kStartMargin = 60 * GST_MSECOND;

// Borrowed: the monotonic system clock, alive for the whole process.
GstClock* SharedClock();
GstClockTime SharedClockNow();

// A base time for graphs that are cued (paused and prerolled) now.
inline GstClockTime NextBaseTime()
{
    return SharedClockNow() + kStartMargin;
}

} // namespace vedra
