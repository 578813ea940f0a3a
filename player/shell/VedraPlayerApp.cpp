#include "VedraPlayerApp.h"

#include <QTimer>

#include "shell/VedraPlayerDlg.h"
#include "shell/instance_lock.h"
#include "shell/quit_signals.h"

namespace vedra {

int CVedraPlayerApp::InitInstance(const QStringList& paths, DialogSetup setup) {
  // Held for the whole run and never released: the lock ends with the process.
  static InstanceLock lock;
  if (lock.Acquire() == InstanceLock::Result::kAlreadyRunning) return 0;  // silently

  CVedraPlayerDlg dialog;
  if (setup != nullptr) setup(dialog);
  // Logout, kill and Ctrl+C end the run like closing the window.
  QuitSignals quitSignals([&dialog](int) { dialog.OnQuitSignal(); });
  if (!paths.isEmpty())
    QTimer::singleShot(0, &dialog, [&dialog, paths] { dialog.OnDropFiles(paths); });
  dialog.DoModal();
  return 0;
}

}  // namespace vedra
