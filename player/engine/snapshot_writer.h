// Writes one snapshot file from one frame handed to BufferCB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "media_type.h"

namespace vedra {

enum class SnapshotResult {
    Written,      // the file is complete at its path
    NotConverted, // frame layout other than YUY2/YV12, or frame too short: nothing written
    EncodeFailed, // JPEG encoding failed: nothing written
    WriteFailed,  // the file could not be created or written: nothing left behind
};

// Converts the frame described by `type` to a bottom-up BGR picture and writes it
// as a BMP file or a JPEG file. The file appears complete or not at all: it is
// written beside its final name and renamed into place.
SnapshotResult WriteSnapshot(const GrabbedMediaType& type, const uint8_t* frame, size_t length, const std::string& path,
                             bool asJpeg);

// Writes bytes to path through a temporary file in the same folder; false leaves nothing.
bool WriteFileAtomically(const std::string& path, const uint8_t* data, size_t size);

} // namespace vedra
