#include "shell/engine_setup.h"

#include <QWidget>

#include "player/engine/audio_devices.h"
#include "krv/krv_config.h"
#include "krv/krv_convert.h"
#include "krv/krv_workfolder.h"
#include "player/engine/message_box.h"
#include "shell/VedraPlayerDlg.h"
#include "shell/message_box.h"
#include "view/engine_graph.h"

namespace vedra {

void SetUpEngine(CVedraPlayerDlg& dialog) {
  dialog.graphFactory = MakeEngineGraph;
  dialog.enumerateAudioDevices = [] {
    std::vector<AudioDevice> devices;
    EnumerateAudioDevices(devices);
    std::vector<std::string> names;
    for (const AudioDevice& device : devices) names.push_back(device.friendlyName);
    return names;
  };
  dialog.convertRecording = [](const std::string& path) {
    // Read at every split, as the setting may change between recordings.
    KrvConversion conversion = krv_convert_recording(path, krv_av_sync_enabled(), krv_work_root());
    ConversionOutcome outcome{conversion.split ? conversion.result : path, {}};
    for (const KrvUserMessage& message : conversion.messages) outcome.messages.push_back(message.text);
    return outcome;
  };
}

void InstallMessageBoxes() {
  // The engine's boxes go through the window's function, so there is one place to show or
  // record them.
  SetMessageBoxHook([](const std::string& text, const std::string& caption, void* owner) {
    ShowMessageBox(QString::fromStdString(text), QString::fromStdString(caption),
                   static_cast<QWidget*>(owner));
  });
}

}  // namespace vedra
