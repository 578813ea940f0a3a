#include "shell/open_recordings.h"

#include <QDir>
#include <QFileInfo>

#include "krv/krv_reader.h"
#include "krv/krv_recording_name.h"
#include "player/engine/cdxgraph.h"
#include "shell/native_path.h"
#include "shell/work_tree.h"
#include "view/channel_deck.h"

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
    // The one made ready for playing on is taken as it is, not split again.
    std::unique_ptr<LoadedRecording> recording = TakePrepared(path);
    if (!recording) {
        ConversionOutcome outcome{native, {}, {}, 0};
        if (convertRecording) {
            auto convert = convertRecording;
            outcome = host_.Split([convert, native] { return convert(native); });
        }
        recording = MakeRecording(outcome, native, definition);
    }
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
    // Always a new entry, also when the same file is listed already.
    const int entry = AddFileEntry(folder_[t]);
    OpenFileEntry(entry, true, false);
    return IsOpenEntry(entry);
}

bool OpenRecordings::ShowFolderRecordingAt(int t, double seconds)
{
    if (!(t == folderIndex_ && CurrentIsInFolder()) && !OpenFolderRecording(t))
        return false;
    deck_.JumpTo(seconds);
    return true;
}

int OpenRecordings::FolderIndexOf(const QString& path) const
{
    const QString wanted = QFileInfo(path).absoluteFilePath();
    for (int i = 0; i < folder_.size(); ++i)
        if (QFileInfo(folder_[i]).absoluteFilePath() == wanted)
            return i;
    return -1;
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

} // namespace vedra
