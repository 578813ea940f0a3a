// Playing on through the folder: the next recording in time split and its graphs built while
// one plays, then shown in its place with the same cameras, view and speed, the one left behind
// closed with its working folder.
#include <QFileInfo>

#include "shell/native_path.h"
#include "shell/open_recordings.h"
#include "shell/work_tree.h"
#include "view/channel_deck.h"

namespace vedra {

void OpenRecordings::SetPlayThrough(bool on)
{
    playThrough_ = on;
    if (!on)
        DropPrepared();
    Prepare();
}

void OpenRecordings::DropPrepared(bool wait)
{
    // A split under way ends on its own; what it wrote goes once it has.
    if (prepared_.split.valid())
        abandoned_.push_back(std::move(prepared_.split));
    if (prepared_.recording) {
        recordings_.push_back(std::move(prepared_.recording));
        CloseRecording(recordingCount() - 1);
    }
    prepared_ = Prepared{};
    ReapAbandoned(wait);
}

void OpenRecordings::ReapAbandoned(bool wait)
{
    for (auto it = abandoned_.begin(); it != abandoned_.end();) {
        if (!wait && it->wait_for(std::chrono::seconds(0)) == std::future_status::timeout) {
            ++it;
            continue;
        }
        // A split's working folder goes (only one this player made); a direct one wrote none.
        RemoveWorkFolder(it->get().files.folder);
        it = abandoned_.erase(it);
    }
}

void OpenRecordings::StartPreparing(int t)
{
    DropPrepared();
    prepared_.folderIndex = t;
    uint8_t definition = 0;
    if (!CheckOpens(folder_[t], definition, prepared_.why)) {
        prepared_.failed = true;
        return;
    }
    const std::string native = NativePath(folder_[t]);
    auto convert = convertRecording;
    if (!convert) {
        prepared_.split = std::async(std::launch::deferred, [native] { return ConversionOutcome{native, {}, {}, 0}; });
        return;
    }
    // The same split as a load, on a worker; nothing of the window is touched there.
    prepared_.split = std::async(std::launch::async, [convert, native] { return convert(native); });
}

void OpenRecordings::FinishPreparing()
{
    const int t = prepared_.folderIndex;
    const ConversionOutcome outcome = prepared_.split.get();
    uint8_t definition = 0;
    QString why;
    CheckOpens(folder_[t], definition, why);
    quiet_ = true;
    prepared_.recording = MakeRecording(outcome, NativePath(folder_[t]), definition);
    quiet_ = false;
    if (!prepared_.recording) {
        prepared_.failed = true;
        prepared_.why = QStringLiteral("nothing of it plays");
    }
}

void OpenRecordings::FinishPreparingNow()
{
    if (!prepared_.split.valid())
        return;
    // Not ready yet: wait for it with the window painted.
    auto& split = prepared_.split;
    ConversionOutcome outcome = host_.Split([&split] { return split.get(); });
    prepared_.split = std::async(std::launch::deferred, [outcome] { return outcome; });
    FinishPreparing();
}

std::unique_ptr<LoadedRecording> OpenRecordings::TakePrepared(const QString& path)
{
    const int t = prepared_.folderIndex;
    if (t < 0 || t >= folder_.size() || QFileInfo(folder_[t]).absoluteFilePath() != QFileInfo(path).absoluteFilePath())
        return nullptr;
    FinishPreparingNow();
    // A failed one is opened anew, so that what went wrong is told as any open tells it.
    std::unique_ptr<LoadedRecording> recording = std::move(prepared_.recording);
    DropPrepared();
    return recording;
}

bool OpenRecordings::CurrentIsInFolder() const
{
    const int current = currentFile();
    return current >= 0 && folderIndex_ >= 0 && folderIndex_ < folder_.size() &&
           QFileInfo(filePath(current)).absoluteFilePath() == QFileInfo(folder_[folderIndex_]).absoluteFilePath();
}

void OpenRecordings::Prepare()
{
    ReapAbandoned(false);
    if (!playThrough_ || !CurrentIsInFolder())
        return;
    const int next = NextInTime(folderIndex_);
    if (next < 0)
        return;
    if (prepared_.folderIndex != next) {
        StartPreparing(next);
        return;
    }
    if (prepared_.split.valid() && (prepared_.split.wait_for(std::chrono::seconds(0)) == std::future_status::ready ||
                                    prepared_.split.wait_for(std::chrono::seconds(0)) == std::future_status::deferred))
        FinishPreparing();
}

bool OpenRecordings::PlayOnAfterEnd()
{
    if (!playThrough_ || !CurrentIsInFolder())
        return false;
    const LoadedRecording* ended = recordings_[RecordingIndexOf(currentFile())].get();
    const RecordingSpan endedSpan = SpanOf(folderIndex_);
    for (int next = NextInTime(folderIndex_); next >= 0; next = NextInTime(next)) {
        if (prepared_.folderIndex != next)
            StartPreparing(next);
        FinishPreparingNow();
        if (prepared_.failed) {
            host_.Notice(QStringLiteral("%1 skipped: %2").arg(QFileInfo(folder_[next]).fileName(), prepared_.why));
            folderIndex_ = next;
            continue;
        }
        std::unique_ptr<LoadedRecording> recording = std::move(prepared_.recording);
        prepared_ = Prepared{};
        // The same cameras, view and speed go on in the next one.
        const uint8_t boxes = deck_.checkedBoxes();
        const int enlarged = deck_.enlargedBox();
        recording->entry = files_[AddFileEntry(folder_[next])].get();
        folderIndex_ = next;
        LoadedRecording* shown = recording.get();
        recordings_.push_back(std::move(recording));
        deck_.TakeOffScreen();
        deck_.ResetTotalTime();
        current_ = shown->entry;
        Show(*shown);
        deck_.KeepOnlyChecked(boxes);
        if (enlarged >= 0 && deck_.enlargedBox() != enlarged)
            deck_.ToggleLarge(enlarged);
        host_.CurrentChanged();
        deck_.OnPlay();
        const RecordingSpan& span = SpanOf(next);
        if (endedSpan.known && span.known && span.firstUnixMs - endedSpan.lastUnixMs >= 1000) {
            const int64_t gap = (span.firstUnixMs - endedSpan.lastUnixMs) / 1000;
            host_.Notice(QStringLiteral("gap of %1:%2:%3 skipped")
                             .arg(gap / 3600, 2, 10, QChar('0'))
                             .arg(gap / 60 % 60, 2, 10, QChar('0'))
                             .arg(gap % 60, 2, 10, QChar('0')));
        }
        // The one left behind closes with its working folder.
        if (const int r = IndexOfRecording(ended); r >= 0)
            CloseRecording(r);
        Prepare();
        return true;
    }
    return false;
}

} // namespace vedra
