#include "recording_plan.h"

#include <algorithm>

namespace krvsynth {

RecordingPlan planRecording(const std::vector<VideoTrack>& video, const AudioTrack* audio, uint32_t startMs,
                            uint32_t periodMs, uint32_t frameMs, int repeat)
{
    RecordingPlan plan;
    for (int k = 0; k < repeat; ++k) {
        const uint32_t shift = uint32_t(k) * periodMs;
        for (uint32_t t = 0; t < video.size(); ++t) {
            const VideoTrack& track = video[t];
            const size_t first = k == 0 ? 0 : track.firstKey;
            for (size_t i = first; i < track.frames.size(); ++i) {
                const uint32_t time = track.frames[i].timeMs + shift;
                plan.objects.push_back(PlannedObject{uint8_t(track.channel + 1), t, uint32_t(i), time});
                plan.endMs = std::max(plan.endMs, time + frameMs);
            }
        }
        if (audio) {
            const AudioFormat& f = audio->format;
            for (uint32_t i = 0; i < audio->objects.size(); ++i) {
                const AudioObject& o = audio->objects[i];
                const uint64_t first = uint64_t(k) * audio->totalSamples + o.firstSample;
                const uint32_t time = startMs + sampleTimeMs(first, f.sampleRate);
                plan.objects.push_back(PlannedObject{1, 0, i, time});
                const uint64_t end = first + uint64_t(o.blocks) * f.samplesPerBlock;
                plan.endMs = std::max(plan.endMs, startMs + sampleTimeMs(end, f.sampleRate));
            }
        }
    }
    // Video streams first at equal times (channel order), audio last: the
    // splitter keeps audio only from the first video key frame on.
    std::stable_sort(plan.objects.begin(), plan.objects.end(), [](const PlannedObject& a, const PlannedObject& b) {
        if (a.timeMs != b.timeMs)
            return a.timeMs < b.timeMs;
        const int ra = a.stream == 1 ? 6 : a.stream;
        const int rb = b.stream == 1 ? 6 : b.stream;
        return ra < rb;
    });
    return plan;
}

} // namespace krvsynth
