// The recorder's own clock in the window: the time of day of a moment of the deck's timeline,
// and back. The time of a frame is the recording's creation date plus the frame's presentation
// time in the recording (preroll subtracted); a recording without a creation date shows the
// offset from its start instead. The rules live in krv/krv_time.h; this adds local time for
// the eye and the window's reading of what a user types.
#pragma once

#include <QString>

#include <optional>

#include "krv/krv_timeline.h"
#include "view/recording.h"

namespace vedra {

// "2026-12-07 17:48:31.123" in local time, or "00:01:05.040" from the start when the recording
// has no creation date. deckSeconds: a time of the deck's timeline.
QString RecorderTimeText(const Recording& recording, double deckSeconds);
QString RecorderTimeText(uint64_t creationDate, uint32_t timeBaseMs, double deckSeconds);

// What the user typed to go to, as krvtool reads times (seconds, [hh:]mm:ss(.mmm), @hh:mm:ss,
// a date and time), except that a bare clock time ("17:48:31.5") is a time of day when the
// recording has a creation date, and a leading "+" makes it an offset whatever it looks like.
// Offsets count from the deck's 0. Returns the time on the deck's timeline, or nothing with
// `error` saying why: no time, or a time of day outside the recording (with its span).
// totalSeconds: the deck's length, the time of its last frame.
// The same reading on any recording's timeline: ms from its counter's 0.
std::optional<int64_t> ResolveRecorderTime(const KrvTimeline& timeline, const QString& text, QString& error);
std::optional<double> ParseRecorderTime(const Recording& recording, double totalSeconds, const QString& text,
                                        QString& error);

} // namespace vedra
