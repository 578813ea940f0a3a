// Gives the dialog its backends: the engine's graphs, audio devices and the conversion core.
#pragma once

namespace vedra {

class CVedraPlayerDlg;

void SetUpEngine(CVedraPlayerDlg& dialog);

} // namespace vedra
