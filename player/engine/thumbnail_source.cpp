#include "thumbnail_source.h"

#include <sys/stat.h>

#include <QMetaObject>

#include <algorithm>
#include <list>
#include <memory>
#include <set>

#include "krv/krv_reader.h"
#include "krv/krv_timeline.h"
#include "krv_frame_reader.h"
#include "motion/small_decoder.h"
#include "pane_picture.h"

namespace vedra {

namespace {

// Cameras whose readers and decoders stay open on the worker.
constexpr size_t kOpenCameras = 8;
// Requests waiting at once: a hover asks for every checked camera.
constexpr size_t kMaxRequests = 8;
// Prefetches waiting at once: the key frames of a minute at one a second, four cameras.
constexpr size_t kMaxPrefetch = 256;

// The counter's 0 of the recording at `path`, or null when it cannot be read.
std::optional<uint32_t> originOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    KrvFilePtr file(krv_open(path, true, nullptr));
    if (!file || krv_init(file.get()) < 0)
        return std::nullopt;
    KrvTimeline timeline;
    if (krv_read_timeline(file.get(), uint64_t(st.st_size), timeline) < 0 || !timeline.hasMedia)
        return std::nullopt;
    return timeline.originMs;
}

} // namespace

// One camera's key frames, read and decoded on the worker.
class ThumbnailSource::Decoder {
public:
    Camera camera;
    uint32_t originMs = 0;
    KrvFrameReader reader;
    std::set<uint32_t> sent; // key frames already handed over

    bool Open(const Camera& which)
    {
        camera = which;
        const std::optional<uint32_t> origin = originOf(which.first);
        if (!origin || reader.Open(which.first, which.second + 1) < 0)
            return false;
        originMs = *origin;
        return true;
    }

    // The key frame at or before `atMs` (frame time) decoded to `width` pixels across.
    bool KeyFrameAt(uint32_t atMs, int width, KeyFramePicture& out)
    {
        if (reader.SeekToKeyFrame(atMs) < 0)
            return false;
        KrvFrame frame;
        if (reader.Next(frame) <= 0 || !frame.keyFrame || frame.ptsMs > atMs)
            return false; // damage, or an instant before the camera's first key frame
        if (!Decode(frame, width, out.image))
            return false;
        out.keyMs = frame.ptsMs > originMs ? frame.ptsMs - originMs : 0;
        const auto& keys = reader.keyTable();
        const auto next = std::upper_bound(keys.begin(), keys.end(), frame.ptsMs,
                                           [](uint32_t t, const KrvFrameReader::KeyEntry& k) { return t < k.ptsMs; });
        // Past the key frames known, the picture stands only for the instant asked.
        const uint32_t nextMs = next != keys.end() ? next->ptsMs : atMs + 1;
        out.nextKeyMs = nextMs > originMs ? nextMs - originMs : 0;
        sent.insert(frame.ptsMs);
        return true;
    }

private:
    bool Decode(const KrvFrame& frame, int width, QImage& out)
    {
        // The smallest size libavcodec can decode to that is still as wide as the picture wanted.
        int lowres = 0;
        while (lowres < 3 && (int(reader.width()) >> (lowres + 1)) >= width)
            ++lowres;
        if (!decoder_.Open(lowres))
            return false;
        bool ok = false;
        const SmallDecoder::Picture picture = [&](const AVFrame& f) { ok = ok || Convert(f, width, out); };
        decoder_.Decode(frame.data.data(), frame.data.size(), picture);
        if (!ok)
            decoder_.Drain(picture); // a decoder that holds a picture back gives it up when drained
        return ok;
    }

    bool Convert(const AVFrame& f, int width, QImage& out)
    {
        // A damaged header may give any size: pictures far from a camera's shape are refused.
        bool ok = f.format == AV_PIX_FMT_YUV420P && f.width > 0 && f.height > 0 && f.height <= 4 * f.width &&
                  f.width <= 4 * f.height;
        if (ok) {
            const int height = std::max(1, int(int64_t(width) * f.height / f.width));
            QImage image(width, height, QImage::Format_RGB32);
            const PlanarPicture planes{f.data[0],     f.data[1],     f.data[2], f.linesize[0],
                                       f.linesize[1], f.linesize[2], f.width,   f.height};
            ok = !image.isNull() && ConvertToPanePicture(planes, YuvMatrix::Bt601, FramePixels::Bgrx, width, height,
                                                         image.bits(), int(image.bytesPerLine()), scratch_);
            if (ok)
                out = std::move(image);
        }
        return ok;
    }

