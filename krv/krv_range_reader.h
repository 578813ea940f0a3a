// The media objects of a time range of a recording, read straight from the
// recording: only the packets of the range (and the few before it that hold
// the key frames the channels start at) are read, found by the times their
// payloads carry since packets sit at fixed offsets. Objects are reassembled as the splitter
// does; every frame comes out byte for byte as recorded, with its time.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "krv/krv_object_assembler.h"
#include "krv/krv_reader.h"

inline constexpr int kRangeChannels = 4;

struct KrvRange {
    int64_t fromMs = 0;                                 // offset (preroll subtracted); below 0 = 0
    int64_t toMs = std::numeric_limits<int64_t>::max(); // exclusive
    uint8_t channels = 0x0F;                            // bit c - 1: video channel c
    bool audio = true;
};

struct KrvRangeObject {
    int channel = 0; // 1-4 video; 0 audio
    bool keyFrame = false;
    uint32_t time = 0;             // ms, preroll subtracted
    const uint8_t* data = nullptr; // a frame as recorded; audio: the bare ADPCM blocks
    uint32_t size = 0;             // valid until the next call
};

// Where a channel's part of the range begins.
struct KrvRangeChannel {
    bool present = false;       // it has a key frame to start at before the range ends
    bool framesInRange = false; // it has frames in the range (present or not)
    uint32_t startMs = 0;       // the key frame at or before `from`, else its first one after
    uint64_t startPacket = 0;   // the packet that key frame begins in
    double frameIntervalMs = 0; // median gap between its frames seen while looking; 0: unknown
};

class KrvRangeReader {
public:
    // `recording`: opened and initialised, owned by the caller, not read by
    // anything else while this reader uses it. `fileSize`: its size, so the
    // reading stops at the last whole packet of a recording cut short.
    KrvRangeReader(KrvFile* recording, uint64_t fileSize);

    // Finds where every wanted channel starts and puts the reader there.
    // 1 or a negative KrvError.
    int seek(const KrvRange& range);

    // 1 with the next object of the range (file order), 0 at its end, or a
    // negative KrvError. Frames of a channel run from its start to the last
    // one before `to`; audio objects from the earliest channel start (or
    // `from` without channels) to before `to`.
    int next(KrvRangeObject& object);

    const KrvRangeChannel& channel(int c) const { return channels_[c - 1]; }
    // Earliest start of a present channel; `from` when none is.
    uint32_t startMs() const { return baseMs_; }
    bool cutShort() const { return cut_; }
    // Fraction of the range's packets read so far (0-1).
    double progress() const;
    uint64_t packetsRead() const { return packetsRead_; }

private:
    int readPacket(uint64_t index, bool continuing);
    // When a packet's objects are due: the earliest presentation time (preroll
    // subtracted) its payloads carry; a packet without payloads, its send time.
    int64_t packetTime() const;
    int64_t packetTimeOf(uint64_t index, int& error);
    // First packet due at or after `ms` (packets_ when none is).
    int64_t firstPacketAt(int64_t ms, int& error);
    // `seen`: channels with frames in the range.
    int scanForward(uint64_t from, uint8_t wanted, uint8_t& seen);
    int scanBackward(uint64_t before, uint8_t unresolved);
    // The object as the caller gets it, or false when it lies outside the range.
    bool admit(const KrvWholeObject& whole, KrvRangeObject& object);

    KrvFile* rec_;
    KrvPacketPtr packet_;
    KrvObjectAssembler assembler_;
    std::vector<uint8_t> audio_; // unpacked blocks of the object handed out
    uint64_t packets_ = 0;       // whole packets to read
    bool cut_ = false;
    uint16_t blockAlign_ = 0;

    KrvRange range_;
    KrvRangeChannel channels_[kRangeChannels];
    uint32_t baseMs_ = 0;
    uint64_t first_ = 0; // first packet read for the range
    uint64_t end_ = 0;   // estimated packet past the range, for progress
    int64_t stopMs_ = 0; // a packet due after this ends the reading

    // reading state
    uint64_t nextPacket_ = 0;
    uint64_t current_ = 0; // packet held in packet_
    bool havePacket_ = false;
    bool ended_ = false; // next() has given 0
    uint16_t nextPayload_ = 0;
    bool started_[kRangeChannels] = {};
    bool done_[kRangeChannels + 1] = {}; // [0..3] channels, [4] audio: an object at or after `to` was seen
    uint64_t packetsRead_ = 0;
};
