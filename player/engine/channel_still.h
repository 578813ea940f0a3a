// One picture of a channel file, taken the way the player's JPG and BMP
// commands take it: a graph of its own, paused, seeked to the instant, the
// frame that the seek brings through the frame tap written by the snapshot
// writer. The graph is made, used and destroyed on the calling thread, so a
// worker that touches no window may call it.
#pragma once

#include <functional>
#include <string>

#include "media_type.h"

namespace vedra {

// How long the frame of a still is waited for.
inline constexpr int kStillWaitMs = 3000;

enum class StillOutcome {
    Taken,
    CannotPlay, // the file renders no graph (decoderMissing says whether for want of the decoder)
    NoPicture,  // no frame came at that time
    NotWritten, // the frame came but no file was written
};

struct ChannelStill {
    StillOutcome outcome = StillOutcome::NoPicture;
    bool decoderMissing = false;
    double durationSeconds = 0; // of the channel file
    GrabbedMediaType type;
};

// Writes the picture of `channelFile` at `fileSeconds` (from the file's own 0)
// to `out`, replacing it. `stopped`, when given, ends the wait early.
ChannelStill TakeChannelStill(const std::string& channelFile, double fileSeconds, const std::string& out, bool jpeg,
                              const std::function<bool()>& stopped = {});

} // namespace vedra
