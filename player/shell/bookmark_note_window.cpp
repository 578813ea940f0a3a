#include "shell/bookmark_note_window.h"

#include <QInputDialog>

namespace vedra {

std::optional<QString> AskBookmarkNote(QWidget* owner, const QString& where, const QString& note)
{
    bool ok = false;
    const QString text = QInputDialog::getText(owner, QStringLiteral("Bookmark"), where + QStringLiteral("\nNote:"),
                                               QLineEdit::Normal, note, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

} // namespace vedra
