// MPEG-4 part 2 frames decoded at a reduced size (libavcodec's lowres: a
// half, a quarter or an eighth each way), for pictures that are only compared
// or glanced at: the decode pass of activity, thumbnails. One thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace vedra {

class SmallDecoder {
public:
    using Picture = std::function<void(const AVFrame& frame)>;

    SmallDecoder();
    ~SmallDecoder();

    // Opens the decoder at `lowres` (held to 0 to what the decoder can do);
    // nothing once it is open. False when it cannot be had, and it is not tried again.
    bool Open(int lowres);
    // Decodes one frame; `picture` sees each frame that comes out.
    void Decode(const uint8_t* data, size_t size, const Picture& picture);
    // Gives up the frames held back, then takes frames that need none before them.
    void Drain(const Picture& picture);

private:
    struct Codec;
    std::unique_ptr<Codec> codec_;
    bool failed_ = false;
};

} // namespace vedra
