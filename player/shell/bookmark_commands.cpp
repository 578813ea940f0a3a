// Bookmarks from the window: B marks the instant on screen for the checked cameras with a
// note, Ctrl+B lists the bookmarks of the folder's and the open recordings (go to one, edit
// its note, delete it), and the recording on screen has its bookmarks drawn on the trackbar.
// They live in the user's bookmark store, keyed as krvtool keys them; a store that cannot be
// used is said once and never written to.
#include <QFile>

#include <algorithm>
#include <cmath>
#include <map>

#include "catalog/bookmark_target.h"
#include "krv/krv_time.h"
#include "resources/resource_ids.h"
#include "shell/VedraPlayerDlg.h"
#include "shell/bookmark_list_window.h"
#include "shell/bookmark_note_window.h"
#include "shell/checked_cameras.h"
#include "shell/folder_timeline_host.h"
#include "shell/marked_slider.h"
#include "shell/message_box.h"
#include "view/folder_timeline.h"
#include "view/recording_clock.h"

namespace vedra {
namespace {

std::string Native(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString WhenText(const BookmarkTarget& target, uint32_t offsetMs)
{
    const uint64_t when = BookmarkTimeOfDay(target, offsetMs);
    return QString::fromStdString(when ? krv_clock_text(when, true, false) : "+" + krv_offset_text(offsetMs));
}

} // namespace

BookmarkStore* CVedraPlayerDlg::UsableBookmarkStore(bool quiet)
{
    if (!bookmarkStore_)
        bookmarkStore_ = std::make_unique<BookmarkStore>();
    const std::string& problem = bookmarkStore_->problem();
    if (problem.empty())
        return bookmarkStore_.get();
    if (quiet)
        return nullptr;
    const QString text = QString::fromStdString(problem);
    if (!bookmarkProblemTold_) {
        bookmarkProblemTold_ = true;
        ShowMessageBox(text + QStringLiteral("\n\nBookmarks are neither read from it nor written to it."),
                       QStringLiteral("Bookmarks"), this);
    } else {
        ShowNotice(QStringLiteral("Bookmarks are off: ") + text);
    }
    return nullptr;
}

void CVedraPlayerDlg::OnBookmark()
{
    Recording* recording = deck_->recording();
    if (recording == nullptr || !HasCurrent())
        return;
    const std::vector<int> cameras = CheckedCameras(*deck_);
    if (cameras.empty()) {
        ShowNotice(QStringLiteral("No camera is checked: nothing to bookmark"));
        return;
    }
    const QString path = files_->filePath(files_->currentFile());
    BookmarkTarget target;
    if (ReadBookmarkTarget(Native(path), target) < 0) {
        ShowNotice(QStringLiteral("%1 cannot be read: no bookmark").arg(path));
        return;
    }
    BookmarkStore* store = UsableBookmarkStore(false);
    if (store == nullptr)
        return;
    const double seconds = deck_->timeOnScreen();
    Bookmark mark;
    mark.fileId = target.key.fileId;
    mark.pathHint = target.key.path;
    mark.offsetMs = static_cast<uint32_t>(std::max<int64_t>(0, std::llround(seconds * 1000.0)));
    mark.channels = cameras;
    const QString where = RecorderTimeText(*recording, seconds) + QStringLiteral(", cameras ") +
                          QString::fromStdString(BookmarkChannelsText(cameras));
    const std::optional<QString> note = askNote ? askNote(this, where, {}) : AskBookmarkNote(this, where, {});
    // The recording may have closed while the note was asked.
    if (!note || deck_->recording() != recording)
        return;
    mark.note = note->toStdString();
    std::string error;
    if (!store->Add(mark, error)) {
        ShowMessageBox(QString::fromStdString(error), QStringLiteral("Bookmarks"), this);
        return;
    }
    ShowNotice(QStringLiteral("Bookmark kept: ") + where);
    ShowBookmarks();
}

void CVedraPlayerDlg::ShowBookmarks()
{
    std::vector<int> positions;
    const Recording* recording = deck_->recording();
    BookmarkTarget target;
    BookmarkStore* store = UsableBookmarkStore(true);
    if (store != nullptr && recording != nullptr && HasCurrent() && deck_->maxDuration() > 0 &&
        ReadBookmarkTarget(Native(files_->filePath(files_->currentFile())), target) >= 0) {
        const double perMs = IDeckControls::kProgressRange / (static_cast<double>(deck_->maxDuration()) * 1000.0);
        for (const Bookmark& b : store->ForRecording(target.key))
            positions.push_back(std::min(IDeckControls::kProgressRange, static_cast<int>(b.offsetMs * perMs)));
    }
    if (auto* slider = qobject_cast<MarkedSlider*>(trackbar(IDC_PROGRESS)))
        slider->SetBookmarks(std::move(positions));
    if (timelineHost_ && timelineHost_->timeline() != nullptr) {
        // The folder's timeline shows every bookmark of the folder that has a time of day.
        std::vector<int64_t> instants;
        for (const BookmarkListRow& row : ListedBookmarks())
            if (row.timeOfDay > kFiletimeUnixEpoch)
                instants.push_back(static_cast<int64_t>((row.timeOfDay - kFiletimeUnixEpoch) / kFiletimeTicksPerMs));
        timelineHost_->timeline()->SetBookmarks(std::move(instants));
    }
}

std::vector<BookmarkListRow> CVedraPlayerDlg::ListedBookmarks()
{
    std::vector<BookmarkListRow> rows;
    BookmarkStore* store = UsableBookmarkStore(true);
    if (store == nullptr)
        return rows;
    QStringList paths = files_->folderRecordings();
    for (int r = 0; r < files_->recordingCount(); ++r)
        paths << files_->filePath(files_->FileIndexOf(r));
    paths.removeDuplicates();
    std::vector<std::pair<uint64_t, size_t>> order; // time of day (or offset), row
    std::map<int64_t, size_t> rowOf;                // bookmark id -> its row
    for (const QString& path : paths) {
        BookmarkTarget target;
        if (ReadBookmarkTarget(Native(path), target) < 0)
            continue;
        for (Bookmark& b : store->ForRecording(target.key)) {
            // Copies of one recording share its file ID: a bookmark is listed once, with the
            // copy it was made on when that one is listed.
            if (const auto seen = rowOf.find(b.id); seen != rowOf.end()) {
                if (Native(path) == b.pathHint)
                    rows[seen->second].recording = path;
                continue;
            }
            const uint64_t when = BookmarkTimeOfDay(target, b.offsetMs);
            const QString whenText = WhenText(target, b.offsetMs);
            order.emplace_back(when ? when : b.offsetMs, rows.size());
            rowOf[b.id] = rows.size();
            rows.push_back({std::move(b), path, whenText, when});
        }
    }
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<BookmarkListRow> sorted;
    for (const auto& [when, row] : order)
        sorted.push_back(std::move(rows[row]));
    return sorted;
}

void CVedraPlayerDlg::OnBookmarkList()
{
    if (UsableBookmarkStore(false) == nullptr)
        return;
    BookmarkListWindow list(this);
    list.SetRows(ListedBookmarks());
    list.onJump = [this](const BookmarkListRow& row) { JumpToBookmark(row); };
    list.onEdit = [this, &list](const BookmarkListRow& row) {
        const QString where =
            row.when + QStringLiteral(", cameras ") + QString::fromStdString(BookmarkChannelsText(row.mark.channels));
        const QString now = QString::fromStdString(row.mark.note);
        const std::optional<QString> note = askNote ? askNote(&list, where, now) : AskBookmarkNote(&list, where, now);
        std::string error;
        if (note && !bookmarkStore_->SetNote(row.mark.id, note->toStdString(), error))
            ShowMessageBox(QString::fromStdString(error), QStringLiteral("Bookmarks"), &list);
        list.SetRows(ListedBookmarks());
    };
    list.onDelete = [this, &list](const BookmarkListRow& row) {
        std::string error;
        if (!bookmarkStore_->Remove(row.mark.id, error))
            ShowMessageBox(QString::fromStdString(error), QStringLiteral("Bookmarks"), &list);
        list.SetRows(ListedBookmarks());
        ShowBookmarks();
    };
    if (runBookmarkList) {
        runBookmarkList(list);
    } else {
        list.exec();
    }
    ShowBookmarks();
}

void CVedraPlayerDlg::JumpToBookmark(const BookmarkListRow& row)
{
    const double seconds = row.mark.offsetMs / 1000.0;
    const int current = files_->currentFile();
    if (current >= 0 && files_->filePath(current) == row.recording && deck_->recording() != nullptr) {
        deck_->JumpTo(seconds);
        UpdateTitle();
        return;
    }
    for (int r = 0; r < files_->recordingCount(); ++r)
        if (files_->filePath(files_->FileIndexOf(r)) == row.recording) {
            SwitchToRecording(r);
            deck_->JumpTo(seconds);
            UpdateTitle();
            return;
        }
    const int folderIndex = static_cast<int>(files_->folderRecordings().indexOf(row.recording));
    if (folderIndex >= 0)
        GoToInFolder(folderIndex, seconds);
}

} // namespace vedra
