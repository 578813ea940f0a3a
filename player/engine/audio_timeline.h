// The times of an audio graph's WAV parser, put on the recording's timeline.
//
// GStreamer's WAV parser counts one sample per byte of an MS ADPCM block where
// a block holds two per byte (plus two in its header), so its times run at
// about half speed: 3 s of sound would play as 1.5 s. And the audio file's
// time 0 is the recording's first audio block, which need not be where the
// recording's time starts. A probe on the parser's output scales its times to
// the true ones and moves them by the file's start on the way out (buffers,
// segments, duration, position), and seeks the other way on the way in, so the
// audio graph plays, seeks and ends on the recording's clock, in step with the
// channels.
#pragma once

#include <gst/gst.h>

#include "krv/krv_wav_format.h"

namespace vedra {

// Installs the probe on the parser's source pad when the file needs it.
// offset: where the file's time 0 falls on the recording's timeline.
void InstallAudioTimeline(GstElement* parser, const KrvWavFormat& format, GstClockTimeDiff offset);

} // namespace vedra
