#include "engine_setup.h"

#include "shell/VedraPlayerDlg.h"

namespace vedra {

void SetUpEngine(CVedraPlayerDlg& /*dialog*/) {
  // Filled once the engine and the conversion core are in the tree.
}

void InstallMessageBoxes() {}

}  // namespace vedra
