// The transport buttons, the trackbars, the timeline timer and the graph notifications: the
// deck acts on them; with no file open the transport does nothing.
#include "player/engine/range_export_job.h"
#include "resources/resource_ids.h"
#include "shell/VedraPlayerDlg.h"
#include "shell/folder_timeline_host.h"

namespace vedra {

void CVedraPlayerDlg::OnPlay()
{
    if (HasCurrent())
        deck_->OnPlay();
}

void CVedraPlayerDlg::OnPause()
{
    if (HasCurrent())
        deck_->OnPause();
}

void CVedraPlayerDlg::OnStop()
{
    if (HasCurrent())
        deck_->OnStop();
}

void CVedraPlayerDlg::OnReplay()
{
    if (HasCurrent())
        deck_->OnReplay();
}

void CVedraPlayerDlg::OnHScroll(int id)
{
    if (id == IDC_PROGRESS)
        deck_->OnProgressMoved();
    if (id == IDC_VOLUME)
        deck_->OnVolumeMoved();
}

void CVedraPlayerDlg::OnTimer()
{
    deck_->OnTimer();
    files_->Prepare();
    timelineHost_->ShowPosition();
    UpdateTitle();
}

void CVedraPlayerDlg::OnGraphNotify(intptr_t sender)
{
    // Senders 123 and 124 are the exports, never a playback graph.
    if (sender == kExportNotifyParam)
        OnExportNotify();
    if (sender == kRangeExportNotifyParam)
        OnRangeExportEnded();
    deck_->OnGraphNotify();
}

} // namespace vedra
