// Message boxes of the window. Every box of the program goes through the engine's one
// function, vedra::ShowMessageBox (std::string); the window installs the hook that shows a
// QMessageBox, and tests install a recorder instead.
#pragma once

#include <QString>

#include "player/engine/message_box.h"

class QWidget;

namespace vedra {

// Qt convenience for the window's own boxes: converts and calls the one function.
void ShowMessageBox(const QString& text, const QString& caption = {}, QWidget* owner = nullptr);

// Makes the one function show a modal QMessageBox with one OK button, owned by owner.
void InstallQtMessageBoxes();

} // namespace vedra
