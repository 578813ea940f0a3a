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

bool ConfirmWithPictures(const std::string& path, uint32_t originMs, KrvActivity& activity,
                         const std::atomic<bool>* stop)
{
    std::vector<uint8_t> wanted[4];
    UncertainSeconds(activity, wanted);
    const bool any = std::any_of(std::begin(wanted), std::end(wanted), [](const std::vector<uint8_t>& w) {
        return std::find(w.begin(), w.end(), 1) != w.end();
    });
    if (!any)
        return true;
    PictureChanges changes;
    if (MeasurePictureChanges(path, originMs, wanted, changes, stop) < 0)
        return false;
    ApplyPictureChanges(activity, changes);
    return true;
}

KrvActivity MeasureActivity(const std::string& path, const KrvRecordingIndex& index)
{
    KrvActivity activity = krv_measure_activity(index);
    ConfirmWithPictures(path, index.timeline.originMs, activity);
    return activity;
}

} // namespace vedra
