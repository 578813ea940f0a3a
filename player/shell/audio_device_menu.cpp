// The Audio Device submenu: one item per audio output found at start-up (ids 1740 + i), the
// check mark on the chosen one, and the device command that moves the audio graph to it.
#include <QMenu>

#include "resources/resource_ids.h"
#include "shell/VedraPlayerDlg.h"

namespace vedra {
namespace {

constexpr int kDeviceItems = ID_AUDIO_DEVICE_LAST - ID_AUDIO_DEVICE_FIRST + 1;

} // namespace

void CVedraPlayerDlg::FillAudioDeviceMenu()
{
    QMenu* menu = fileMenu ? fileMenu->findChild<QMenu*>("Audio Device") : nullptr;
    if (menu == nullptr || audioDevices.empty())
        return; // the placeholder stays
    menu->clear();
    const int count = std::min(static_cast<int>(audioDevices.size()), kDeviceItems);
    for (int i = 0; i < count; ++i) {
        const int id = ID_AUDIO_DEVICE_FIRST + i;
        QAction* action = menu->addAction(QString::fromStdString(audioDevices[i].friendlyName));
        action->setData(id);
        action->setObjectName(QString::number(id));
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this, id] { OnAudioDevice(id); });
    }
    UpdateDeviceChecks();
}

void CVedraPlayerDlg::UpdateDeviceChecks()
{
    QMenu* menu = fileMenu ? fileMenu->findChild<QMenu*>("Audio Device") : nullptr;
    if (menu == nullptr)
        return;
    for (QAction* action : menu->actions()) {
        const int id = action->data().toInt();
        if (id < ID_AUDIO_DEVICE_FIRST || id > ID_AUDIO_DEVICE_LAST || !action->isCheckable())
            continue;
        action->setChecked(id == ID_AUDIO_DEVICE_FIRST + selectedAudioDevice);
    }
}

void CVedraPlayerDlg::OnAudioDevice(int id)
{
    PlaybackGraph* audio = deck_->AudioSlot();
    if (audio == nullptr)
        return;
    const int i = id - ID_AUDIO_DEVICE_FIRST;
    if (i < 0 || i >= static_cast<int>(audioDevices.size()))
        return;
    selectedAudioDevice = i;
    if (!audio->UseAudioDevice(audioDevices[i], this))
        return;
    deck_->OnAudioDeviceChanged();
}

} // namespace vedra
