#include "shell/open_recordings.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

#include "krv/krv_reader.h"
#include "krv/krv_recording_name.h"
#include "krv/krv_time.h"
#include "player/engine/cdxgraph.h"
#include "shell/native_path.h"
#include "shell/work_tree.h"
#include "view/channel_deck.h"
#include "view/recording_clock.h"

namespace vedra {
namespace {

constexpr int kSwitchPauseMs = 100;

} // namespace

OpenRecordings::OpenRecordings(ChannelDeck& deck, RecordingsHost& host) : deck_(deck), host_(host) {}

OpenRecordings::~OpenRecordings()
{
    // Normally the close sequence has released everything; whatever is left goes now.
    DropPrepared(true);
    while (!recordings_.empty())
        CloseRecording(recordingCount() - 1);
}

bool OpenRecordings::IsRecording(const QString& path)
{
    return krv_is_recording_name(NativePath(path)) && !QFileInfo(path).isDir();
}

int OpenRecordings::IndexOfEntry(const FileEntry* entry) const
{
    for (int i = 0; i < fileCount(); ++i)
        if (files_[i].get() == entry)
            return i;
    return -1;
}

int OpenRecordings::IndexOfRecording(const LoadedRecording* recording) const
{
    for (int r = 0; r < recordingCount(); ++r)
        if (recordings_[r].get() == recording)
            return r;
    return -1;
}

int OpenRecordings::RecordingIndexOf(int index) const
{
    if (index < 0 || index >= fileCount())
        return -1;
    for (int r = 0; r < recordingCount(); ++r)
        if (recordings_[r]->entry == files_[index].get())
            return r;
    return -1;
}

QStringList OpenRecordings::workFolders() const
{
    QStringList folders;
    for (const auto& recording : recordings_)
        folders << recording->workFolder;
    return folders;
}

int OpenRecordings::AddFileEntry(const QString& path)
{
    files_.push_back(std::make_unique<FileEntry>(FileEntry{path}));
    return fileCount() - 1;
}

void OpenRecordings::OpenFileEntry(int index, bool makeRoom, bool scanFolder)
{
    if (index < 0 || index >= fileCount())
        return;
    if (makeRoom && recordingCount() >= kMaxOpen)
        EvictRecordings();
    const int r = RecordingIndexOf(index);
    if (r >= 0) {
        // Shown again from memory: no file is read.
        deck_.ResetTotalTime();
        SwitchToRecording(r);
        return;
    }
    OpenRecording(index, scanFolder);
}

std::unique_ptr<PlaybackGraph> OpenRecordings::NewGraph() const
{
    std::unique_ptr<PlaybackGraph> graph = graphFactory ? graphFactory() : nullptr;
    // A graph that cannot be created is dropped like one that does not render.
    if (graph && !graph->Create(graphOwner))
        graph.reset();
    return graph;
}

void OpenRecordings::WarnIfDecoderMissing(const PlaybackGraph& graph)
{
    if (graph.DecoderMissing() && quiet_)
        host_.Notice(QString::fromLatin1(CDXGraph::MissingDecoderText(true)));
    else if (graph.DecoderMissing())
        host_.Tell(QString::fromLatin1(CDXGraph::MissingDecoderText(true)),
                   QString::fromLatin1(CDXGraph::kMissingDecoderCaption));
}

bool OpenRecordings::BuildGraphs(LoadedRecording& recording, const ConversionOutcome& outcome, bool split)
{
    uint8_t channelMask = 0;
    int visibleCount = 0;
    int vgaSum = 0;
    auto keepChannel = [&](std::unique_ptr<PlaybackGraph> graph, int position) {
        if (position >= 0 && position < 8)
            channelMask |= static_cast<uint8_t>(1u << position);
        vgaSum += graph->vgaCount();
        ++visibleCount;
        recording.channelGraphs.push_back(std::move(graph));
    };
    if (split) {
        // One graph per file the split wrote, in channel order: the audio file, then the
        // channel files. The audio file takes no channel position, so channel files take bits
        // by their place among the files kept. An A/V-sync split's channel files (the audio
        // inside one of them) are not played: the recording opens empty.
        const KrvSplitFiles& written = outcome.files;
        // Every file plays on the recording's timeline, which the deck shows from its first media.
        recording.timeBaseMs = written.startMs;
        int counter = 0;
        for (const KrvSplitFile& file : written.files) {
            const double offset = static_cast<double>(file.offsetMs) / 1000.0;
            if (file.output == 0) {
                std::unique_ptr<PlaybackGraph> audio = NewGraph();
                if (audio) {
                    audio->SetTimeOffset(offset);
                    if (audio->RenderMediaFile(file.path, true)) {
                        recording.audioGraph = std::move(audio);
                    } else {
                        WarnIfDecoderMissing(*audio);
                        audio->Destroy();
                    }
                    --counter; // the audio file takes no channel position
                }
            } else if (!written.avSync) {
                std::unique_ptr<PlaybackGraph> graph = NewGraph();
                if (graph)
                    graph->SetTimeOffset(offset);
                if (graph && graph->RenderMediaFile(file.path, true)) {
                    keepChannel(std::move(graph), counter);
                } else if (graph) {
                    WarnIfDecoderMissing(*graph);
                    graph->Destroy();
                }
            }
            ++counter;
        }
    } else {
        // Played directly.
        std::unique_ptr<PlaybackGraph> graph = NewGraph();
        if (!graph)
            return false;
        if (!graph->RenderMediaFile(outcome.result, true)) {
            WarnIfDecoderMissing(*graph);
            graph->Destroy();
            return false;
        }
        keepChannel(std::move(graph), 0);
        visibleCount = 0; // a direct file counts no channel file
    }
    recording.channelMask = channelMask;
    recording.visibleCount = visibleCount;
    // A 640 x 480 channel alone is shown in the large pane.
    recording.singleView = vgaSum == 1;
    return true;
}

bool OpenRecordings::CheckOpens(const QString& path, uint8_t& definition, QString& why) const
{
    if (!IsRecording(path)) {
        why = QStringLiteral("Not supported file format !!!");
        return false;
    }
    // Paths keep the file system's bytes from end to end, so no conversion can fail or rename
    // the file.
    const int checked = krv_read_audio_definition(NativePath(path), definition);
    if (checked == KRV_ERROR_FAIL_OPEN_FILE)
        why = QStringLiteral("Failed to open the file to read, please check it !");
    else if (checked < 0)
        why = QString::fromLatin1(kKrvAudioDefinitionError);
    return checked >= 0;
}

std::unique_ptr<LoadedRecording> OpenRecordings::MakeRecording(const ConversionOutcome& outcome,
                                                               const std::string& native, uint8_t audioDefinition)
{
    for (const std::string& message : outcome.messages) {
        if (quiet_)
            host_.Notice(QString::fromStdString(message));
        else
            host_.Tell(QString::fromStdString(message), {});
    }
    if (outcome.result.empty())
        return nullptr;
    const bool split = outcome.result != native;
    auto recording = std::make_unique<LoadedRecording>();
    recording->creationDate = outcome.creationDate;
    recording->audioChannel = audioDefinition;
    if (split)
        recording->workFolder = PathFromNative(outcome.result);
    if (!BuildGraphs(*recording, outcome, split)) {
        RemoveWorkFolder(NativePath(recording->workFolder));
        return nullptr;
    }
    return recording;
}

// The recording on screen stays there, playing, until the new one is known to open.
bool OpenRecordings::OpenRecording(int index, bool scanFolder)
{
    if (index < 0 || index >= fileCount())
        return false;
    const FileEntry* entry = files_[index].get();
    const QString path = entry->path;
    uint8_t definition = 0;
    QString why;
    if (!CheckOpens(path, definition, why)) {
        host_.Tell(why, {});
        return false;
    }
    const std::string native = NativePath(path);
    ConversionOutcome outcome{native, {}, {}, 0};
    if (convertRecording) {
        auto convert = convertRecording;
        outcome = host_.Split([convert, native] { return convert(native); });
    }
    std::unique_ptr<LoadedRecording> recording = MakeRecording(outcome, native, definition);
    // Nothing of it plays: it did not open, and what was on screen stays.
    if (!recording)
        return false;
    // The entry may have gone while the split ran (the window's messages still run).
    if (IndexOfEntry(entry) < 0) {
        recordings_.push_back(std::move(recording));
        CloseRecording(recordingCount() - 1);
        return false;
    }
    recording->entry = entry;
    if (!recording->workFolder.isEmpty() && scanFolder) {
        const QFileInfo info(path);
        const QString folder = info.absolutePath() + '/';
        QDir::setCurrent(folder);
        folderIndex_ = ScanFolderRecordings(folder, info.absoluteFilePath());
        DropPrepared(); // another folder, or the same anew
    }
    LoadedRecording* opened = recording.get();
    recordings_.push_back(std::move(recording));

    // The recording on screen leaves the screen; it stays open.
    deck_.BeginLoading();
    deck_.TakeOffScreen();
    deck_.ResetTotalTime();
    host_.Pause(openPauseMs);
    // What the pause let run may have closed it or its entry.
    if (IndexOfRecording(opened) < 0 || IndexOfEntry(entry) < 0)
        return false;
    current_ = entry;
    Show(*opened);
    host_.CurrentChanged();
    deck_.OnPlay();
    return true;
}

// The recording's own layout: its one 640 x 480 channel in the large pane, else the quad view.
void OpenRecordings::Show(LoadedRecording& recording)
{
    if (recording.singleView) {
        deck_.ShowSingleView(&recording);
    } else {
        deck_.ShowQuadView(&recording);
    }
}

int OpenRecordings::ScanFolderRecordings(const QString& folder, const QString& path)
{
    folder_.clear();
    int position = 0;
    int exact = -1;
    const QDir dir(folder);
    if (!dir.exists())
        return 0;
    const QFileInfoList entries = dir.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& entry : entries) {
        const QString full = folder + entry.fileName();
        if (!entry.exists() || !IsRecording(full))
            continue;
        // Names differing only in case are different files here; an exact match wins.
        if (full == path)
            exact = static_cast<int>(folder_.size());
        if (full.compare(path, Qt::CaseInsensitive) == 0)
            position = static_cast<int>(folder_.size());
        folder_ << full;
    }
    return exact >= 0 ? exact : position;
}

