// The order in which the recorder writes its media objects: every video frame
// and audio object by presentation time, video before audio at equal times.
#pragma once

#include <cstdint>
#include <vector>

#include "audio_track.h"
#include "video_track.h"

namespace krvsynth {

struct PlannedObject {
    uint8_t stream = 0;  // 1 = audio, 2-5 = video channels 1-4
    uint32_t track = 0;  // index into the video tracks (video only)
    uint32_t index = 0;  // frame or audio object index in its track
    uint32_t timeMs = 0; // presentation time without preroll
};

struct RecordingPlan {
    std::vector<PlannedObject> objects;
    uint32_t endMs = 0; // end of the last frame or audio object
};

// With repeat > 1 the tracks from their first key frame on (all of the audio)
// are written again, each repetition periodMs later than the one before.
RecordingPlan planRecording(const std::vector<VideoTrack>& video, const AudioTrack* audio, uint32_t startMs,
                            uint32_t periodMs, uint32_t frameMs, int repeat);

} // namespace krvsynth
