#include "krv/krv_recording_index.h"

#include <algorithm>
#include <new>

#include "krv/krv_audio_blocks.h"
#include "krv/krv_block_reader.h"
#include "krv/krv_io.h"
#include "krv/krv_reader.h"

namespace {

// The audio stream's format, for the length of each object's sound.
struct AudioClock {
    uint16_t blockAlign = 0;
    uint16_t samplesPerBlock = 0;
    uint32_t rate = 0;
};

class IndexObserver {
public:
    IndexObserver(KrvRecordingIndex& index, const KrvFile& file) : index_(index), file_(file) {}

    void operator()(const KrvWholeObject& whole)
    {
        const uint8_t stream = whole.meta.streamNumber;
        const uint32_t t = whole.meta.presentationTime;
        if (stream >= 2 && stream <= 5) {
            index_.frames[stream - 2].push_back({t, whole.size, whole.meta.keyFrame});
            return;
        }
        if (stream != 1)
            return;
        uint32_t endMs = t;
        const AudioClock clock = clockFromHeader();
        uint32_t unpacked = 0;
        if (clock.rate && clock.blockAlign &&
            krv_unpack_audio(whole.data, whole.size, clock.blockAlign, audio_, unpacked))
            endMs = t + uint32_t(uint64_t((unpacked + clock.blockAlign - 1) / clock.blockAlign) *
                                 clock.samplesPerBlock * 1000 / clock.rate);
        if (!index_.audio) {
            index_.audio = true;
            index_.audioFirstMs = t;
        }
        index_.audioFirstMs = std::min(index_.audioFirstMs, t);
        index_.audioEndMs = std::max(index_.audioEndMs, endMs);
    }

private:
    AudioClock clockFromHeader()
    {
        if (!clockRead_) {
            clockRead_ = true;
            for (const KrvStream& s : file_.streams) {
                if (s.type == KrvStreamType::Audio && s.audio) {
                    clock_.blockAlign = s.audio->blockAlign;
                    clock_.rate = s.audio->samplesPerSec;
                    if (s.audio->extraSize >= 2 && s.audio->extraData)
                        clock_.samplesPerBlock = krv_u16(s.audio->extraData);
                    break;
                }
            }
        }
        return clock_;
    }

    KrvRecordingIndex& index_;
    const KrvFile& file_;
    bool clockRead_ = false;
    AudioClock clock_;
    std::vector<uint8_t> audio_;
};

} // namespace

int krv_index_recording(const std::string& path, KrvRecordingIndex& index, const std::atomic<bool>* stop)
{
    index = {};
    index.path = path;
    KrvBlockReader reader;
    if (!reader.open(path))
        return KRV_ERROR_FAIL_OPEN_FILE;
    reader.StopOn(stop);
    const struct stat& st = reader.openedAs();
    index.fileSize = uint64_t(st.st_size);
    index.modifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    try {
        KrvFilePtr file(krv_open_io(reader.io(), path));
        if (!file)
            return KRV_ERROR_INVALID_VALUE; // the audio channel definition is refused
        int r = krv_init(file.get());
        if (r < 0)
            return r;
        index.fileId = file->fileId;
        IndexObserver observer(index, *file);
        r = krv_gather_facts(file.get(), index.fileSize, index.facts, std::ref(observer));
        if (r < 0)
            return r;
        // A walk cut by the stop reads as a recording cut short: it is no index.
        if (stop && stop->load())
            return KRV_ERROR_IO;
        // The first and last packets it reads again were read just now.
        r = krv_read_timeline(file.get(), index.fileSize, index.timeline);
        if (r < 0)
            return r;
    } catch (const std::bad_alloc&) {
        return KRV_ERROR_OUTOFMEM;
    }
    index.changedWhileRead = reader.changedSinceOpen();
    return 1;
}
