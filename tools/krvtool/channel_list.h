// Channel lists as every command takes them: "1,3".
#pragma once

#include <string>
#include <vector>

namespace krvtool {

// Parses "1,3" into channel numbers 1-4; false on anything else.
bool ParseChannelList(const std::string& text, std::vector<int>& channels);

} // namespace krvtool
