// A recording's index: every frame of every channel (its time, key flag and
// compressed size), the audio's span and the creation date, read from the
// packets in one pass from start to end, without decoding and without
// writing anything. What review tools search (activity, times of day) is
// computed from this, never from the pictures.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "krv/krv_facts.h"
#include "krv/krv_timeline.h"
#include "krv/krv_types.h"

struct KrvFrameEntry {
    uint32_t timeMs = 0; // presentation time less the preroll
    uint32_t size = 0;   // compressed bytes, sequence header included
    bool key = false;
};

struct KrvRecordingIndex {
    std::string path;
    uint64_t fileSize = 0;
    int64_t modifiedNs = 0; // the file's modification time when it was read, ns since 1970
    KrvGuid fileId;         // the file properties' file ID
    KrvTimeline timeline;   // the counter's 0, the last frame, the trusted creation date
    KrvFacts facts;         // what info --json reports: cut short, damaged and missing packets, per channel
    std::vector<KrvFrameEntry> frames[4]; // channels 1-4, in file order
    bool audio = false;                   // audio objects were read
    uint32_t audioFirstMs = 0;            // the first audio object's time
    uint32_t audioEndMs = 0;              // where the last audio object's sound ends
    bool changedWhileRead = false;        // the file was written or replaced meanwhile: the index is not to be kept
};

// Indexes the recording at `path`. 1, or a negative KrvError
// (KRV_ERROR_FAIL_OPEN_FILE when it cannot be opened or is no regular file;
// a damaged or cut-short recording is indexed up to the damage, with 1, and
// its facts say so).
// When `stop` turns true (any thread) the walk ends soon with a negative KrvError.
int krv_index_recording(const std::string& path, KrvRecordingIndex& index, const std::atomic<bool>* stop = nullptr);
