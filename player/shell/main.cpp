// VedraPlayer: plays multi-camera KRV recordings.
#include <QApplication>

#include <csignal>

#include "shell/VedraPlayerApp.h"
#include "shell/engine_setup.h"
#include "shell/message_box.h"
#include "shell/native_path.h"

int main(int argc, char** argv)
{
    // A file size limit fails the split's write ("File too large") instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv); // takes Qt's own options out of argv
    QApplication::setApplicationName(QStringLiteral("VedraPlayer"));
    // The bytes of argv, not QApplication::arguments(): a name that is not UTF-8 stays openable.
    QStringList paths;
    for (int i = 1; i < argc; ++i)
        paths << vedra::PathFromNative(QByteArray(argv[i]));
    vedra::InstallQtMessageBoxes();
    return vedra::CVedraPlayerApp::InitInstance(paths, vedra::SetUpEngine);
}
