// VedraPlayer: plays multi-camera KRV recordings.
#include <QApplication>

#include "shell/VedraPlayerApp.h"
#include "shell/engine_setup.h"
#include "shell/message_box.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("VedraPlayer"));
  QStringList paths = QApplication::arguments();
  paths.removeFirst();
  vedra::InstallQtMessageBoxes();
  return vedra::CVedraPlayerApp::InitInstance(paths, vedra::SetUpEngine);
}
