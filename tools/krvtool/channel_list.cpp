#include "channel_list.h"

#include <sstream>

namespace krvtool {

bool ParseChannelList(const std::string& text, std::vector<int>& channels)
{
    channels.clear();
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        if (item.size() != 1 || item[0] < '1' || item[0] > '4')
            return false;
        channels.push_back(item[0] - '0');
    }
    return !channels.empty();
}

} // namespace krvtool
