#include "shared_clock.h"

namespace vedra {

GstClock* SharedClock()
{
    // gst_system_clock_obtain hands out a reference to the one system clock; keep it.
    static GstClock* clock = gst_system_clock_obtain();
    return clock;
}

GstClockTime SharedClockNow()
{
    return gst_clock_get_time(SharedClock());
}

} // namespace vedra
