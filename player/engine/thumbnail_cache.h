// The pictures of key frames kept for hovering: per camera of a recording,
// each key frame's picture stands for the instants up to the next key frame.
// Bounded by the bytes of its pictures; the least recently used goes first.
// GUI thread only.
#pragma once

#include <QImage>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vedra {

struct KeyFramePicture {
    uint32_t keyMs = 0;     // the key frame's offset from the counter's 0
    uint32_t nextKeyMs = 0; // the next key frame's: the picture stands for [keyMs, nextKeyMs)
    QImage image;
};

class ThumbnailCache {
public:
    explicit ThumbnailCache(size_t limitBytes) : limit_(limitBytes) {}

    // The picture standing for `offsetMs` of the camera, now the most recently used.
    std::optional<QImage> Find(const std::string& path, int channel, uint32_t offsetMs);
    // Keeps a picture (in place of the camera's picture of the same key frame), then
    // drops the least recently used until the bound holds. A picture above the bound is not kept.
    void Store(const std::string& path, int channel, KeyFramePicture picture);

    size_t bytes() const { return bytes_; }
    size_t limit() const { return limit_; }
    size_t pictures() const;

private:
    struct Kept {
        KeyFramePicture picture;
        uint64_t used = 0; // last use
    };
    using Camera = std::pair<std::string, int>;

    void Evict();

    std::map<Camera, std::vector<Kept>> cameras_; // each by key time
    size_t bytes_ = 0;
    const size_t limit_;
    uint64_t useCounter_ = 0;
};

} // namespace vedra
