// What the catalog keeps of one recording: the key that tells whether the row
// still describes the file, the facts and times the commands answer from,
// every frame of the index and the activity of every camera.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "krv/krv_activity.h"
#include "krv/krv_recording_index.h"

namespace vedra {

// A row is the file's only while all four agree.
struct CatalogKey {
    std::string path;       // absolute
    uint64_t size = 0;      // bytes
    int64_t modifiedNs = 0; // ns since 1970
    std::string fileId;     // the header's file ID (krv_guid_text)
};

struct CatalogChannel {
    int channel = 0; // 1-4
    uint64_t frames = 0;
    uint64_t keyFrames = 0;
    uint32_t firstMs = 0; // frame times, preroll subtracted
    uint32_t lastMs = 0;
    uint32_t activeSeconds = 0;
    double stillLevel = 0; // bytes of a still predicted frame
    double spread = 0;     // share of the still level
    std::vector<KrvFrameEntry> frameIndex;
    std::vector<float> secondScores; // per second from the counter's 0
};

struct CatalogEntry {
    CatalogKey key;
    uint64_t creationDate = 0; // trusted FILETIME, 0: none
    bool hasMedia = false;
    uint32_t originMs = 0; // the counter's 0
    uint32_t lastMs = 0;   // the last frame
    bool cutShort = false;
    uint64_t packetsAnnounced = 0;
    uint64_t packetsRead = 0;
    uint64_t damagedPackets = 0;
    uint64_t missingPackets = 0;
    bool audio = false;
    uint32_t audioFirstMs = 0;
    uint32_t audioEndMs = 0;
    std::vector<CatalogChannel> channels; // present channels, in order
    std::vector<KrvActivitySpan> spans;   // every channel's, in time order
};

// The entry of an indexed recording.
CatalogEntry catalogEntryOf(const CatalogKey& key, const KrvRecordingIndex& index, const KrvActivity& activity);

} // namespace vedra
