// The small window B and the bookmark list's Edit ask a bookmark's note in: one line, Enter
// keeps it, Esc drops it.
#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace vedra {

// where: the instant and cameras, shown above the line; note: the line's text to begin with.
// The note, or none when the user dropped it.
std::optional<QString> AskBookmarkNote(QWidget* owner, const QString& where, const QString& note);

} // namespace vedra
