#include "shell/engine_setup.h"

#include "krv/krv_config.h"
#include "krv/krv_convert.h"
#include "krv/krv_workfolder.h"
#include "player/engine/audio_devices.h"
#include "shell/VedraPlayerDlg.h"
#include "view/engine_graph.h"

namespace vedra {

void SetUpEngine(CVedraPlayerDlg& dialog)
{
    dialog.files().graphFactory = MakeEngineGraph;
    dialog.enumerateAudioDevices = [](std::vector<AudioDevice>& devices) { EnumerateAudioDevices(devices); };
    dialog.files().convertRecording = [](const std::string& path) {
        // Read at every split, as the setting may change between recordings.
        // The work root, else a private folder under the user's cache.
        KrvConversion conversion =
            krv_convert_recording(path, krv_av_sync_enabled(), {krv_work_root(), krv_fallback_work_root()});
        ConversionOutcome outcome{
            conversion.split ? conversion.result : path, {}, std::move(conversion.files), conversion.creationDate};
        for (const KrvUserMessage& message : conversion.messages)
            outcome.messages.push_back(message.text);
        return outcome;
    };
}

} // namespace vedra
