// Activity of an indexed recording as a whole: the frame sizes first, then
// the decode pass for the seconds they cannot tell.
#pragma once

#include <string>

#include "krv/krv_activity.h"
#include "krv/krv_recording_index.h"
#include "motion/picture_changes.h"

namespace vedra {

// The seconds of each channel the decode pass is to look at.
void UncertainSeconds(const KrvActivity& activity, std::vector<uint8_t> (&wanted)[4]);

// Hands the decode pass's answer to the activity rules of every channel.
void ApplyPictureChanges(KrvActivity& activity, const PictureChanges& changes);

// The decode pass over the uncertain seconds of `activity`, its answer
// applied. False when the recording could not be read (the activity stays).
// `stop`: as MeasurePictureChanges's.
bool ConfirmWithPictures(const std::string& path, uint32_t originMs, KrvActivity& activity,
                         const std::atomic<bool>* stop = nullptr);

// krv_measure_activity, then the decode pass over the recording at `path`
// when a second is uncertain. A recording the pass cannot read keeps the
// activity of its sizes.
KrvActivity MeasureActivity(const std::string& path, const KrvRecordingIndex& index);

} // namespace vedra
