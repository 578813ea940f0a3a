// Splitting a recording into one file per channel.
#pragma once

#include <string>

#include "krv/krv_types.h"

int krv_split(KrvFile* recording, const std::string& folder, bool avSync);
