// GStreamer's WAV parser counts one sample per byte of an MS ADPCM block where
// a block holds two per byte (plus two in its header), so its times run at
// about half speed: 3 s of sound would play as 1.5 s. A probe on the parser's
// output scales its times to the true ones on the way out (buffers, segments,
// duration, position) and seeks on the way in, so the audio graph plays,
// seeks and ends on the recording's clock.
#pragma once

#include <gst/gst.h>

#include "krv/krv_wav_format.h"

namespace vedra {

// Installs the probe on the parser's source pad when the file's blocks need it.
void InstallAdpcmTimeScale(GstElement* parser, const KrvWavFormat& format);

}  // namespace vedra
