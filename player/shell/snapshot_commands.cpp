// The JPG (1036) and BMP (1035) commands: the deck arms a snapshot on every checked channel;
// each writes its next decoded frame into the snapshot folder.
#include <QCheckBox>
#include <QFileInfo>

#include <set>

#include "player/engine/local_time_name.h"
#include "resources/resource_ids.h"
#include "shell/VedraPlayerDlg.h"

namespace vedra {
namespace {

// folder + name + extension; channels armed within one second (or a file of that second
// already on disk) get "_2", "_3", ... so no snapshot replaces another.
QString SnapshotPath(const QString& folder, const QString& name, const QString& extension, std::set<QString>& taken)
{
    QString path = folder + name + extension;
    for (int n = 2; taken.count(path) != 0 || QFileInfo::exists(path); ++n)
        path = folder + name + '_' + QString::number(n) + extension;
    taken.insert(path);
    return path;
}

} // namespace

void CVedraPlayerDlg::OnJpg()
{
    OnSnapshot(true);
}
void CVedraPlayerDlg::OnBmp()
{
    OnSnapshot(false);
}

void CVedraPlayerDlg::OnSnapshot(bool asJpeg)
{
    const QString extension = asJpeg ? QStringLiteral(".jpg") : QStringLiteral(".bmp");
    std::set<QString> taken;
    QStringList requested;
    const auto pathOf = [&](int) {
        const QString name = QString::fromStdString(LocalTimeNameNow());
        return SnapshotPath(picFolder, name, extension, taken).toStdString();
    };
    for (const std::string& path : deck_->RequestSnapshots(pathOf, asJpeg))
        requested << QString::fromStdString(path);
    // Once written, the window says what and where.
    WatchSnapshots(requested);
}

} // namespace vedra
