// The GUIDs of the container and what they name.
#pragma once

#include <cstdint>
#include <string>

#include "krv/krv_types.h"

// Decodes the 16 file bytes at `bytes` (Data1 u32, Data2 u16, Data3 u16, Data4).
KrvGuid krv_guid_read(const uint8_t* bytes);
// Encodes into 16 bytes.
void krv_guid_write(const KrvGuid& guid, uint8_t* bytes);

// "8-4-4-4-12" upper-case hex digits, without braces.
std::string krv_guid_text(const KrvGuid& guid);

// Object kinds first, then stream types; no match = Unknown.
KrvObjectKind krv_guid_kind(const KrvGuid& guid);

// Named GUIDs used by the writers.
extern const KrvGuid kGuidHeader;
extern const KrvGuid kGuidData;
extern const KrvGuid kGuidSimpleIndex;
extern const KrvGuid kGuidSimpleIndexKrv; // KRV variant, same layout
extern const KrvGuid kGuidFileProperties;
extern const KrvGuid kGuidStreamProperties;
extern const KrvGuid kGuidHeaderExtension;
extern const KrvGuid kGuidExtendedStreamProperties;
extern const KrvGuid kGuidAudioMedia;
extern const KrvGuid kGuidVideoMedia;
extern const KrvGuid kGuidKrvFileId; // stamped into written index objects
