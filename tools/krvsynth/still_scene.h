// Camera pictures for activity tests: a still scene (a textured background
// that does not change), sensor noise that differs in every frame, and
// objects of a chosen size crossing the picture during chosen frames. What
// moves when is known exactly, so it can be written beside the recording as
// the truth a motion search is measured against.
#pragma once

#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

namespace krvsynth {

struct ObjectPass {
    int channel = 1;      // 1-4
    int sizePercent = 10; // side of the square, share of the picture's smaller side
    int firstSecond = 0;  // from the channel's first frame; the object is in the picture
    int lastSecond = 0;   // from the start of firstSecond to the end of lastSecond
};

struct StillScene {
    bool enabled = false;
    int sensorNoise = 0; // amplitude of the per-frame noise, luma levels
    std::vector<ObjectPass> objects;
};

// Draws frame `index` (of `fps` per second) of channel `channel` into a yuv420p frame.
void drawStillScene(AVFrame* frame, const StillScene& scene, int channel, int index, int fps);

// The truth beside the recording: "CH FIRST_MS LAST_MS SIZE%" per object pass,
// the times of its first and last frame as the reader delivers them.
bool writeMotionTruth(const std::string& path, const StillScene& scene, uint32_t startMs, int fps, int frameCount,
                      std::string& error);

} // namespace krvsynth
