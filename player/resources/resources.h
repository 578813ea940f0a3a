// Loading the player's icons, bitmaps and strings by resource id.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace vedra {

// Null icon/pixmap for an unknown id.
QIcon LoadIcon(int id);
QPixmap LoadBitmap(int id);
QString LoadString(int id);

} // namespace vedra
