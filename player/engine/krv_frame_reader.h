// Whole video frames of a channel file, read through the krv reader.
//
// Media objects split across packets are reassembled; every frame keeps its
// presentation time and key-frame flag. Seeking goes back to the key frame at
// or before the wanted time: a table of key frames and the packets they start
// in grows as seeks need it, read by a second reader that only goes as far as
// the furthest time asked for (packets sit at fixed offsets, so the reader can
// be put back onto any packet).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "krv/krv_reader.h"

namespace vedra {

struct KrvFrame {
    std::vector<uint8_t> data;
    uint32_t ptsMs = 0; // presentation time, preroll already subtracted
    bool keyFrame = false;
};

class KrvFrameReader {
public:
    // Largest media object accepted; bigger ones are taken for damage and skipped.
    static constexpr uint32_t kMaxFrameSize = 16u << 20;

    // Reads the video stream numbered `streamNumber` (a recording's camera c
    // is stream c + 1; a stream the header does not describe takes the first
    // video stream's size), or the first video stream for -1. 1, or a
    // negative KrvError (KRV_ERROR_INVALID_OBJECT when the file holds no video
    // stream or `streamNumber` is out of range or audio).
    int Open(const std::string& path, int streamNumber = -1);
    void Close();
    bool IsOpen() const { return file_ != nullptr; }

    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    uint32_t compression() const { return compression_; } // four-character code
    uint64_t durationMs() const { return durationMs_; }
    // The send duration of the file properties, in seconds: what the player shows
    // as the channel's length.
    double headerDurationSeconds() const;
    uint64_t packetCount() const { return file_ ? file_->dataPacketsCount : 0; }

    // 1 with the next frame, 0 at the end, or a negative KrvError.
    int Next(KrvFrame& frame);

    // Positions so that the next frame is the key frame at or before `ms`
    // (the first key frame when none lies before). 1 or a negative KrvError.
    int SeekToKeyFrame(uint32_t ms);

    // Key frames found by the scan: presentation time and the packet their first byte is in.
    struct KeyEntry {
        uint32_t ptsMs;
        uint64_t packet;
    };
    const std::vector<KeyEntry>& keyTable() const { return keys_; }

private:
    int ReadPacket();
    int Reposition(uint64_t packet);
    void ResetAssembly();
    // Extends the key frame table until it covers `ms`.
    int ScanUntil(uint32_t ms);
    // The packet number (from 0) of the packet now held in packet_.
    uint64_t CurrentPacket() const { return file_->packetCounter - 1; }

    std::string path_;
    KrvFilePtr file_;
    KrvPacketPtr packet_;
    int stream_ = -1;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    uint32_t compression_ = 0;
    uint64_t durationMs_ = 0;

    bool havePacket_ = false;
    size_t nextPayload_ = 0;

    // reassembly of one media object
    bool reassembling_ = false;
    KrvSavedHeader saved_;
    std::vector<uint8_t> object_;
    uint32_t objectSize_ = 0;
    uint32_t received_ = 0;
    uint32_t objectPts_ = 0;
    bool objectKey_ = false;
    uint64_t objectPacket_ = 0;    // packet the object being read began in
    uint64_t lastFramePacket_ = 0; // packet the frame last returned began in

    bool waitKey_ = false;                    // after a seek, frames before the key frame are dropped
    uint32_t seekKeyMs_ = 0;                  // the key frame sought: earlier ones in its packet are dropped too
    std::unique_ptr<KrvFrameReader> scanner_; // reads ahead for the key frame table
    bool scanDone_ = false;
    uint32_t scannedMs_ = 0;     // latest presentation time the scanner has seen
    std::vector<KeyEntry> keys_; // in presentation order
};

} // namespace vedra
