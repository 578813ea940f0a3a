// Small pictures of a camera at an instant, for hovering a time line: the key
// frame at or before the instant, decoded (libavcodec, at a reduced size) on
// a worker thread of its own and kept in a cache of bounded size, the least
// recently used picture going first. Once a request has been answered, the
// key frames of the minute around it are decoded too, so hovering on within
// that minute is answered from the cache.
//
// Construct, call and destroy on the GUI thread (GUI thread only); answers
// come back there through a queued call, never from the worker directly.
#pragma once

#include <QImage>
#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "thumbnail_cache.h"

namespace vedra {

class ThumbnailSource {
public:
    static constexpr int kDefaultWidth = 176;
    static constexpr size_t kDefaultCacheBytes = size_t(64) << 20;
    // Key frames within this much of an answered instant are decoded ahead.
    static constexpr uint32_t kPrefetchReachMs = 30000;

    // Runs on the GUI thread when a requested picture is ready (`offsetMs` as asked).
    using Ready = std::function<void(const std::string& path, int channel, uint32_t offsetMs, const QImage& picture)>;

    explicit ThumbnailSource(Ready ready, int width = kDefaultWidth, size_t cacheBytes = kDefaultCacheBytes);
    ~ThumbnailSource();

    // The picture of camera `channel` (1-4) of the recording at `path` at
    // `offsetMs` from its counter's 0. A picture in the cache is returned at
    // once; otherwise null, and `Ready` runs when it is decoded (a request
    // of the same camera still waiting is replaced by a newer one). A camera or instant with no
    // key frame gets no answer.
    std::optional<QImage> Request(const std::string& path, int channel, uint32_t offsetMs);

    // The cached picture, without asking for one.
    std::optional<QImage> Find(const std::string& path, int channel, uint32_t offsetMs);

    const ThumbnailCache& cache() const { return cache_; }

private:
    struct Job {
        std::string path;
        int channel = 0;
        uint32_t offsetMs = 0;
        bool prefetch = false;
    };
    using Camera = std::pair<std::string, int>;
    class Decoder;

    void Work();

    Ready ready_;
    const int width_;
    QObject context_; // answers from the worker run here, on the GUI thread

    ThumbnailCache cache_; // GUI thread only

    // Guarded by mutex_.
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> requests_; // the latest of each camera, before any prefetch
    std::deque<Job> prefetch_;
    bool quit_ = false;

    std::thread worker_;
};

} // namespace vedra
