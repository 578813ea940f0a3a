// The recordings the user works with: the file list, the open recordings (each holding its
// graphs, its working folder and the entry it was opened from), the recordings of the folder
// of the one loaded last, and the one on screen. The window asks it to open, switch, close and
// move through the folder; what is on screen and how it plays stays with the channel deck,
// which this hands recordings to. open_recordings.cpp opens, switches and closes;
// folder_time.cpp places the folder's recordings in time; play_through.cpp plays on through
// them. GUI thread only.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "krv/krv_splitter.h"
#include "shell/recording_spans.h"
#include "view/playback_graph.h"
#include "view/recording.h"

class QWidget;

namespace vedra {

class ChannelDeck;

// One file the user loaded, as chosen or dropped. An open recording points at its entry.
struct FileEntry {
    QString path;
};

// The result of splitting a recording: the working folder, or the path itself to play it
// directly, and the messages to show on the way.
struct ConversionOutcome {
    std::string result;
    std::vector<std::string> messages;
    KrvSplitFiles files;       // of a split: what it wrote, where each file lies on the timeline
    uint64_t creationDate = 0; // of the recording, 100-ns units since 1601 UTC; 0 when none
};

// An open recording: its graphs and view state, the working folder its split wrote (empty
// when played directly), removed when it closes, and the entry it was opened from.
struct LoadedRecording : Recording {
    QString workFolder;
    const FileEntry* entry = nullptr;
};

// What the window does around the model's steps.
class RecordingsHost {
public:
    virtual ~RecordingsHost() = default;
    // A message box (caption empty: the program's name).
    virtual void Tell(const QString& text, const QString& caption) = 0;
    // Runs a split off the GUI thread while the window stays painted; returns its outcome.
    virtual ConversionOutcome Split(const std::function<ConversionOutcome()>& job) = 0;
    // A line at the bottom of the window, nothing modal (while playing through the folder).
    virtual void Notice(const QString& text) = 0;
    // Waits ms with the window painted (posted messages may run meanwhile).
    virtual void Pause(int ms) = 0;
    // The recording on screen, or that none is, changed (the title follows).
    virtual void CurrentChanged() = 0;
    // The progress trackbar's thumb.
    virtual int TrackbarPosition() const = 0;
    virtual void SetTrackbarPosition(int position) = 0;
};

class OpenRecordings {
public:
    static constexpr int kMaxOpen = 5; // a sixth recording closes the five first

    OpenRecordings(ChannelDeck& deck, RecordingsHost& host);
    ~OpenRecordings();
    OpenRecordings(const OpenRecordings&) = delete;
    OpenRecordings& operator=(const OpenRecordings&) = delete;

    // Backends, replaceable before the first open (tests use scripted ones).
    GraphFactory graphFactory;
    std::function<ConversionOutcome(const std::string& path)> convertRecording;
    QWidget* graphOwner = nullptr; // the window message boxes about graphs belong to
    int openPauseMs = 500;         // the loader's pause before the view

    // What is a recording: a recording's name (krv_is_recording_name) that is not a folder.
    static bool IsRecording(const QString& path);

    // ---- The file list
    int fileCount() const { return static_cast<int>(files_.size()); }
    const QString& filePath(int index) const { return files_[index]->path; }
    bool IsOpenEntry(int index) const { return RecordingIndexOf(index) >= 0; }
    // The position of the entry's open recording, -1 when it is not open.
    int RecordingIndexOf(int index) const;
    // The entry on screen, -1 none.
    int currentFile() const { return IndexOfEntry(current_); }

    // ---- Open recordings, in the order they opened
    int recordingCount() const { return static_cast<int>(recordings_.size()); }
    LoadedRecording& recording(int r) const { return *recordings_[r]; }
    // The entry recording r was opened from.
    int FileIndexOf(int r) const { return IndexOfEntry(recordings_[r]->entry); }
    // Working folders of the open recordings, in their order (empty: played directly).
    QStringList workFolders() const;

    // ---- The folder of the recording loaded last, in name order
    const QStringList& folderRecordings() const { return folder_; }
    int folderIndex() const { return folderIndex_; }
    void SetFolderIndex(int index) { folderIndex_ = index; }

