#include "shell/message_box.h"

#include <QMessageBox>
#include <QWidget>

namespace vedra {

void ShowMessageBox(const QString& text, const QString& caption, QWidget* owner)
{
    ShowMessageBox(text.toStdString(), caption.toStdString(), static_cast<void*>(owner));
}

void InstallQtMessageBoxes()
{
    SetMessageBoxHook([](const std::string& text, const std::string& caption, void* owner) {
        QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption), QString::fromStdString(text),
                        QMessageBox::Ok, static_cast<QWidget*>(owner));
        box.exec();
    });
}

} // namespace vedra
