#include "catalog/catalog_entry.h"

#include <algorithm>

namespace vedra {

CatalogEntry catalogEntryOf(const CatalogKey& key, const KrvRecordingIndex& index, const KrvActivity& activity)
{
    CatalogEntry e;
    e.key = key;
    e.creationDate = index.timeline.creationDate;
    e.hasMedia = index.timeline.hasMedia;
    e.originMs = index.timeline.originMs;
    e.lastMs = index.timeline.lastMs;
    e.cutShort = index.facts.cutShort;
    e.packetsAnnounced = index.facts.packetsAnnounced;
    e.packetsRead = index.facts.packetsRead;
    e.damagedPackets = index.facts.damagedPackets;
    e.missingPackets = index.facts.missingPackets;
    e.audio = index.audio;
    e.audioFirstMs = index.audioFirstMs;
    e.audioEndMs = index.audioEndMs;
    for (int c = 0; c < 4; ++c) {
        const KrvChannelFacts& f = index.facts.channels[c];
        if (!f.present)
            continue;
        const KrvChannelActivity& a = activity.channels[c];
        CatalogChannel ch;
        ch.channel = c + 1;
        ch.frames = f.frames;
        ch.keyFrames = f.keyFrames;
        ch.firstMs = f.firstMs;
        ch.lastMs = f.lastMs;
        ch.activeSeconds = uint32_t(std::count(a.active.begin(), a.active.end(), 1));
        ch.stillLevel = a.stillLevel;
        ch.spread = a.spread;
        ch.frameIndex = index.frames[c];
        ch.secondScores = a.scores;
        e.channels.push_back(std::move(ch));
        e.spans.insert(e.spans.end(), a.spans.begin(), a.spans.end());
    }
    std::stable_sort(e.spans.begin(), e.spans.end(),
                     [](const KrvActivitySpan& a, const KrvActivitySpan& b) { return a.startMs < b.startMs; });
    return e;
}

} // namespace vedra
