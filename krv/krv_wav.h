// The audio file of a split (normal mode): a 90-byte WAV header for
// Microsoft ADPCM followed by the unpacked ADPCM blocks.
#pragma once

#include <array>
#include <cstdint>

#include "krv/krv_types.h"

inline constexpr size_t kWavHeaderSize = 90;
inline constexpr uint32_t kWavRiffOverhead = 82;    // RIFF size = data size + 82
inline constexpr size_t kWavExtraBytes = 32;        // samples per block, count, 7 coefficient pairs
inline constexpr size_t kWavSampleCountOffset = 78; // u32 of the fact chunk
inline constexpr size_t kWavDataSizeOffset = 86;    // u32 of the data chunk

using KrvWavHeader = std::array<uint8_t, kWavHeaderSize>;

// The header as written when the file is created, from the recording's
// first audio stream (null: a recording without audio; its fields stay 0).
// The size fields are 0 until krv_finish_wav.
KrvWavHeader krv_wav_header(const KrvWaveFormat* format);

// Fills in the final sizes for `dataSize` bytes of audio data:
// offset 4 (RIFF size), 28 (average bytes per second), the sample count and
// the data size. `sendDuration` is the recording's, in 100-ns units; below
// one second the stream's average byte rate stays.
void krv_finish_wav(KrvWavHeader& header, uint32_t dataSize, uint64_t sendDuration);
