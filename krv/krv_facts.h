// What a recording holds, measured by reading every packet: per channel its
// frames, times, rate and gaps; the audio; damaged and missing packets. A
// damaged packet is counted and skipped (packets sit at fixed offsets), so
// one bad packet does not hide the rest.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "krv/krv_object_assembler.h"
#include "krv/krv_types.h"

struct KrvGap {
    uint32_t startMs = 0;  // when the first missing frame was due
    uint32_t lengthMs = 0; // until the next frame
};

struct KrvChannelFacts {
    bool present = false; // at least one whole frame
    uint32_t width = 0;   // of the recording's video stream
    uint32_t height = 0;
    uint64_t frames = 0;
    uint64_t keyFrames = 0;
    uint64_t bytes = 0;   // of its frames
    double frameRate = 0; // from the median gap between frame times; 0 when unknown
    uint32_t firstMs = 0; // presentation times, preroll subtracted
    uint32_t lastMs = 0;
    std::vector<KrvGap> gaps; // runs where the next frame comes later than 3 frame intervals
};

struct KrvAudioFacts {
    bool present = false;   // an audio stream in the header
    uint16_t formatTag = 0; // 2: MS ADPCM
    uint16_t channels = 0;
    uint32_t rate = 0; // samples per second
    uint16_t blockAlign = 0;
    uint16_t samplesPerBlock = 0;
    uint64_t objects = 0;
    uint64_t blocks = 0;
    double durationSec = 0; // blocks x samples per block / rate
};

struct KrvFacts {
    uint64_t fileSize = 0;
    uint64_t creationDate = 0; // FILETIME, 0: none
    uint64_t playDuration = 0; // 100-ns units, preroll included
    uint64_t preroll = 0;      // ms
    uint64_t packetsAnnounced = 0;
    uint64_t packetsRead = 0;    // whole packets in the file that were read
    uint64_t damagedPackets = 0; // could not be parsed, or their payloads did not fit together
    uint64_t missingPackets = 0; // announced but not in the file
    bool cutShort = false;
    KrvChannelFacts channels[4];
    KrvAudioFacts audio;
};

// The typical gap between frames: the median of the steps between the sorted
// frame times (ms); 0 when fewer than two distinct times are given.
uint32_t krv_frame_interval(std::vector<uint32_t> times);

// Gap-interval rule and rate of a run of frame times (any order).
void krv_measure_frames(std::vector<uint32_t> times, KrvChannelFacts& facts);

// Sees every whole object the facts count, in file order (the recording index).
using KrvObjectObserver = std::function<void(const KrvWholeObject&)>;

// Reads `file` (opened and initialised, at its first packet) to its end.
// 1, or a negative KrvError only when reading cannot go on at all.
int krv_gather_facts(KrvFile* file, uint64_t fileSize, KrvFacts& facts, const KrvObjectObserver& observer = {});
