// The application object: single-instance rule, then the main dialog, modally.
#pragma once

#include <QStringList>

namespace vedra {

class CVedraPlayerDlg;

class CVedraPlayerApp {
public:
    // Called with the dialog before it runs, to give it its backends (the engine).
    using DialogSetup = void (*)(CVedraPlayerDlg& dialog);

    // Needs a QApplication. Returns the process exit code: 0 also when a second copy ends
    // silently because the first one runs. paths: recordings to open, as if dropped.
    static int InitInstance(const QStringList& paths, DialogSetup setup);
};

} // namespace vedra
