// The video frames an exported file holds, track by track, as its container
// gives them back (libavformat): what `krvtool verify` compares with the
// recording's own frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vedra {

struct ExportedTrackFrames {
    std::vector<std::vector<uint8_t>> frames; // in file order; empty slots left out
    std::vector<double> timesMs;              // of each frame in the file (ms from its time 0)
    double tickMs = 0;                        // the track's unit of time: how exact those are
};

// Every video track of `path`, in stream order. False with `error` when the
// file cannot be read as a container.
bool ReadExportedFrames(const std::string& path, std::vector<ExportedTrackFrames>& tracks, std::string& error);

} // namespace vedra
