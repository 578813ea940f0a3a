// krvsynth's motion truth (OUT.krv.motion) and how a recording's activity
// measures against it, for the accuracy tests and the archive benchmark.
#pragma once

#include <filesystem>
#include <vector>

#include "krv/krv_activity.h"

struct TruthPass {
    int channel = 0;
    long firstMs = 0, lastMs = 0; // first and last frame with the object
    int sizePercent = 0;
};

std::vector<TruthPass> readMotionTruth(const std::filesystem::path& path);

struct Accuracy {
    int motion = 0, motionFound = 0, still = 0, stillFlagged = 0;
};

// Over the channel's seconds from the counter's 0: a second with a frame of
// a pass is a second of motion, found when a span covers it.
Accuracy measureAccuracy(const KrvRecordingIndex& index, const KrvActivity& activity, int channel,
                         const std::vector<TruthPass>& truth);
