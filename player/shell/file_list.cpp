// The file list's window commands: Close File, Close All File, switching the screen to another
// open recording, Pre and Next in the folder, the three window messages that add, open and
// remove entries, and the File List submenu. The recordings do the work; the window waits for a
// deferred close after each.
#include <QFileInfo>
#include <QMenu>

#include "resources/resource_ids.h"
#include "resources/resources.h"
#include "shell/VedraPlayerDlg.h"

namespace vedra {
namespace {

constexpr int kFileListItems = ID_FILE_LIST_LAST - ID_FILE_LIST_FIRST + 1;

} // namespace

void CVedraPlayerDlg::CloseFile()
{
    files_->CloseFile();
    FinishDeferredClose();
}

void CVedraPlayerDlg::CloseAllFiles()
{
    files_->CloseFiles(true);
    setWindowTitle(LoadString(IDS_TITLE));
}

void CVedraPlayerDlg::SwitchToRecording(int r)
{
    files_->SwitchToRecording(r);
    FinishDeferredClose();
}

void CVedraPlayerDlg::PreviousInFolder()
{
    files_->PreviousInFolder();
    FinishDeferredClose();
}

void CVedraPlayerDlg::NextInFolder()
{
    files_->NextInFolder();
    FinishDeferredClose();
}

void CVedraPlayerDlg::AddFileEntry(const QString& path)
{
    if (!path.isEmpty())
        files_->AddFileEntry(path);
}

void CVedraPlayerDlg::OpenFileEntry(int index)
{
    if (index >= 0 && index < files_->fileCount())
        files_->OpenFileEntry(index);
    FinishDeferredClose();
}

void CVedraPlayerDlg::RemoveFileEntry(int index)
{
    if (index >= -1 && index < files_->fileCount())
        files_->RemoveFileEntry(index);
    FinishDeferredClose();
}

// One item per entry, labelled with its file name; the first eleven entries have ids.
void CVedraPlayerDlg::FillFileListMenu()
{
    QMenu* menu = fileMenu ? fileMenu->findChild<QMenu*>("File List") : nullptr;
    if (menu == nullptr)
        return;
    menu->clear();
    const int count = std::min(files_->fileCount(), kFileListItems);
    for (int i = 0; i < count; ++i) {
        QAction* action = menu->addAction(QFileInfo(files_->filePath(i)).fileName());
        action->setData(ID_FILE_LIST_FIRST + i);
        action->setObjectName(QString::number(ID_FILE_LIST_FIRST + i));
        action->setToolTip(files_->filePath(i));
        connect(action, &QAction::triggered, this, [this, i] { PostMessage({.msg = MsgOpenFileEntry, .index = i}); });
    }
    if (count == 0) {
        QAction* placeholder = menu->addAction(QStringLiteral("(empty)"));
        placeholder->setData(ID_FILE_LIST_FIRST);
        placeholder->setEnabled(false);
    }
    UpdateMenuChecks();
}

} // namespace vedra
