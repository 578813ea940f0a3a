// The file list's window commands: Close File, Close All File, switching the screen to another
// open recording, Pre and Next in the folder, the three window messages that add, open and
// remove entries, and the File List submenu. The recordings do the work; the window waits for a
// deferred close after each.
#include <QFileInfo>
#include <QMenu>

#include <cwchar>

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

intptr_t CVedraPlayerDlg::AddFileEntry(intptr_t lParam)
{
    const auto* text = reinterpret_cast<const wchar_t*>(lParam);
    if (text != nullptr)
        files_->AddFileEntry(QString::fromWCharArray(text, static_cast<qsizetype>(std::wcslen(text))));
    return 0;
}

intptr_t CVedraPlayerDlg::OpenFileEntry(intptr_t lParam)
{
    if (lParam >= 0 && lParam < files_->fileCount())
        files_->OpenFileEntry(static_cast<int>(lParam));
    FinishDeferredClose();
    return 0;
}

intptr_t CVedraPlayerDlg::RemoveFileEntry(intptr_t lParam)
{
    if (lParam >= -1 && lParam < files_->fileCount())
        files_->RemoveFileEntry(static_cast<int>(lParam));
    FinishDeferredClose();
    return 0;
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
        connect(action, &QAction::triggered, this, [this, i] { PostMessage(MsgOpenFileEntry, 0, i); });
    }
    if (count == 0) {
        QAction* placeholder = menu->addAction(QStringLiteral("(empty)"));
        placeholder->setData(ID_FILE_LIST_FIRST);
        placeholder->setEnabled(false);
    }
    UpdateMenuChecks();
}

} // namespace vedra
