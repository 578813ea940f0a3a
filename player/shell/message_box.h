// The one message-box function of the player. Every failure the user is told about goes through
// ShowMessageBox; the GUI shows a QMessageBox, tests install a recorder so nothing blocks.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace vedra {

// Caption used when the caller gives none: the program's name.
inline constexpr const char* kDefaultCaption = "VedraPlayer";

using MessageBoxFunction =
    std::function<void(const QString& text, const QString& caption, QWidget* owner)>;

// Shows text with one OK button. An empty caption becomes kDefaultCaption.
void ShowMessageBox(const QString& text, const QString& caption = {}, QWidget* owner = nullptr);

// Replaces the function behind ShowMessageBox and returns the previous one. An empty function
// restores the QMessageBox one.
MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction fn);

}  // namespace vedra
