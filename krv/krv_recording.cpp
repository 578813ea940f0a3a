#include "krv/krv_recording.h"

int krv_open_recording(const std::string& path, KrvFilePtr& recording, const KrvMessageSink* sink)
{
    recording.reset(krv_open(path, true, sink));
    if (!recording) {
        krv_log(sink, "Error opening file %s\n", path.c_str());
        return KRV_ERROR_FAIL_OPEN_FILE;
    }
    return krv_init(recording.get());
}

int krv_count_media_streams(const KrvFile& recording)
{
    int count = 0;
    for (const KrvStream& s : recording.streams)
        if (s.type == KrvStreamType::Audio || s.type == KrvStreamType::Video)
            ++count;
    return count;
}
