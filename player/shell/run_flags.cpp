#include "run_flags.h"

#include <QWidget>

#include "message_box.h"
#include "registry_store.h"

namespace vedra {

bool SetRunState(QWidget* dialog, bool active)
{
    bool ok = false;
    if (auto key = RegistryKey::Open(kRunStateKey)) {
        const uint32_t handle = active && dialog != nullptr ? static_cast<uint32_t>(dialog->winId()) : 0;
        const bool wroteActive = key->SetDword("APPActive", active ? 1 : 0);
        const bool wroteHandle = key->SetDword("APPHandle", handle);
        ok = wroteActive && wroteHandle;
    }
    if (!ok)
        ShowMessageBox(QStringLiteral("ToKeepAPPHanle2Registry is failed!"), {}, dialog);
    return ok;
}

bool CheckRunFlag(QWidget* dialog, uint32_t* previous)
{
    *previous = 0;
    auto key = RegistryKey::Open(kRunStateKey);
    if (!key) {
        ShowMessageBox(QStringLiteral("ToCheckRunFlag2Registry is failed!"), {}, dialog);
        return false;
    }
    uint32_t stored = 0;
    if (key->QueryDword("IsRunAPAgain", &stored) == RegistryKey::Query::kDword)
        *previous = stored;
    key->SetDword("IsRunAPAgain", 1);
    return true;
}

} // namespace vedra
