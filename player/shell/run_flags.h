// The three per-user run values other programs look at: "APPActive", "APPHandle" and
// "IsRunAPAgain" under Software\Vedra Media Player.
#pragma once

#include <cstdint>

class QWidget;

namespace vedra {

// active: "APPActive" = 1 and "APPHandle" = the dialog's window id (low 32 bits); otherwise
// both 0. Shows "ToKeepAPPHanle2Registry is failed!" and returns false when a step fails.
bool SetRunState(QWidget* dialog, bool active);

// Reads "IsRunAPAgain" into previous (0 when missing or not a DWORD) and writes it as 1.
// Shows "ToCheckRunFlag2Registry is failed!" and returns false when the key cannot be opened.
bool CheckRunFlag(QWidget* dialog, uint32_t* previous);

} // namespace vedra
