// One exported file being written: MPEG-4 part 2 video tracks copied frame by
// frame and the audio (MS ADPCM copied, or AAC in MP4), in AVI, Matroska or
// MP4. Times are given in the recording's ms; time 0 of the file is `baseMs`.
// In Matroska and MP4 every frame keeps its own time; AVI has frame slots
// only, so there a frame goes to the slot nearest its time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adpcm_to_aac.h"
#include "av_handles.h"

namespace vedra {

enum class ExportFormat { Avi, Mkv, Mp4 };

// "avi", "mkv", "mp4".
const char* ExportFormatExtension(ExportFormat format);

// The time of day shown with the frame at `timeMs` ("2026-01-02 00:00:07",
// local time), from the recording's creation date (FILETIME).
std::string FrameTimeOfDayText(uint64_t creationDate, uint32_t timeMs);

struct MuxVideoTrack {
    int channel = 0; // 1-4, titled "Channel N"
    uint32_t width = 0;
    uint32_t height = 0;
    double frameIntervalMs = 0;  // typical gap between frames; 0: unknown
    std::vector<uint8_t> config; // the sequence header decoders start from
    // Frames re-encoded by this encoder, whose parameters the track takes;
    // none: the recording's frames copied.
    const AVCodecContext* encoder = nullptr;
};

struct MuxAudioTrack {
    AdpcmFormat format;
    uint16_t samplesPerBlock = 0;
};

struct MuxFileInfo {
    std::string title;
    std::string comment;
    std::string creationTime; // ISO 8601, empty: none
    // A subtitle track "Time of day" (Matroska and MP4) whose cue at each
    // instant is the local time of day of the frame shown then, from the
    // recording's creation date (FILETIME; none without one).
    bool timeTrack = false;
    uint64_t creationDate = 0;
};

class ExportMuxer {
public:
    ExportMuxer() = default;
    ~ExportMuxer(); // an unfinished file is closed as it is
    ExportMuxer(const ExportMuxer&) = delete;
    ExportMuxer& operator=(const ExportMuxer&) = delete;

    bool Open(const std::string& path, ExportFormat format, const std::vector<MuxVideoTrack>& video,
              const std::optional<MuxAudioTrack>& audio, const MuxFileInfo& info, uint32_t baseMs, std::string& error);
    bool WriteFrame(int channel, const uint8_t* data, uint32_t size, bool keyFrame, uint32_t timeMs,
                    std::string& error);
    // Bare ADPCM blocks starting at `timeMs`.
    bool WriteAudio(const uint8_t* blocks, uint32_t size, uint32_t timeMs, std::string& error);
    // Writes the trailer and closes the file.
    bool Finish(std::string& error);

    // Frames written and the times of the first and last, of one channel (or of
    // every channel for 0).
    struct Span {
        uint64_t frames = 0;
        uint32_t firstMs = 0;
        uint32_t lastMs = 0;
    };
    Span span(int channel = 0) const;

private:
    struct Track {
        int channel = 0; // 0: audio
        AVStream* stream = nullptr;
        int64_t last = AV_NOPTS_VALUE; // last timestamp written, stream time base
        Span frames;                   // video tracks
    };
    bool Write(Track& track, AVPacket* packet, std::string& error);
    bool AddVideo(const MuxVideoTrack& v, std::string& error);
    bool AddAudio(const MuxAudioTrack& a, std::string& error);
    bool AddTimeTrack(uint32_t firstMs, std::string& error);
    // The time-of-day cue of the frame at `timeMs`; the one before ends there.
    bool CueAt(uint32_t timeMs, std::string& error);
    bool WriteCue(uint32_t endMs, std::string& error);

    ExportFormat format_ = ExportFormat::Mkv;
    AvOutputPtr out_;
    AvPacketPtr packet_;
    std::vector<Track> tracks_; // video tracks, then the audio
    std::optional<MuxAudioTrack> audio_;
    std::unique_ptr<AdpcmToAac> aac_;
    uint32_t baseMs_ = 0;
    bool headerWritten_ = false;
    // The time-of-day track: its stream, the cue waiting for its end.
    uint64_t creationDate_ = 0;
    AVStream* timeStream_ = nullptr;
    std::string cueText_;
    uint32_t cueStartMs_ = 0;
    double cueFrameMs_ = 0;
};

} // namespace vedra
