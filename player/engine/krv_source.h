// The seekable source element for channel files, built on the krv reader.
#pragma once

#include <gst/gst.h>

namespace vedra {

inline constexpr const char* kKrvSourceFactory = "vedrakrvsrc";

// Registers the element inside this process (no plugin file). Idempotent.
bool RegisterKrvSource();

// Every frame leaves the source with its own time and length in a reference timestamp meta of
// these caps; decoders and converters carry it on, so a frame clipped to a seek's start still
// tells when the recorder took it. Borrowed, alive for the process.
GstCaps* FrameTimeMetaCaps();

} // namespace vedra
