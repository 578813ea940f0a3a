// Data packets sit at fixed offsets (packet size apart from the first), so a
// reader can count the whole ones a file really holds and go to any of them.
#pragma once

#include <cstdint>

#include "krv/krv_types.h"

// Size of the file behind `file` (opened by path), 0 when it cannot be told.
uint64_t krv_file_size(const KrvFile& file);

// Whether the data ends before the header says: the file holds fewer whole
// packets than announced, or the Data object runs past its end (a recorder
// that lost power mid-write).
struct KrvCutShort {
    bool cut = false;
    uint64_t announced = 0; // data packets count of the file properties
    uint64_t whole = 0;     // whole packets the file holds, at most `announced`
};
KrvCutShort krv_cut_short(const KrvFile& file, uint64_t fileSize);

// Limits what krv_get_packet delivers to the whole packets before the cut, so
// reading ends where the data does instead of failing with KRV_ERROR_EOF.
KrvCutShort krv_keep_whole_packets(KrvFile* file, uint64_t fileSize);

// Puts the file at packet `index` (from 0): the next krv_get_packet reads it.
// 1, or KRV_ERROR_SEEK (also for an index past the packets count).
int krv_seek_packet(KrvFile* file, uint64_t index);
