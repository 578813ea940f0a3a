#include "motion/recording_activity.h"

#include <algorithm>

namespace vedra {

void UncertainSeconds(const KrvActivity& activity, std::vector<uint8_t> (&wanted)[4])
{
    for (int c = 0; c < 4; ++c)
        wanted[c] = activity.channels[c].uncertain;
}

void ApplyPictureChanges(KrvActivity& activity, const PictureChanges& changes)
{
    for (int c = 0; c < 4; ++c)
        if (!changes.channels[c].empty())
            krv_apply_picture_changes(activity.channels[c], c + 1, changes.channels[c]);
}

KrvActivity MeasureActivity(const std::string& path, const KrvRecordingIndex& index)
{
    KrvActivity activity = krv_measure_activity(index);
    std::vector<uint8_t> wanted[4];
    UncertainSeconds(activity, wanted);
    const bool any = std::any_of(std::begin(wanted), std::end(wanted), [](const std::vector<uint8_t>& w) {
        return std::find(w.begin(), w.end(), 1) != w.end();
    });
    PictureChanges changes;
    if (any && MeasurePictureChanges(path, index.timeline.originMs, wanted, changes) >= 0)
        ApplyPictureChanges(activity, changes);
    return activity;
}

} // namespace vedra
