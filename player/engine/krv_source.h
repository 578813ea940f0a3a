// The seekable source element for channel files, built on the krv reader.
#pragma once

#include <gst/gst.h>

namespace vedra {

inline constexpr const char* kKrvSourceFactory = "vedrakrvsrc";

// Registers the element inside this process (no plugin file). Idempotent.
bool RegisterKrvSource();

}  // namespace vedra
