#include "krv/krv_activity.h"

#include <algorithm>
#include <cmath>

// How activity is read from frame sizes:
//  1. Only predicted frames count: a key frame's size tells the picture's
//     detail, not its change.
//  2. A predicted frame is held against the typical size of frames at its
//     place after the key frame (the first one after a key frame is larger
//     with many encoders): the key-frame rhythm drops out.
//  3. A second's value is the mean of those ratios over its frames.
//  4. The camera's still level and spread come from its quieter seconds
//     (the low quantiles), so a camera's noise level sets its own scale and
//     a camera busy for up to half of the time still finds its still level.
//  5. A second's score is its distance above the still level in spreads;
//     a span starts at kActivityStartScore and takes in its neighbours down
//     to kActivityKeepScore, since motion fades in and out.
//  6. Where the sizes cannot tell, the pictures decide: seconds scoring
//     between kUncertainScore and the start score are uncertain, and on a
//     noisy camera (still predicted frames above kNoisyShare of a key frame:
//     noise fills the frames and motion moves their size only a few percent)
//     every second not active is. The decode pass compares their pictures;
//     one is active when its changed share is at least kMinChangedShare and
//     kChangedOverTypical times the camera's typical share.
//  7. Active seconds at most kActivityMergeGapSeconds apart are one span.

namespace {

// Places after the key frame told apart; later ones share the last.
constexpr size_t kGopPlaces = 64;
// A place needs this many frames for a level of its own.
constexpr size_t kMinPlaceFrames = 5;
// Neighbours of a span down to this score belong to it.
constexpr double kActivityKeepScore = 2.0;
// The spread is never taken below this share of the still level, so a camera
// of perfectly even frames does not call every byte motion.
constexpr double kMinSpread = 0.004;
// Where the sizes cannot tell: the uncertain seconds and the pictures' verdict.
constexpr double kUncertainScore = 1.5;
constexpr double kNoisyShare = 0.2;
constexpr double kMinChangedShare = 0.002;
constexpr double kChangedOverTypical = 3.0;

double quantile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    const size_t k = std::min(v.size() - 1, size_t(q * double(v.size() - 1) + 0.5));
    std::nth_element(v.begin(), v.begin() + long(k), v.end());
    return v[k];
}

// The typical size at every place after the key frame.
std::vector<double> placeLevels(const std::vector<KrvFrameEntry>& frames)
{
    std::vector<std::vector<double>> byPlace(kGopPlaces);
    std::vector<double> all;
    size_t place = 0;
    for (const KrvFrameEntry& f : frames) {
        place = f.key ? 0 : std::min(place + 1, kGopPlaces - 1);
        if (!f.key && f.size > 0) {
            byPlace[place].push_back(f.size);
            all.push_back(f.size);
        }
    }
    const double overall = std::max(1.0, quantile(all, 0.5));
    std::vector<double> levels(kGopPlaces, overall);
    for (size_t p = 0; p < kGopPlaces; ++p)
        if (byPlace[p].size() >= kMinPlaceFrames)
            levels[p] = std::max(1.0, quantile(byPlace[p], 0.5));
    return levels;
}

