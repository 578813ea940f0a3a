// Reading a KRV recording: open, parse the header, deliver data packets one
// by one, each broken into payloads. Every function returns a non-negative
// result or a negative KrvError; nothing throws.
#pragma once

#include <string>

#include "krv/krv_log.h"
#include "krv/krv_types.h"

// Shown when byte 649 of a recording defines no audio channel (above 4).
inline constexpr const char* kKrvAudioDefinitionError = "The Audio channel definition isn't correct, please check it !";

// The audio channel definition of the recording at `path`: the low four bits
// of byte 649, 0 when the file is shorter. 1 when it is 0-4;
// KRV_ERROR_INVALID_VALUE above (`definition` holds the refused value);
// KRV_ERROR_FAIL_OPEN_FILE when `path` names no regular file that can be read.
int krv_read_audio_definition(const std::string& path, uint8_t& definition);

// Opens a file: for reading ("rb", checks the audio channel definition as
// krv_read_audio_definition does; above 4 posts kKrvAudioDefinitionError to
// `sink` with the caption "Warning" and gives null), or for writing ("wb+",
// created or truncated). Null when the file cannot be opened; for reading,
// anything but a regular file is refused at once (errno EISDIR for a folder,
// ENXIO for a FIFO, socket or device), so that none can block the caller.
KrvFile* krv_open(const std::string& path, bool forReading, const KrvMessageSink* sink = nullptr);

// Creates `path` for writing ("wb+") with the permission bits `mode` (the
// umask still applies). A file or link of that name is replaced, never written
// through. Null, with errno set, when it cannot be created.
KrvFile* krv_create(const std::string& path, unsigned mode);

// Reading over caller-supplied callbacks (memory, tests); the caller keeps
// the context alive until krv_close. Same checks as krv_open for reading.
KrvFile* krv_open_io(const KrvIo& io, const std::string& name, const KrvMessageSink* sink = nullptr);

// Parses the Header object and the Data object header; leaves the file at
// the first data packet. 1 or a negative KrvError.
int krv_init(KrvFile* file);

// Packet for reading: buffer of the file's packet size, kPayloadSlots payload
// entries with capacity kPayloadCapacity. Null on allocation failure.
KrvPacket* krv_packet_create(const KrvFile* file, bool forReading);
void krv_packet_reset(KrvPacket* packet);
void krv_packet_destroy(KrvPacket* packet);

// Reads the next data packet. Packet size, 0 when every packet announced by
// the file properties has been delivered, or a negative KrvError.
// `continuing`: the caller is reassembling the media object described by
// `saved`, so the first payload takes its header values from there.
int krv_get_packet(KrvFile* file, KrvPacket* packet, bool continuing, const KrvSavedHeader* saved);

// Frees everything the file owns and closes the stdio file it opened.
// Accepts null.
void krv_close(KrvFile* file);

// Scoped ownership for callers that prefer it.
struct KrvFileCloser {
    void operator()(KrvFile* file) const { krv_close(file); }
};
struct KrvPacketDestroyer {
    void operator()(KrvPacket* packet) const { krv_packet_destroy(packet); }
};
using KrvFilePtr = std::unique_ptr<KrvFile, KrvFileCloser>;
using KrvPacketPtr = std::unique_ptr<KrvPacket, KrvPacketDestroyer>;
