// The progress window of a job on a worker (an export, a report): a bar of kJobProgressSteps
// with Cancel, shown at once, kept open until the window closes it.
#pragma once

#include <QPointer>
#include <QProgressDialog>
#include <QString>

#include <functional>

namespace vedra {

inline constexpr int kJobProgressSteps = 1000;

// Deleted when closed; `cancel` runs when the user cancels.
QProgressDialog* OpenJobProgress(QWidget* owner, const QString& title, const QString& label,
                                 std::function<void()> cancel);

// Closes the window, if it is still open, and forgets it.
void CloseJobProgress(QPointer<QProgressDialog>& progress);

} // namespace vedra
