// The recorder's own clock: the time of day of a moment of the deck's timeline, and back.
// The time of a frame is the recording's creation date plus the frame's presentation time in
// the recording (preroll subtracted); a recording without a creation date shows the offset
// from its start instead.
#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

#include "view/recording.h"

namespace vedra {

// The creation date as a UTC date and time; invalid when the recording has none.
QDateTime CreationTime(uint64_t fileTime);

// "2026-12-07 17:48:31.123" in local time, or "00:01:05.040" from the start when the recording
// has no creation date. deckSeconds: a time of the deck's timeline.
QString RecorderTimeText(const Recording& recording, double deckSeconds);
QString RecorderTimeText(uint64_t creationDate, uint32_t timeBaseMs, double deckSeconds);

// "hh:mm:ss.mmm" of an offset in seconds (hours grow past 99 when they must).
QString OffsetText(double seconds);

// What the user typed to go to: a time of day ("17:48:31", "17:48:31.5", "2026-12-07
// 17:48:31"; local time, the recording's own date when none is given, the next day when that
// lies within it) or an offset from the recording's start ("1:05", "00:01:05.040", "65.04" s).
// Returns the time on the deck's timeline, or nothing when the text is neither.
std::optional<double> ParseRecorderTime(const Recording& recording, double totalSeconds, const QString& text);

}  // namespace vedra
