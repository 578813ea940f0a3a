// Gives the dialog its backends: the engine's graphs, audio devices and the conversion core.
#pragma once

namespace vedra {

class CVedraPlayerDlg;

void SetUpEngine(CVedraPlayerDlg& dialog);

// Routes every message box of the program (the engine's included) to QMessageBox.
void InstallMessageBoxes();

}  // namespace vedra
