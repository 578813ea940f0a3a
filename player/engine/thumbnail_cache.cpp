#include "thumbnail_cache.h"

#include <algorithm>

namespace vedra {

std::optional<QImage> ThumbnailCache::Find(const std::string& path, int channel, uint32_t offsetMs)
{
    const auto it = cameras_.find({path, channel});
    if (it == cameras_.end())
        return std::nullopt;
    std::vector<Kept>& kept = it->second;
    auto at = std::upper_bound(kept.begin(), kept.end(), offsetMs,
                               [](uint32_t t, const Kept& k) { return t < k.picture.keyMs; });
    if (at == kept.begin() || offsetMs >= std::prev(at)->picture.nextKeyMs)
        return std::nullopt;
    --at;
    at->used = ++useCounter_;
    return at->picture.image;
}

void ThumbnailCache::Store(const std::string& path, int channel, KeyFramePicture picture)
{
    const size_t size = size_t(picture.image.sizeInBytes());
    if (size > limit_)
        return;
    std::vector<Kept>& kept = cameras_[{path, channel}];
    auto at = std::lower_bound(kept.begin(), kept.end(), picture.keyMs,
                               [](const Kept& k, uint32_t t) { return k.picture.keyMs < t; });
    if (at != kept.end() && at->picture.keyMs == picture.keyMs) {
        bytes_ -= size_t(at->picture.image.sizeInBytes());
        picture.nextKeyMs = std::max(picture.nextKeyMs, at->picture.nextKeyMs);
        *at = Kept{std::move(picture), ++useCounter_};
    } else {
        kept.insert(at, Kept{std::move(picture), ++useCounter_});
    }
    bytes_ += size;
    Evict();
}

void ThumbnailCache::Evict()
{
    while (bytes_ > limit_) {
        std::vector<Kept>* oldestIn = nullptr;
        size_t oldest = 0;
        for (auto& [camera, kept] : cameras_)
            for (size_t i = 0; i < kept.size(); ++i)
                if (!oldestIn || kept[i].used < (*oldestIn)[oldest].used) {
                    oldestIn = &kept;
                    oldest = i;
                }
        if (!oldestIn)
            break;
        bytes_ -= size_t((*oldestIn)[oldest].picture.image.sizeInBytes());
        oldestIn->erase(oldestIn->begin() + ptrdiff_t(oldest));
    }
    std::erase_if(cameras_, [](const auto& entry) { return entry.second.empty(); });
}

size_t ThumbnailCache::pictures() const
{
    size_t n = 0;
    for (const auto& [camera, kept] : cameras_)
        n += kept.size();
    return n;
}

} // namespace vedra
