// The decode pass of activity: for the seconds a camera's frame sizes cannot
// tell (KrvChannelActivity::uncertain), the frames are decoded at a quarter of
// their size and each is compared with the picture half a second before it;
// a second's value is the largest share of the picture that changed. The
// pass reads the recording once, decodes only the groups of pictures that
// reach into a wanted second and keeps one second of small pictures per
// camera, so memory stays flat however long the recording is. It runs on the
// caller's thread: the window calls it from a worker, krvtool from a helper
// process.
#pragma once

#include <atomic>

#include <string>
#include <vector>

#include "krv/krv_activity.h"
#include "krv/krv_recording_index.h"

namespace vedra {

// Per channel (0-3) and second from the counter's 0: the changed share
// (0-1), or a negative value for a second not decoded.
struct PictureChanges {
    std::vector<float> channels[4];
};

// Decodes the wanted seconds of each channel (`wanted[c][s]` non-zero) of the
// recording at `path`, whose counter's 0 is `originMs`. 1, or a negative
// KrvError when the recording cannot be read; a frame that does not decode is
// left out. When `stop` turns true (any thread) the pass ends soon with a negative KrvError.
int MeasurePictureChanges(const std::string& path, uint32_t originMs, const std::vector<uint8_t> (&wanted)[4],
                          PictureChanges& changes, const std::atomic<bool>* stop = nullptr);

} // namespace vedra
