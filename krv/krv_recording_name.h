// What names a recording, one rule for the player and krvtool: a name ending in ".krv" or
// ".asf", in any case, with a name before the suffix. A path ending in '/' names a folder,
// and a bare ".krv" is a hidden file without a name; neither is a recording. Whether the
// path is a regular file is the caller's to check.
#pragma once

#include <string_view>

bool krv_is_recording_name(std::string_view path);
