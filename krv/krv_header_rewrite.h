// The header of a channel file: the recording's Header object and Data object
// header, rewritten for one channel.
#pragma once

#include <cstdint>
#include <vector>

#include "krv/krv_types.h"

// Offsets of the header layout the recorder writes.
inline constexpr uint64_t kRecorderVideoPropsOffset = 180;    // first stream properties object (video)
inline constexpr uint64_t kRecorderStreamNumberOffset = 252;  // its flags field
inline constexpr uint64_t kRecorderCompressionOffset = 285;   // its bitmap compression code
inline constexpr uint64_t kRecorderCodecListCodeOffset = 617; // the code again, in the codec list
inline constexpr uint64_t kRecorderResolutionOffset = 650;
inline constexpr uint64_t kRecorderVendorFlagOffset = 651;
inline constexpr uint64_t kRecorderVendorZeroOffset = 653;
inline constexpr uint64_t kRecorderAudioFlagOffset = 659;
inline constexpr uint64_t kRecorderAudioTableOffset = 661;

struct KrvHeaderRewrite {
    int channel = 1; // 1-4; the video stream becomes number channel + 1
    bool avSync = false;
    bool keepAudio = false;        // the A/V-sync file that carries the audio
    uint64_t audioPropsOffset = 0; // the recording's AudioMedia stream properties object
    uint64_t audioPropsSize = 0;
};

// Size of the header krv_rewrite_header gives for this copy (the same before
// and after the packets are written, so the placeholder keeps its room).
// 0 when the copy is not a header this reader accepted.
uint64_t krv_channel_header_size(const std::vector<uint8_t>& copy, const KrvHeaderRewrite& how);

// Rewrites `copy` (the recording's first bytes up to its first packet) for
// the channel, with the counters of `out` (bytesWritten, packetsWritten,
// sendDurationMs, preroll, resolutionIndex, audioPositions). Patches the
// recorder's fixed offsets only when the copy has the recorder's layout;
// any other layout gets the audio object cut out, the counts and sizes fixed
// and its video stream renumbered where the walk finds them. Empty when the
// copy is malformed.
std::vector<uint8_t> krv_rewrite_header(const std::vector<uint8_t>& copy, const KrvHeaderRewrite& how,
                                        const KrvFile& out);

// Writes the rewritten header at offset 0 of the channel file and records its
// play and send durations in `out`. 0 or a negative KrvError.
int krv_finish_header(const KrvHeaderRewrite& how, KrvFile& out, const std::vector<uint8_t>& copy);
