// Which cameras the checked boxes stand for: what exports, snapshots and
// bookmarks of the recording on screen are for.
#pragma once

#include <vector>

#include "view/channel_deck.h"
#include "view/recording.h"

namespace vedra {

// Box i stands for channel i + 1, but the large pane of a 640 x 480 recording holds its one
// channel, whichever it is, in box 1.
int ChannelOfBox(const Recording& recording, int box);

// The cameras (1-4) of the checked boxes with a channel attached, ascending; none without a
// recording on screen.
std::vector<int> CheckedCameras(const ChannelDeck& deck);

} // namespace vedra
