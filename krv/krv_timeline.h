// Where a recording's frames lie: the instant its counter calls 0, its last
// frame, and its creation date. Every offset a user gives or is shown counts
// from that 0, whatever tool shows it: the window, krvtool's times and JSON,
// export names. A frame's own time is its payload's presentation time less
// the preroll; a packet's send time only orders the packets.
#pragma once

#include <cstdint>

#include "krv/krv_types.h"

struct KrvTimeline {
    uint64_t creationDate = 0; // FILETIME; 0 when the recording has none it can be trusted with
    bool hasMedia = false;     // a channel can start, or audio follows one
    uint32_t originMs = 0;     // the counter's 0: where a split's files begin (ms, preroll subtracted)
    uint32_t lastMs = 0;       // the latest frame or audio object near the end (ms, preroll subtracted)
};

// The creation date as a time of day can be taken from: 0 outside 1601-9999.
uint64_t krv_trusted_creation_date(uint64_t filetime);

// The first payload of a channel's file: a key frame that is whole or ends
// its packet, so the channel file begins on a picture a decoder can start on.
bool krv_channel_can_start(const KrvPayload& payload, uint16_t index, uint16_t count);

// Reads the first packets up to the first start and a little past it, and the
// last ones (`file` opened and initialised; where it stands afterwards is
// unspecified). Damaged packets are skipped. 1 or a negative KrvError.
int krv_read_timeline(KrvFile* file, uint64_t fileSize, KrvTimeline& timeline);
