// The decode pass from krvtool: runs krvtool-motion beside the program for
// the uncertain seconds of an indexed recording and hands its answer to the
// activity rules. Without the helper the activity of the frame sizes stays.
#pragma once

#include <string>

#include "krv/krv_activity.h"

namespace krvtool {

// False when the helper is missing or failed (the activity is left as it is).
bool confirmWithPictures(const std::string& path, uint32_t originMs, KrvActivity& activity);

} // namespace krvtool
