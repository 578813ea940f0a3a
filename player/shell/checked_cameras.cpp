#include "shell/checked_cameras.h"

#include <algorithm>

namespace vedra {

int ChannelOfBox(const Recording& recording, int box)
{
    if (!recording.singleView)
        return box + 1;
    for (int i = 0; i < 8; ++i)
        if (recording.channelMask & (1u << i))
            return i + 1;
    return 1;
}

std::vector<int> CheckedCameras(const ChannelDeck& deck)
{
    std::vector<int> cameras;
    if (deck.recording() == nullptr)
        return cameras;
    for (int box = 0; box < 4; ++box)
        if (deck.CheckedGraph(box) != nullptr)
            cameras.push_back(ChannelOfBox(*deck.recording(), box));
    std::sort(cameras.begin(), cameras.end());
    cameras.erase(std::unique(cameras.begin(), cameras.end()), cameras.end());
    return cameras;
}

} // namespace vedra
