#include "message_box.h"

#include <QMessageBox>

namespace vedra {
namespace {

void ShowQtMessageBox(const QString& text, const QString& caption, QWidget* owner) {
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
  box.exec();
}

MessageBoxFunction& CurrentFunction() {
  static MessageBoxFunction fn = ShowQtMessageBox;
  return fn;
}

}  // namespace

void ShowMessageBox(const QString& text, const QString& caption, QWidget* owner) {
  CurrentFunction()(text, caption.isEmpty() ? QString::fromLatin1(kDefaultCaption) : caption,
                    owner);
}

MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction fn) {
  MessageBoxFunction previous = CurrentFunction();
  CurrentFunction() = fn ? std::move(fn) : MessageBoxFunction(ShowQtMessageBox);
  return previous;
}

}  // namespace vedra
