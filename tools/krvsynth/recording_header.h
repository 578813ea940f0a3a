// The recorder's header layout: Header object with file properties (30), an
// empty header extension (134), the video stream properties (180), the audio
// stream properties (309), a codec list whose video codec information sits at
// 617, and the recorder's settings object holding the audio channel definition
// (649), its own fields (650-661) and room for the A/V-sync audio position
// table; then the 50-byte Data object header.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "asf_guids.h"
#include "audio_track.h"
#include "byte_buffer.h"
#include "synth_options.h"

namespace krvsynth {

constexpr uint32_t kPacketSize = 32768;
// Offset of the Data object: the header ends where the packets start at 32768.
constexpr uint64_t kDataObjectOffset = kPacketSize - 50;
constexpr uint64_t kAudioDefOffset = 649;

struct HeaderFields {
    int width = 352;
    int height = 288;
    std::optional<AudioFormat> audio; // the audio stream properties object, when written
    uint8_t audioDef = 0;             // byte at offset 649
    uint64_t packets = 0;
    uint64_t playDuration = 0; // 100-ns units, preroll included
    uint64_t sendDuration = 0; // 100-ns units
    uint64_t prerollMs = 0;
    uint32_t maxBitrate = 0;
    uint64_t fileSize = 0;
    uint64_t creationDate = 0; // FILETIME: 100-ns units since 1601 UTC; 0 for none
    GuidBytes fileId{};        // the file properties' and the data object's file ID
    Damage damage = Damage::None;
};

// Header object followed by the Data object header; its size is always
// kDataObjectOffset + 50.
Bytes buildRecordingHeader(const HeaderFields& f);

// A file ID of its own for each recording, as the recorder gives one, yet the same for the
// same file name and options so that a run can be repeated byte for byte.
GuidBytes recordingFileId(const std::string& seed);

// The recorder's resolution index of a picture size.
uint8_t resolutionIndex(int width, int height);

} // namespace krvsynth
