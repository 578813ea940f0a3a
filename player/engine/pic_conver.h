// Turns an in-memory BMP file into an in-memory file of another image format
// through Qt's image writers, which are looked up by MIME type.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vedra {

class CPicConver {
public:
    virtual ~CPicConver() = default;
    // format: "jpeg", "png", ... The output is left empty and false returned when
    // the input cannot be read or no writer of that format exists or encoding fails.
    bool Convert(const std::vector<uint8_t>& bmpFile, std::vector<uint8_t>& output, const std::string& format);
};

// The Qt image format that writes the given MIME type ("image/jpeg"), compared
// case-sensitively; empty when no writer is installed for it.
std::string FindEncoderForMimeType(const std::string& mimeType);

} // namespace vedra
