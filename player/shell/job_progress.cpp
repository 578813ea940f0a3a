#include "shell/job_progress.h"

#include <utility>

namespace vedra {

QProgressDialog* OpenJobProgress(QWidget* owner, const QString& title, const QString& label,
                                 std::function<void()> cancel)
{
    auto* progress = new QProgressDialog(label, QStringLiteral("Cancel"), 0, kJobProgressSteps, owner);
    progress->setWindowTitle(title);
    progress->setAttribute(Qt::WA_DeleteOnClose);
    progress->setMinimumDuration(0);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    QObject::connect(progress, &QProgressDialog::canceled, owner, std::move(cancel));
    return progress;
}

void CloseJobProgress(QPointer<QProgressDialog>& progress)
{
    if (progress)
        progress->close();
    progress = nullptr;
}

} // namespace vedra
