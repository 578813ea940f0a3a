// One camera's frames re-encoded with its time of day and "Camera N" burned
// in: each MPEG-4 part 2 frame of the recording is decoded, the text drawn
// over a copy of the picture (the decoder keeps its own as a reference) and
// the picture encoded again. Every frame gives one packet, in order, at the
// frame's own recording time, so the file holds what a stream copy would.
//
// The codec: H.264 (libx264, CRF 20, preset veryfast, no B-frames) for
// Matroska and MP4 when libavcodec has it, else MPEG-4 part 2 at a fixed
// quantiser of 3; AVI always MPEG-4 part 2, which every AVI player takes.
// One thread at a time.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "av_handles.h"
#include "export_muxer.h"

namespace vedra {

struct BurnInSettings {
    int channel = 0; // 1-4, drawn as "Camera N"
    uint32_t width = 0;
    uint32_t height = 0;
    double frameIntervalMs = 0;  // typical gap between frames; 0: unknown
    std::vector<uint8_t> config; // the sequence header the recording's frames decode from
    ExportFormat format = ExportFormat::Mkv;
    uint64_t creationDate = 0; // FILETIME of the recording; 0: the offset is drawn instead
    uint32_t originMs = 0;     // recording time of the counter's 0
};

class BurnInEncoder {
public:
    // One encoded frame at the recording time of the frame it came from.
    using Output = std::function<bool(const AVPacket& packet, uint32_t timeMs, std::string& error)>;

    bool Open(const BurnInSettings& settings, std::string& error);
    // The encoder, whose parameters the file's track takes.
    const AVCodecContext* encoder() const { return encoder_.get(); }
    // "H.264 (libx264, CRF 20, preset veryfast)", for the manifest and the notes.
    const std::string& description() const { return description_; }

    bool Push(const uint8_t* data, uint32_t size, uint32_t timeMs, const Output& out, std::string& error);
    // Drains the decoder and the encoder; fails when a frame was lost on the way.
    bool Finish(const Output& out, std::string& error);
    // Frames that gave no picture of their own and show the one before.
    uint64_t repeated() const { return repeated_; }

private:
    bool Decoded(const Output& out, std::string& error);
    bool RepeatLast(size_t count, const Output& out, std::string& error);
    bool Encode(const Output& out, std::string& error);
    bool Send(const AVFrame* picture, const Output& out, std::string& error);
    std::string Where(uint32_t timeMs) const;

    BurnInSettings settings_;
    AvCodecPtr decoder_;
    AvCodecPtr encoder_;
    AvPacketPtr packet_;
    AvFramePtr decoded_;
    AvFramePtr picture_; // the copy the text is drawn on
    std::string description_;
    int64_t sent_ = 0;     // frames given to the decoder
    int64_t lastPts_ = -1; // encoder times only grow
    uint64_t repeated_ = 0;
    std::deque<uint32_t> decoding_; // recording times of the frames in the decoder
    std::deque<uint32_t> encoding_; // ... and in the encoder
};

} // namespace vedra
