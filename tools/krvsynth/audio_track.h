// The audio channel: MS ADPCM blocks from libavcodec's adpcm_ms encoder, and the
// recorder's audio objects, each a run of blocks framed by the bytes E1 1E.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "byte_buffer.h"

namespace krvsynth {

struct AudioFormat {
    uint16_t channels = 1;
    uint32_t sampleRate = 8000;
    uint32_t avgBytesPerSecond = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 4;
    uint16_t samplesPerBlock = 0;
    Bytes extra; // the WAVEFORMATEX extra data (32 bytes for MS ADPCM)
};

struct AudioObject {
    Bytes data;           // blocks, each preceded by E1 1E
    uint64_t firstSample; // position of the object's first sample in the track
    uint32_t blocks;
};

struct AudioTrack {
    AudioFormat format;
    std::vector<AudioObject> objects;
    uint64_t totalSamples = 0;
    uint32_t totalBlocks = 0;
};

constexpr int kAudioSampleRate = 8000;
constexpr int kAudioBlockSize = 256;
constexpr int kBlocksPerObject = 2;

// Encodes `seconds` of a tone with a beep at every second. With
// formatOnly only the format is filled (the recording has no audio payloads).
bool encodeAudioTrack(int seconds, bool formatOnly, AudioTrack& track, std::string& error);

// Time of a sample in milliseconds from the track's start.
inline uint32_t sampleTimeMs(uint64_t sample, uint32_t rate)
{
    return uint32_t(sample * 1000 / rate);
}

} // namespace krvsynth