KrvChannelActivity measureChannel(int channel, const std::vector<KrvFrameEntry>& frames, uint32_t originMs,
                                  uint32_t lastMs)
{
    KrvChannelActivity a;
    a.present = !frames.empty();
    if (!a.present || lastMs < originMs)
        return a;
    const size_t seconds = (lastMs - originMs) / 1000 + 1;
    const std::vector<double> levels = placeLevels(frames);

    // A second's value: the mean of its predicted frames' ratios to their place's level.
    std::vector<double> sum(seconds, 0);
    std::vector<uint32_t> count(seconds, 0);
    size_t place = 0;
    std::vector<double> pSizes;
    for (const KrvFrameEntry& f : frames) {
        place = f.key ? 0 : std::min(place + 1, kGopPlaces - 1);
        if (f.key || f.timeMs < originMs)
            continue;
        const size_t s = (f.timeMs - originMs) / 1000;
        if (s >= seconds)
            continue;
        sum[s] += f.size / levels[place];
        ++count[s];
        pSizes.push_back(f.size);
    }
    std::vector<double> values;
    for (size_t s = 0; s < seconds; ++s)
        if (count[s])
            values.push_back(sum[s] / count[s]);
    a.scores.assign(seconds, 0);
    a.active.assign(seconds, 0);
    if (values.size() < 3)
        return a;

    // The still level and spread from the quieter seconds: for a normal spread q40 - q10 is
    // 1.03 deviations and the median lies 0.67 above q25.
    const double q10 = quantile(values, 0.10), q25 = quantile(values, 0.25), q40 = quantile(values, 0.40);
    const double sigma = std::max((q40 - q10) / 1.03, kMinSpread * q25);
    const double still = q25 + 0.674 * sigma;
    a.spread = sigma / still;
    a.stillLevel = still * quantile(pSizes, 0.5);

    // Each second's score: its distance above the still level, in spreads.
    for (size_t s = 0; s < seconds; ++s)
        a.scores[s] = count[s] ? float((sum[s] / count[s] - still) / sigma) : 0.0f;
    for (size_t s = 0; s < seconds; ++s)
        if (a.scores[s] >= kActivityStartScore)
            a.active[s] = 1;
    for (bool grew = true; grew;) {
        grew = false;
        for (size_t s = 0; s < seconds; ++s) {
            if (a.active[s] || a.scores[s] < kActivityKeepScore)
                continue;
            if ((s > 0 && a.active[s - 1]) || (s + 1 < seconds && a.active[s + 1])) {
                a.active[s] = 1;
                grew = true;
            }
        }
    }
    // Seconds the sizes cannot tell, and whether the camera is noisy.
    std::vector<double> keySizes;
    for (const KrvFrameEntry& f : frames)
        if (f.key)
            keySizes.push_back(f.size);
    const bool noisy = !keySizes.empty() && a.stillLevel >= kNoisyShare * quantile(keySizes, 0.5);
    a.uncertain.assign(seconds, 0);
    for (size_t s = 0; s < seconds; ++s)
        a.uncertain[s] = !a.active[s] && count[s] && (noisy || a.scores[s] >= kUncertainScore);
    a.spans = krv_activity_spans(channel, a.active, a.scores);
    return a;
}

} // namespace

void krv_apply_picture_changes(KrvChannelActivity& a, int channel, const std::vector<float>& changedShare)
{
    // The camera's typical changed share over the seconds decoded.
    std::vector<double> decoded;
    for (size_t s = 0; s < changedShare.size() && s < a.uncertain.size(); ++s)
        if (a.uncertain[s] && changedShare[s] >= 0)
            decoded.push_back(changedShare[s]);
    if (decoded.empty())
        return;
    const double threshold = std::max(kMinChangedShare, kChangedOverTypical * quantile(decoded, 0.5));
    for (size_t s = 0; s < changedShare.size() && s < a.uncertain.size(); ++s) {
        if (a.uncertain[s] && changedShare[s] >= threshold) {
            a.active[s] = 1;
            // Shown on the score's scale: at the start score when just confirmed.
            a.scores[s] = std::max(a.scores[s], float(kActivityStartScore * changedShare[s] / threshold));
        }
    }
    a.spans = krv_activity_spans(channel, a.active, a.scores);
}

std::vector<KrvActivitySpan> krv_activity_spans(int channel, const std::vector<uint8_t>& active,
                                                const std::vector<float>& scores)
{
    // Active seconds at most kActivityMergeGapSeconds apart make one span.
    std::vector<KrvActivitySpan> spans;
    for (size_t s = 0; s < active.size(); ++s) {
        if (!active[s])
            continue;
        const double score = s < scores.size() ? scores[s] : 0;
        if (!spans.empty() && s * 1000 - spans.back().endMs <= kActivityMergeGapSeconds * 1000) {
            spans.back().endMs = uint32_t(s + 1) * 1000;
            spans.back().score = std::max(spans.back().score, score);
            continue;
        }
        spans.push_back({channel, uint32_t(s) * 1000, uint32_t(s + 1) * 1000, score});
    }
    return spans;
}

KrvActivity krv_measure_activity(const KrvRecordingIndex& index)
{
    KrvActivity activity;
    const uint32_t origin = index.timeline.originMs;
    for (int c = 0; c < 4; ++c) {
        uint32_t last = origin;
        for (const KrvFrameEntry& f : index.frames[c])
            last = std::max(last, f.timeMs);
        activity.channels[c] = measureChannel(c + 1, index.frames[c], origin, last);
    }
    return activity;
}
