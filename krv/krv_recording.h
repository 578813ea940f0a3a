// A recording opened for a conversion or a split. The recording belongs to
// the caller: any number may be open at once, each used by one thread at a
// time, and its diagnostics go to the sink the caller passes.
#pragma once

#include <string>

#include "krv/krv_log.h"
#include "krv/krv_reader.h"

// Opens and parses the recording at `path` into `recording` (any recording it
// held is closed first). 1 or a negative KrvError. When the file cannot be
// opened, logs "Error opening file %s\n" to `sink`, leaves `recording` empty
// and gives KRV_ERROR_FAIL_OPEN_FILE; after a parse error `recording` holds the
// file as far as it was read.
int krv_open_recording(const std::string& path, KrvFilePtr& recording, const KrvMessageSink* sink = nullptr);

// Stream slots of type Audio or Video.
int krv_count_media_streams(const KrvFile& recording);