    SmallDecoder decoder_;
    std::vector<uint8_t> scratch_;
};

ThumbnailSource::ThumbnailSource(Ready ready, int width, size_t cacheBytes)
    : ready_(std::move(ready)), width_(std::max(16, width)), cache_(cacheBytes)
{
    worker_ = std::thread(&ThumbnailSource::Work, this);
}

ThumbnailSource::~ThumbnailSource()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

std::optional<QImage> ThumbnailSource::Request(const std::string& path, int channel, uint32_t offsetMs)
{
    if (std::optional<QImage> found = Find(path, channel, offsetMs))
        return found;
    if (channel < 1 || channel > 4)
        return std::nullopt;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::erase_if(requests_, [&](const Job& j) { return j.path == path && j.channel == channel; });
        requests_.push_back(Job{path, channel, offsetMs, false});
        if (requests_.size() > kMaxRequests)
            requests_.pop_front();
    }
    wake_.notify_all();
    return std::nullopt;
}

std::optional<QImage> ThumbnailSource::Find(const std::string& path, int channel, uint32_t offsetMs)
{
    return cache_.Find(path, channel, offsetMs);
}

void ThumbnailSource::Work()
{
    std::list<Decoder> open; // most recently used first
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return quit_ || !requests_.empty() || !prefetch_.empty(); });
            if (quit_)
                return;
            if (!requests_.empty()) {
                job = std::move(requests_.front());
                requests_.pop_front();
            } else {
                job = std::move(prefetch_.front());
                prefetch_.pop_front();
            }
        }
        const Camera camera{job.path, job.channel};
        auto d = std::find_if(open.begin(), open.end(), [&](const Decoder& x) { return x.camera == camera; });
        if (d == open.end()) {
            open.emplace_front();
            if (!open.front().Open(camera)) {
                open.pop_front();
                continue;
            }
            if (open.size() > kOpenCameras)
                open.pop_back();
            d = open.begin();
        } else {
            open.splice(open.begin(), open, d);
        }
        const uint32_t at = d->originMs + job.offsetMs;
        if (!job.prefetch)
            d->reader.SeekToKeyFrame(at + kPrefetchReachMs); // learns the key frames of the minute around
        else if (d->sent.count(at))
            continue;
        KeyFramePicture picture;
        if (!d->KeyFrameAt(at, width_, picture))
            continue;
        QMetaObject::invokeMethod(
            &context_,
            [this, job, picture = std::move(picture)]() mutable {
                const QImage image = picture.image;
                cache_.Store(job.path, job.channel, std::move(picture));
                if (!job.prefetch && ready_)
                    ready_(job.path, job.channel, job.offsetMs, image);
            },
            Qt::QueuedConnection);
        if (job.prefetch)
            continue;
        // The key frames of the minute around, nearest first.
        std::vector<uint32_t> ahead;
        for (const KrvFrameReader::KeyEntry& k : d->reader.keyTable())
            if (k.ptsMs + kPrefetchReachMs >= at && k.ptsMs <= at + kPrefetchReachMs && !d->sent.count(k.ptsMs))
                ahead.push_back(k.ptsMs);
        std::sort(ahead.begin(), ahead.end(), [&](uint32_t a, uint32_t b) {
            return std::max(a, at) - std::min(a, at) < std::max(b, at) - std::min(b, at);
        });
        std::lock_guard<std::mutex> lock(mutex_);
        // The pointer has moved on: what was near this camera's last instant matters less.
        std::erase_if(prefetch_, [&](const Job& j) { return j.path == job.path && j.channel == job.channel; });
        for (uint32_t k : ahead)
            if (prefetch_.size() < kMaxPrefetch && k >= d->originMs)
                prefetch_.push_back(Job{job.path, job.channel, k - d->originMs, true});
    }
}

} // namespace vedra
