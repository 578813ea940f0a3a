// The simple index object closing every channel file: for every second of
// play, the packet that holds that moment.
#pragma once

#include <memory>
#include <vector>

#include "krv/krv_types.h"

inline constexpr uint64_t kIndexInterval = 10000000; // one second in 100-ns units
inline constexpr uint32_t kIndexMaxPacketCount = 2;

// Index of a finished channel file from its per-packet send times and
// durations (seconds, as written). The entry count is the file's play
// duration (set by krv_finish_header) in whole seconds, rounded up, low 16
// bits. `avSync` selects the KRV variant of the object GUID. Null only when
// memory runs out.
std::unique_ptr<KrvIndex> krv_build_index(const KrvFile& out, const std::vector<double>& sendTimes,
                                          const std::vector<double>& durations, bool avSync);

// The object's bytes: 56-byte fixed part and 6 bytes per entry.
std::vector<uint8_t> krv_index_bytes(const KrvIndex& index);

// Appends the index object after the channel file's last packet.
// 0 or a negative KrvError.
int krv_write_index(KrvFile& out, const std::vector<uint8_t>& bytes);
