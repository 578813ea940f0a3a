#include "krv/krv_recording.h"

#include <atomic>

#include "krv/krv_reader.h"

namespace {

KrvFile* g_current = nullptr;
// Written by every open for reading, which playback may do off the GUI thread.
std::atomic<uint8_t> g_audioChannelDefinition{0};

} // namespace

int krv_open_recording(const std::string& path) {
    krv_close_current();
    g_current = krv_open(path, true);
    if (!g_current) {
        krv_log("Error opening file %s\n", path.c_str());
        return KRV_ERROR_FAIL_OPEN_FILE;
    }
    return krv_init(g_current);
}

bool krv_count_media_streams(int& count) {
    if (!g_current) return false;
    count = 0;
    for (const KrvStream& s : g_current->streams)
        if (s.type == KrvStreamType::Audio || s.type == KrvStreamType::Video) ++count;
    return true;
}

int krv_split_current(const std::string& folder, const KrvSplitOptions& options, KrvSplitFailure* failure,
                      KrvSplitTimeline* timeline) {
    if (!g_current) return KRV_ERROR_INTERNAL;
    int r = krv_split(g_current, folder, options, failure, timeline);
    krv_close_current();
    return r;
}

KrvFile* krv_current_recording() { return g_current; }

void krv_close_current() {
    krv_close(g_current);
    g_current = nullptr;
}

KrvPropsLocation krv_audio_props_location() {
    if (!g_current) return {};
    return {g_current->audioPropsOffset, g_current->audioPropsSize};
}

uint8_t krv_audio_channel_definition() { return g_audioChannelDefinition; }

void krv_note_audio_channel_definition(uint8_t value) { g_audioChannelDefinition = value; }
