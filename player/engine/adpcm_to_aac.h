// The recorder's MS ADPCM audio converted to AAC, for MP4 files (MP4 carries
// no MS ADPCM). Blocks go in with their times; AAC packets come out with
// timestamps in samples (time base 1 / sample rate).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "av_handles.h"

namespace vedra {

struct AdpcmFormat {
    uint32_t sampleRate = 0;
    uint16_t channels = 0;
    uint16_t blockAlign = 0;
    std::vector<uint8_t> extraData; // samples per block, coefficients
};

class AdpcmToAac {
public:
    // Receives every AAC packet; a negative return (libav error) ends the conversion.
    using PacketSink = std::function<int(AVPacket* packet)>;

    // False with `error` when either codec cannot be set up (a sample rate AAC lacks).
    bool Open(const AdpcmFormat& format, std::string& error);
    // The AAC stream's parameters (after Open).
    int CopyParameters(AVCodecParameters* par) const;
    AVRational timeBase() const { return {1, int(format_.sampleRate)}; }

    // Decodes the blocks that start `startSample` samples after time 0 of the
    // file. A later start than the audio so far reached is filled with silence.
    // 0 or a negative libav error.
    int Push(const uint8_t* blocks, uint32_t size, int64_t startSample, const PacketSink& sink);
    // Encodes what is left. 0 or a negative libav error.
    int Flush(const PacketSink& sink);

private:
    int EncodeFrames(bool all, const PacketSink& sink);
    int Drain(const PacketSink& sink);

    AdpcmFormat format_;
    AvCodecPtr decoder_;
    AvCodecPtr encoder_;
    AvFramePtr decoded_;
    AvFramePtr frame_;
    AvPacketPtr in_;
    AvPacketPtr out_;
    std::vector<std::vector<float>> pending_; // per channel, samples not yet encoded
    int64_t pendingStart_ = -1;               // sample number of pending_[.][0]
};

} // namespace vedra