    // ---- Operations
    // A new entry at the end of the list; its index.
    int AddFileEntry(const QString& path);
    // Shows the entry: from memory when it is open, else opens it (making room first when
    // makeRoom and five are open; scanFolder lists its folder anew). One path for every open.
    void OpenFileEntry(int index, bool makeRoom = true, bool scanFolder = true);
    // Removes the entry, closing its recording (the one on screen: as Close File).
    void RemoveFileEntry(int index);
    // Opens the entry's file as a new recording and shows it playing; what was on screen
    // stays there until then. False when it did not open (the entry stays, not open).
    bool OpenRecording(int index, bool scanFolder);
    // The entry on screen closes (all: every entry and recording). False when none was.
    bool CloseFiles(bool all);
    // Close File: the one on screen closes; with two or more entries after it, its folder
    // neighbour opens.
    void CloseFile();
    // Every recording closes, the entries stay listed.
    void EvictRecordings();
    // Recording r shows at the trackbar's position and plays.
    void SwitchToRecording(int r);
    void PreviousInFolder();
    void NextInFolder();
    // The recordings of folder (with its '/') by name; the position of path among them.
    int ScanFolderRecordings(const QString& folder, const QString& path);
    // Opens folder position t as a new entry (making room first); false when it did not open.
    bool OpenFolderRecording(int t);
    // Folder position t at `seconds` from its counter's 0: the one on screen when it is t, else t
    // opened as above. The one way to a time of another recording (Ctrl+G, the timeline, N).
    bool ShowFolderRecordingAt(int t, double seconds);
    // The folder position of the file at path, -1 when it is none of the folder's.
    int FolderIndexOf(const QString& path) const;

    // ---- The folder in time
    const RecordingSpan& SpanOf(int folderIndex);
    // Folder positions by their first frame; those of no known span after them, by name.
    std::vector<int> FolderInTimeOrder();
    // Where a typed time of day lies in the folder, outside the recording on screen: the
    // position and its time there (s from the counter's 0), or -1 with a notice naming the
    // nearest recordings before and after (empty when the text is no time of day).
    struct FolderTime {
        int index = -1;
        double seconds = 0;
        QString notice;
    };
    FolderTime FindInFolder(const QString& text);
    // The folder position after position i in time, -1 none.
    int NextInTime(int i);

    // ---- Playing through the folder
    // On, the end of the recording on screen goes on with the next of the folder in time; its
    // split and graphs are made while this one plays (Prepare), so no more than two working
    // folders of the play-through exist at once.
    bool playThrough() const { return playThrough_; }
    void SetPlayThrough(bool on);
    // Moves the next one's preparation on; the window's timer calls it. Never blocks.
    void Prepare();
    // Splits no longer wanted whose working folders are still to go: they go once the split ends.
    size_t abandonedSplits() const { return abandoned_.size(); }
    // The recording on screen ended: true when the next one of the folder now plays.
    bool PlayOnAfterEnd();

private:
    int IndexOfEntry(const FileEntry* entry) const;
    int IndexOfRecording(const LoadedRecording* recording) const;
    // The one way a recording closes: off every slot, graphs destroyed, working folder removed.
    void CloseRecording(int r);
    void CloseAllRecordings();
    void TakeCurrentOffScreen();
    void Show(LoadedRecording& recording);
    // Builds the graphs of what the split wrote (or of the file itself); false when nothing plays.
    bool BuildGraphs(LoadedRecording& recording, const ConversionOutcome& outcome, bool split);
    std::unique_ptr<PlaybackGraph> NewGraph() const;
    void WarnIfDecoderMissing(const PlaybackGraph& graph);

    // The next recording of the folder made ready in the background.
    struct Prepared {
        int folderIndex = -1;
        std::future<ConversionOutcome> split;       // valid while the split runs
        std::unique_ptr<LoadedRecording> recording; // its graphs built, once the split is done
        bool failed = false;
        QString why; // of a failure
    };
    // Whether the recording on screen is the folder's at folderIndex_ (not one switched to).
    bool CurrentIsInFolder() const;
    void StartPreparing(int t);
    void FinishPreparing();
    // The split under way finished with the window painted, then FinishPreparing.
    void FinishPreparingNow();
    // The recording made ready when it is the one at path (its split finished first); nullptr
    // otherwise or when it failed. Nothing stays prepared after a take.
    std::unique_ptr<LoadedRecording> TakePrepared(const QString& path);
    // wait: a split under way ends before this returns; else it is left to end on its own.
    void DropPrepared(bool wait = false);
    // Removes what the abandoned splits wrote, of those that have ended (wait: of all).
    void ReapAbandoned(bool wait);
    // Opens what the split wrote as an open recording not yet listed; nullptr when nothing plays.
    std::unique_ptr<LoadedRecording> MakeRecording(const ConversionOutcome& outcome, const std::string& native,
                                                   uint8_t audioDefinition);
    // Reads a recording's audio definition; false with the message when it cannot be opened.
    bool CheckOpens(const QString& path, uint8_t& definition, QString& why) const;

    ChannelDeck& deck_;
    RecordingsHost& host_;
    std::vector<std::unique_ptr<FileEntry>> files_;
    std::vector<std::unique_ptr<LoadedRecording>> recordings_;
    QStringList folder_;
    int folderIndex_ = -1;
    const FileEntry* current_ = nullptr;
    RecordingSpans spans_;
    bool playThrough_ = false;
    bool quiet_ = false; // messages go to the notice line, not to boxes
    Prepared prepared_;
    std::vector<std::future<ConversionOutcome>> abandoned_; // splits no longer wanted, still running
};

} // namespace vedra
