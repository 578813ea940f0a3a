#include "resources.h"

#include <QPainter>
#include <QSvgRenderer>

#include "resource_ids.h"

// The resource file is linked into a static library; register it once before first use.
static void InitResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(player);
        return true;
    }();
    (void)done;
}

namespace vedra {
namespace {

const char* ResourcePath(int id)
{
    switch (id) {
    case IDI_APP: return ":/vedra/icons/app.svg";
    case IDI_AVI: return ":/vedra/icons/avi.svg";
    case IDI_PAUSE: return ":/vedra/icons/pause.svg";
    case IDI_PLAY: return ":/vedra/icons/play.svg";
    case IDI_SNAPSHOT: return ":/vedra/icons/snapshot.svg";
    case IDI_STOP: return ":/vedra/icons/stop.svg";
    case IDI_SOUND_OFF: return ":/vedra/icons/sound_off.svg";
    case IDI_SOUND_ON: return ":/vedra/icons/sound_on.svg";
    case IDI_PREVIOUS: return ":/vedra/icons/previous.svg";
    case IDI_NEXT: return ":/vedra/icons/next.svg";
    case IDB_PLAYLIST: return ":/vedra/icons/playlist.svg";
    case IDB_PLAYLIST_SELECTED: return ":/vedra/icons/playlist_selected.svg";
    default: return nullptr;
    }
}

// Renders the SVG ourselves so no image-format plugin is needed at run time.
QPixmap Render(int id, QSize size)
{
    const char* path = ResourcePath(id);
    if (path == nullptr)
        return {};
    QSvgRenderer svg{QString::fromLatin1(path)};
    if (!svg.isValid())
        return {};
    if (!size.isValid())
        size = svg.defaultSize();
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    svg.render(&painter);
    return pixmap;
}

} // namespace

QIcon LoadIcon(int id)
{
    InitResources();
    QIcon icon;
    for (int side : {16, 24, 32, 48}) {
        const QPixmap pixmap = Render(id, QSize(side, side));
        if (pixmap.isNull())
            return {};
        icon.addPixmap(pixmap);
    }
    return icon;
}

QPixmap LoadBitmap(int id)
{
    InitResources();
    return Render(id, QSize());
}

QString LoadString(int id)
{
    if (id == IDS_TITLE)
        return QStringLiteral("Vedra Media Player");
    return {};
}

} // namespace vedra
