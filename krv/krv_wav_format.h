// Reading back what a player needs from the "fmt " chunk of a WAV file.
#pragma once

#include <cstdint>
#include <string>

inline constexpr int kWaveFormatPcm = 1;
inline constexpr int kWaveFormatAdpcm = 2;

struct KrvWavFormat {
    int formatTag = -1;                 // -1: no readable WAV file
    uint32_t samplesPerBlock = 0;       // MS ADPCM: the samples one block really holds
    uint32_t parserSamplesPerBlock = 0; // MS ADPCM: what a parser counting bytes takes it for
};

// Walks the RIFF chunks of the file (at most 64) up to "fmt "; every size is
// checked against what is left before it is used.
KrvWavFormat krv_read_wav_format(const std::string& path);
