// Copies a channel file (and optionally the audio file) into one AVI file
// without re-encoding: MPEG-4 frames and MS ADPCM blocks go in as they are.
#pragma once

#include <string>

namespace vedra {

// Writes `outPath` complete or not at all (a partial file is removed).
// `audioPath` may be empty. On failure `error` says why.
bool RemuxToAvi(const std::string& channelPath, const std::string& audioPath, const std::string& outPath,
                std::string& error);

} // namespace vedra
