// Pixel buffers of pane pictures, used again once every holder of a picture has let it go, so
// playing at a steady size allocates nothing per frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace vedra {

class PicturePool {
public:
    using Buffer = std::vector<uint8_t>;
    // Any thread. A buffer of `bytes` bytes (its contents left from an earlier picture); it goes
    // back to the pool when its last holder releases it, also after the pool is gone.
    std::shared_ptr<Buffer> Take(size_t bytes);

private:
    // A pane holds one picture and one is on its way: a few buffers cover every frame.
    static constexpr size_t kKept = 4;
    struct Shelf {
        std::mutex mutex;
        std::vector<std::unique_ptr<Buffer>> free; // guarded by mutex
    };
    std::shared_ptr<Shelf> shelf_ = std::make_shared<Shelf>();
};

} // namespace vedra
