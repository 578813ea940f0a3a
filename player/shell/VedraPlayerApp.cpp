#include "VedraPlayerApp.h"

#include <QTimer>

#include "shell/VedraPlayerDlg.h"
#include "shell/instance_lock.h"
#include "shell/message_box.h"
#include "shell/quit_signals.h"
#include "shell/work_tree.h"

namespace vedra {

int CVedraPlayerApp::InitInstance(const QStringList& paths, DialogSetup setup)
{
    // Held for the whole run and never released: the lock ends with the process.
    static InstanceLock lock;
    const InstanceLock::Result locked = lock.Acquire();
    if (locked == InstanceLock::Result::kAlreadyRunning)
        return 0; // silently
    // Working folders of players that were killed or left with Esc: their owner is gone.
    if (locked == InstanceLock::Result::kAcquired)
        RemoveStaleWorkFolders();

    CVedraPlayerDlg dialog;
    if (setup != nullptr)
        setup(dialog);
    // Logout, kill and Ctrl+C end the run like closing the window.
    QuitSignals quitSignals([&dialog](int) {
        // The program is ending: a box from here on (a failing registry write of the start-up or
        // the shutdown) goes to stderr instead of waiting for a click that would end nothing.
        SetMessageBoxHook({});
        dialog.OnQuitSignal();
    });
    if (!paths.isEmpty())
        QTimer::singleShot(0, &dialog, [&dialog, paths] { dialog.OnDropFiles(paths); });
    dialog.DoModal();
    return 0;
}

} // namespace vedra
