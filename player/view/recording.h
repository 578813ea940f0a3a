// One open recording: the graphs of its channel files and of its audio file, and the view
// state it is shown with. Owned by the open recordings (shell/open_recordings.h); the deck
// borrows the one on screen.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "view/playback_graph.h"

namespace vedra {

struct Recording {
    std::vector<std::unique_ptr<PlaybackGraph>> channelGraphs; // rendered channel files, in order
    std::unique_ptr<PlaybackGraph> audioGraph;                 // or none
    bool singleView = false;
    // The view state of this recording, restored whenever it is shown again.
    uint8_t channelMask = 0; // bit i: channel i + 1 has a graph
    int visibleCount = 0;
    int audioChannel = -1; // box whose channel carries the audio; 4 or -1: none
    // The recording's time (ms, preroll subtracted) at the deck's time 0: where its first file
    // begins. The deck's times plus this are the recorder's own times.
    uint32_t timeBaseMs = 0;
    // When the recorder began it: 100-ns units since 1601-01-01 UTC; 0 when it did not say.
    uint64_t creationDate = 0;
};

} // namespace vedra
