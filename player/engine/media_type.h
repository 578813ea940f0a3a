// Description of the frames the frame tap hands to BufferCB.
#pragma once

#include <cstdint>

namespace vedra {

constexpr uint32_t MakeFourcc(char a, char b, char c, char d)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) | (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

inline constexpr uint32_t kSubtypeYuy2 = MakeFourcc('Y', 'U', 'Y', '2');
inline constexpr uint32_t kSubtypeYv12 = MakeFourcc('Y', 'V', '1', '2');

// HRESULT-style results of BufferCB.
inline constexpr int32_t kS_OK = 0;
inline constexpr int32_t kVFW_E_INVALIDMEDIATYPE = static_cast<int32_t>(0x80040200u);

// All zero after construction: not a video type, no format block.
struct GrabbedMediaType {
    bool isVideo = false;      // major type video
    bool hasVideoInfo = false; // format block with the frame's width and height present
    uint32_t subtype = 0;      // fourcc of the frame layout (YUY2, YV12, or another)
    int32_t width = 0;         // biWidth
    int32_t height = 0;        // biHeight
};

} // namespace vedra
