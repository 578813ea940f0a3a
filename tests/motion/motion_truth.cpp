#include "motion_truth.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

std::vector<TruthPass> readMotionTruth(const std::filesystem::path& path)
{
    std::vector<TruthPass> passes;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        TruthPass p;
        fields >> p.channel >> p.firstMs >> p.lastMs >> p.sizePercent;
        passes.push_back(p);
    }
    return passes;
}

Accuracy measureAccuracy(const KrvRecordingIndex& index, const KrvActivity& activity, int channel,
                         const std::vector<TruthPass>& truth)
{
    Accuracy a;
    const KrvChannelActivity& c = activity.channels[channel - 1];
    const uint32_t origin = index.timeline.originMs;
    uint32_t first = UINT32_MAX, last = 0;
    for (const KrvFrameEntry& f : index.frames[channel - 1]) {
        first = std::min(first, f.timeMs);
        last = std::max(last, f.timeMs);
    }
    for (uint32_t s = (std::max(first, origin) - origin) / 1000; s <= (last - origin) / 1000; ++s) {
        const long from = long(origin + s * 1000), to = from + 999;
        bool moving = false;
        for (const TruthPass& p : truth)
            moving = moving || (p.channel == channel && p.firstMs <= to && p.lastMs >= from);
        bool inSpan = false;
        for (const KrvActivitySpan& span : c.spans)
            inSpan = inSpan || (span.startMs <= s * 1000 && span.endMs > s * 1000);
        if (moving) {
            ++a.motion;
            a.motionFound += inSpan;
        } else {
            ++a.still;
            a.stillFlagged += inSpan;
        }
    }
    return a;
}