void OpenRecordings::TakeCurrentOffScreen()
{
    if (currentFile() >= 0 && IsOpenEntry(currentFile()))
        deck_.TakeOffScreen();
}

void OpenRecordings::CloseRecording(int r)
{
    LoadedRecording& recording = *recordings_[r];
    auto release = [this](std::unique_ptr<PlaybackGraph>& graph) {
        if (!graph)
            return;
        // Whoever closes detaches first; a slot must still never keep a destroyed graph.
        deck_.Forget(graph.get());
        graph->Destroy();
        graph.reset();
    };
    for (auto& graph : recording.channelGraphs)
        release(graph);
    release(recording.audioGraph);
    // Only a working folder this player made goes, and its removal follows no link.
    RemoveWorkFolder(NativePath(recording.workFolder));
    recordings_.erase(recordings_.begin() + r);
}

void OpenRecordings::CloseAllRecordings()
{
    while (!recordings_.empty())
        CloseRecording(recordingCount() - 1);
}

bool OpenRecordings::CloseFiles(bool all)
{
    TakeCurrentOffScreen();
    if (all) {
        DropPrepared(true);
        files_.clear();
        current_ = nullptr;
        deck_.ClearPlaying();
        CloseAllRecordings();
        return true;
    }
    const int index = currentFile();
    const int r = RecordingIndexOf(index);
    if (r < 0)
        return false;
    CloseRecording(r);
    current_ = nullptr;
    files_.erase(files_.begin() + index);
    return true;
}

