// --dump-dir: what the channel files split from a recording must hold, for
// tests that compare the splitter's output against this independent writer.
//   chN.m4v   the channel's elementary stream from its first key frame on, every
//             key frame preceded by the 19-byte sequence header; when the
//             recording's key frames lack it, only the first key frame gets it,
//             as the splitter inserts it at a channel's start only
//   chN.txt   per frame from the first key frame on: index, presentation ms as
//             the reader delivers it (preroll subtracted), key 0/1, size, md5
//   audio.txt block_align, samples_per_block, blocks, samples, then one line per
//             audio object: "object INDEX MS BLOCKS"
#pragma once

#include <string>
#include <vector>

#include "audio_track.h"
#include "recording_plan.h"
#include "sequence_header.h"
#include "video_track.h"

namespace krvsynth {

bool writeDump(const std::string& dir, const std::vector<VideoTrack>& video, const AudioTrack* audio,
               const RecordingPlan& plan, const SequenceHeader& header, bool keyFramesCarryHeader, std::string& error);

} // namespace krvsynth
