// Splitting a recording into one file per channel: "Video1.krv" to
// "Video4.krv" and "Audio1.wav" (normal mode), or "<name>_Video1.asf" to
// "<name>_Video4.asf" with the audio inside the file of its channel (A/V-sync
// mode).
#pragma once

#include <array>
#include <atomic>
#include <string>
#include <vector>

#include "krv/krv_log.h"
#include "krv/krv_object_assembler.h"
#include "krv/krv_types.h"

inline constexpr size_t kSplitOutputs = 5; // 0 audio, 1-4 video channels

using KrvSequenceHeader = std::array<uint8_t, kSequenceHeaderSize>;

// The recorder's video sequence header with the VOL's width and height set.
KrvSequenceHeader krv_sequence_header(uint32_t width, uint32_t height);

// Resolution index of a video size (0-8; 2 for sizes the recorder lacks).
uint8_t krv_resolution_index(uint32_t width, uint32_t height);

// The recording's file name without its last four characters.
std::string krv_base_name(const std::string& path);

// One file a split wrote. Times are the recording's own (ms, preroll
// subtracted): a channel file's times had its rebasing taken off and the
// audio file counts from its first block, so a player puts the file's time 0
// at offsetMs on the recording's timeline to play every file at the
// recording's time.
struct KrvSplitFile {
    size_t output = 0;         // 0 the audio file, 1-4 the file of channel 1-4
    std::string path;          // its name now that the split is done
    uint64_t count = 0;        // packets of a channel file, samples of the audio file; 0: header only
    uint64_t dataBytes = 0;    // bytes of those packets, or of the audio data
    bool carriesAudio = false; // A/V-sync mode: the channel file holding the audio
    int64_t offsetMs = 0;      // where its time 0 falls, from the start of the timeline
};

// What a split wrote, in channel order: the audio file (normal mode), then
// the files of channels 1-4. A split writes a file for every channel, with a
// header only for a channel the recording does not hold.
struct KrvSplitFiles {
    std::string folder;
    bool avSync = false;
    uint32_t startMs = 0; // the first media time of the split (0 when it holds none): a player's time 0
    std::vector<KrvSplitFile> files;
};

// The file of output `output` (0 audio, 1-4 channels); null when none was written.
const KrvSplitFile* krv_split_file(const KrvSplitFiles& written, size_t output);

// How a split writes its files.
struct KrvSplitOptions {
    bool avSync = false;
    bool privateFiles = false;               // 0600 whatever the umask (working folders); else as the umask gives
    const std::atomic<bool>* stop = nullptr; // when it turns true (any thread, a signal handler), the split
                                             // ends at its next packet with KRV_ERROR_IO and EINTR
    const KrvMessageSink* sink = nullptr;    // its diagnostic lines; null: stderr
};
static_assert(std::atomic<bool>::is_always_lock_free, "a stop flag may be set from a signal handler");

// The file a split could not create or write, and the system's reason.
struct KrvSplitFailure {
    int systemError = 0; // errno; EINTR when the stop flag ended the split
    std::string path;    // the file as it would have been named
};

// Splits `recording` (opened and initialised, at its first packet) into
// `folder` (UTF-8, no trailing slash). Each file is written under a temporary
// name ("<name>.part", whose first bytes make no valid file until the end) in
// a private staging folder inside `folder` (krv_staging.h), and all move into
// place, replacing files of their names, once every one is whole; a split that
// fails removes what it wrote. 1 on success, 0 when a channel file cannot be created
// in the normal mode, or a negative KrvError; `failure` (may be null) says
// which file could not be created or written, and why. On success `written`,
// when given, receives what the split wrote.
int krv_split(KrvFile* recording, const std::string& folder, const KrvSplitOptions& options,
              KrvSplitFailure* failure = nullptr, KrvSplitFiles* written = nullptr);
