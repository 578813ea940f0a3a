#include "picture_pool.h"

namespace vedra {

std::shared_ptr<PicturePool::Buffer> PicturePool::Take(size_t bytes)
{
    std::unique_ptr<Buffer> buffer;
    {
        std::lock_guard lock(shelf_->mutex);
        if (!shelf_->free.empty()) {
            buffer = std::move(shelf_->free.back());
            shelf_->free.pop_back();
        }
    }
    if (!buffer)
        buffer = std::make_unique<Buffer>();
    buffer->resize(bytes);
    std::weak_ptr<Shelf> home = shelf_;
    return {buffer.release(), [home](Buffer* released) {
                std::unique_ptr<Buffer> owned(released);
                if (auto shelf = home.lock()) {
                    std::lock_guard lock(shelf->mutex);
                    if (shelf->free.size() < kKept)
                        shelf->free.push_back(std::move(owned));
                }
            }};
}

} // namespace vedra