void OpenRecordings::CloseFile()
{
    const int closed = currentFile();
    if (!IsOpenEntry(closed))
        return;
    CloseFiles(false);
    // Nothing is on screen unless the Next below opens a recording.
    host_.CurrentChanged();
    if (closed < fileCount() - 1)
        NextInFolder();
}

void OpenRecordings::EvictRecordings()
{
    TakeCurrentOffScreen();
    CloseAllRecordings();
    // Nothing is on screen until the recording these made room for opens, if it does.
    current_ = nullptr;
    host_.CurrentChanged();
}

// The entry on screen becomes the one that names recording r, so the current entry always
// names what is shown; it restarts at the trackbar's position, which the detaches of the
// recording shown before have reset.
void OpenRecordings::SwitchToRecording(int r)
{
    if (r < 0 || r >= recordingCount())
        return;
    const int progress = host_.TrackbarPosition();
    TakeCurrentOffScreen();
    current_ = recordings_[r]->entry;
    LoadedRecording* recording = recordings_[r].get();
    Show(*recording);
    host_.SetTrackbarPosition(progress);
    host_.CurrentChanged();
    deck_.OnPause(); // every checked channel paused at the trackbar's time
    host_.Pause(kSwitchPauseMs);
    if (IndexOfRecording(recording) >= 0 && deck_.recording() == recording)
        deck_.OnPlay();
}

void OpenRecordings::PreviousInFolder()
{
    if (!folder_.isEmpty() && folderIndex_ >= 1)
        OpenFolderRecording(folderIndex_ - 1);
}

void OpenRecordings::NextInFolder()
{
    if (!folder_.isEmpty() && folderIndex_ >= 0 && folderIndex_ + 1 < folder_.size())
        OpenFolderRecording(folderIndex_ + 1);
}

bool OpenRecordings::OpenFolderRecording(int t)
{
    if (t < 0 || t >= folder_.size())
        return false;
    folderIndex_ = t;
    // What was made ready for playing on is not kept twice.
    if (prepared_.folderIndex == t)
        DropPrepared();
    // Always a new entry, also when the same file is listed already.
    const int entry = AddFileEntry(folder_[t]);
    OpenFileEntry(entry, true, false);
    return IsOpenEntry(entry);
}

