// File names made from the local time, as krv_local_time_name writes it: "YYYYMMDDhhmmss".
#pragma once

#include <ctime>
#include <string>

namespace vedra {

// Year, month 1-12, day, hour, minute, second with no separators.
std::string LocalTimeName(std::time_t when);
std::string LocalTimeNameNow();

} // namespace vedra
