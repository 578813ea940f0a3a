#include "motion/picture_changes.h"

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <memory>

#include "krv/krv_block_reader.h"
#include "krv/krv_facts.h"
#include "krv/krv_reader.h"
#include "motion/small_decoder.h"

namespace vedra {

namespace {

// A quarter of the size each way: sensor noise averages out, objects stay.
constexpr int kLowres = 2;
// Pictures are compared with the one this long before.
constexpr uint32_t kCompareLagMs = 500;
// A pixel of the small picture has changed when it moved this many levels.
constexpr int kPixelChange = 20;

struct SmallPicture {
    uint32_t timeMs = 0;
    int width = 0, height = 0;
    std::vector<uint8_t> luma;
    float earlier = -1; // changed share against the picture kCompareLagMs before, -1: none
    bool done = false;  // compared with the one after too
};

float changedShare(const SmallPicture& a, const SmallPicture& b)
{
    if (a.width != b.width || a.height != b.height || a.luma.empty())
        return -1;
    size_t changed = 0;
    for (size_t i = 0; i < a.luma.size(); ++i)
        changed += std::abs(int(a.luma[i]) - int(b.luma[i])) > kPixelChange;
    return float(double(changed) / double(a.luma.size()));
}

// One camera's decoder and the last second of its small pictures.
class ChannelDecoder {
public:
    ChannelDecoder(const std::vector<uint8_t>& wanted, std::vector<float>& out, uint32_t originMs)
        : wanted_(wanted), out_(out), originMs_(originMs)
    {
        out_.assign(wanted_.size(), -1.0f);
    }

    void feed(const KrvWholeObject& whole)
    {
        const uint32_t t = whole.meta.presentationTime;
        // Frames before the channel's first key frame have nothing to be predicted from.
        seenKey_ = seenKey_ || whole.meta.keyFrame;
        if (!seenKey_)
            return;
        if (whole.meta.keyFrame) {
            gop_.clear();
            decoding_ = false;
        }
        if (!decoding_) {
            // Held until a frame of a wanted second (or the second before, for its reference) comes.
            gop_.emplace_back(whole.data, whole.data + whole.size);
            gopTimes_.resize(gop_.size());
            gopTimes_.back() = t;
            if (!wantedAround(t))
                return;
            decoding_ = true;
            for (size_t i = 0; i < gop_.size(); ++i)
                decode(gop_[i].data(), gop_[i].size(), gopTimes_[i]);
            gop_.clear();
            return;
        }
        // Once decoding, the group of pictures is decoded to its end.
        decode(whole.data, whole.size, t);
    }

private:
    // Whether `t` lies in a wanted second or the one before a wanted second.
    bool wantedAround(uint32_t t) const
    {
        if (t < originMs_)
            return false;
        const size_t s = (t - originMs_) / 1000;
        return (s < wanted_.size() && wanted_[s]) || (s + 1 < wanted_.size() && wanted_[s + 1]);
    }

    void decode(const uint8_t* data, size_t size, uint32_t t)
    {
        if (decoder_.Open(kLowres))
            decoder_.Decode(data, size, [&](const AVFrame& frame) { keep(frame, t); });
    }

    void keep(const AVFrame& frame, uint32_t t)
    {
        SmallPicture p;
        p.timeMs = t;
        p.width = frame.width;
        p.height = frame.height;
        if (p.width <= 0 || p.height <= 0 || !frame.data[0])
            return;
        p.luma.resize(size_t(p.width) * size_t(p.height));
        for (int y = 0; y < p.height; ++y)
            std::copy_n(frame.data[0] + y * frame.linesize[0], p.width, p.luma.begin() + long(y) * p.width);
        // Pictures from before a pause in decoding are no reference.
        if (!recent_.empty() && t > recent_.back().timeMs + 2 * kCompareLagMs)
            recent_.clear();
        // Against the latest picture at least kCompareLagMs older.
        for (auto q = recent_.rbegin(); q != recent_.rend(); ++q) {
            if (q->timeMs + kCompareLagMs <= t) {
                p.earlier = changedShare(p, *q);
                break;
            }
        }
        // A picture counts as changed only when it differs from the one before
        // and from the one after it: an object leaving changes the next second
        // against the last, but not against what follows.
        for (SmallPicture& q : recent_) {
            if (q.done || q.timeMs + kCompareLagMs > t)
                continue;
            q.done = true;
            if (q.earlier >= 0 && q.timeMs >= originMs_) {
                const size_t s = (q.timeMs - originMs_) / 1000;
                if (s < out_.size() && wanted_[s])
                    out_[s] = std::max(out_[s], std::min(q.earlier, changedShare(q, p)));
            }
        }
        recent_.push_back(std::move(p));
        while (recent_.size() > 1 && recent_[1].timeMs + kCompareLagMs <= t && recent_.front().done)
            recent_.pop_front();
    }

    const std::vector<uint8_t>& wanted_;
    std::vector<float>& out_;
    uint32_t originMs_;
    SmallDecoder decoder_;
    std::vector<std::vector<uint8_t>> gop_; // frames since the key frame, not decoded yet
    std::vector<uint32_t> gopTimes_;
    bool decoding_ = false;
    bool seenKey_ = false;
    std::deque<SmallPicture> recent_;
};

} // namespace

int MeasurePictureChanges(const std::string& path, uint32_t originMs, const std::vector<uint8_t> (&wanted)[4],
                          PictureChanges& changes, const std::atomic<bool>* stop)
{
    KrvBlockReader reader;
    if (!reader.open(path))
        return KRV_ERROR_FAIL_OPEN_FILE;
    reader.StopOn(stop);
    KrvFilePtr file(krv_open_io(reader.io(), path));
    if (!file)
        return KRV_ERROR_INVALID_VALUE;
    int r = krv_init(file.get());
    if (r < 0)
        return r;
    std::unique_ptr<ChannelDecoder> decoders[4];
    for (int c = 0; c < 4; ++c)
        if (std::find(wanted[c].begin(), wanted[c].end(), 1) != wanted[c].end())
            decoders[c] = std::make_unique<ChannelDecoder>(wanted[c], changes.channels[c], originMs);
    KrvFacts facts;
    r = krv_gather_facts(file.get(), uint64_t(reader.openedAs().st_size), facts, [&](const KrvWholeObject& whole) {
        const int s = whole.meta.streamNumber;
        if (s >= 2 && s <= 5 && decoders[s - 2] && !(stop && stop->load()))
            decoders[s - 2]->feed(whole);
    });
    return stop && stop->load() ? KRV_ERROR_IO : r;
}

} // namespace vedra