const RecordingSpan& OpenRecordings::SpanOf(int folderIndex)
{
    static const RecordingSpan kUnknown;
    if (folderIndex < 0 || folderIndex >= folder_.size())
        return kUnknown;
    return spans_.Of(folder_[folderIndex]);
}

std::vector<int> OpenRecordings::FolderInTimeOrder()
{
    std::vector<int> order;
    for (int i = 0; i < folder_.size(); ++i)
        order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
        const RecordingSpan& x = SpanOf(a);
        const RecordingSpan& y = SpanOf(b);
        if (x.known != y.known)
            return x.known;
        return x.known && x.firstUnixMs < y.firstUnixMs;
    });
    return order;
}

OpenRecordings::FolderTime OpenRecordings::FindInFolder(const QString& text)
{
    FolderTime found;
    const RecordingSpan* first = nullptr;
    const RecordingSpan* last = nullptr;
    for (int i = 0; i < folder_.size(); ++i) {
        const RecordingSpan& span = SpanOf(i);
        if (!span.known)
            continue;
        if (first == nullptr || span.firstUnixMs < first->firstUnixMs)
            first = &span;
        if (last == nullptr || span.lastUnixMs > last->lastUnixMs)
            last = &span;
        QString error;
        if (i == folderIndex_)
            continue;
        if (const std::optional<int64_t> ms = ResolveRecorderTime(span.timeline, text, error)) {
            found.index = i;
            found.seconds = static_cast<double>(*ms) / 1000.0;
            return found;
        }
    }
    if (first == nullptr)
        return found;
    // In no recording: read the time on a timeline over the whole folder and half a day either
    // side, so a time of day falls on the day nearest the folder, to name the recordings around it.
    constexpr int64_t kHalfDayMs = 43200000;
    KrvTimeline whole = first->timeline;
    whole.creationDate -= static_cast<uint64_t>(kHalfDayMs) * kFiletimeTicksPerMs;
    const int64_t wholeMs = last->lastUnixMs - first->firstUnixMs + 2 * kHalfDayMs;
    whole.lastMs = whole.originMs + static_cast<uint32_t>(std::min<int64_t>(wholeMs, UINT32_MAX - whole.originMs));
    QString error;
    const std::optional<int64_t> ms = ResolveRecorderTime(whole, text, error);
    if (!ms)
        return found;
    const int64_t at = first->firstUnixMs - kHalfDayMs + *ms;
    int before = -1;
    int after = -1;
    for (int i = 0; i < folder_.size(); ++i) {
        const RecordingSpan& span = SpanOf(i);
        if (span.known && span.lastUnixMs < at && (before < 0 || span.lastUnixMs > SpanOf(before).lastUnixMs))
            before = i;
        if (span.known && span.firstUnixMs > at && (after < 0 || span.firstUnixMs < SpanOf(after).firstUnixMs))
            after = i;
    }
    auto clock = [](int64_t unixMs) {
        return QDateTime::fromMSecsSinceEpoch(unixMs, Qt::UTC).toLocalTime().toString(QStringLiteral("HH:mm:ss"));
    };
    auto name = [this](int i) { return QFileInfo(folder_[i]).fileName(); };
    const QString beforeText =
        before < 0 ? QStringLiteral("none before")
                   : QStringLiteral("before: %1 (to %2)").arg(name(before), clock(SpanOf(before).lastUnixMs));
    const QString afterText =
        after < 0 ? QStringLiteral("none after")
                  : QStringLiteral("after: %1 (from %2)").arg(name(after), clock(SpanOf(after).firstUnixMs));
    found.notice =
        QStringLiteral("%1 is in no recording of the folder; %2, %3").arg(text.trimmed(), beforeText, afterText);
    return found;
}

void OpenRecordings::RemoveFileEntry(int index)
{
    if (index == currentFile()) {
        CloseFile();
        return;
    }
    if (index < 0 || index >= fileCount())
        return;
    const int r = RecordingIndexOf(index);
    if (r >= 0)
        CloseRecording(r);
    files_.erase(files_.begin() + index);
}

int OpenRecordings::NextInTime(int i)
{
    const std::vector<int> order = FolderInTimeOrder();
    const auto at = std::find(order.begin(), order.end(), i);
    return at == order.end() || at + 1 == order.end() ? -1 : *(at + 1);
}

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
        if (prepared_.split.valid()) {
            // Not ready yet: wait for it with the window painted.
            auto& split = prepared_.split;
            ConversionOutcome outcome = host_.Split([&split] { return split.get(); });
            prepared_.split = std::async(std::launch::deferred, [outcome] { return outcome; });
            FinishPreparing();
        }
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
