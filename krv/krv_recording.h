// The process-wide current recording: opened by the conversion, counted,
// split and closed. One recording at a time, single thread.
#pragma once

#include <cstdint>
#include <string>

#include "krv/krv_log.h"
#include "krv/krv_splitter.h"
#include "krv/krv_types.h"

// Opens and parses the recording and keeps it as the current one (any
// previous one is closed first). 1 or a negative KrvError; when the file
// cannot be opened logs "Error opening file %s\n" and gives
// KRV_ERROR_FAIL_OPEN_FILE.
int krv_open_recording(const std::string& path);

// False when no recording is current; otherwise true with `count` = stream
// slots of type Audio or Video.
bool krv_count_media_streams(int& count);

// Splits the current recording into `folder` (UTF-8, no trailing slash) and
// closes it. The splitter's result: 1, 0 or a negative KrvError.
int krv_split_current(const std::string& folder, const KrvSplitOptions& options,
                      KrvSplitFailure* failure = nullptr, KrvSplitTimeline* timeline = nullptr);
inline int krv_split_current(const std::string& folder, bool avSync, KrvSplitTimeline* timeline = nullptr)
{
    return krv_split_current(folder, KrvSplitOptions{avSync}, nullptr, timeline);
}

// The current recording (null when none); owned here.
KrvFile* krv_current_recording();

// Closes the current recording, if any.
void krv_close_current();

struct KrvPropsLocation {
    uint64_t offset = 0; // file offset of the AudioMedia stream properties object
    uint64_t size = 0;   // its size; both 0 when the header has none
};
// Of the current recording.
KrvPropsLocation krv_audio_props_location();

// Audio channel definition (0-4) of the last file opened for reading.
uint8_t krv_audio_channel_definition();
// Called by the reader when it opens a file for reading.
void krv_note_audio_channel_definition(uint8_t value);
