// The folder's timeline in the window: the archive of the folder of the recording on screen
// (its catalog brought up to date in the background, the strip filling in as it goes), the
// position of the picture marked on it, a click going to the instant clicked, N and Shift+N
// going to the next and previous activity of the checked cameras, and pictures of those
// cameras while the timeline or the trackbar is hovered. The one owner of the folder's archive;
// it moves through the folder only through the window's go-to path. GUI thread only.
#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "engine/folder_archive.h"

class QSlider;
class QWidget;

namespace vedra {

class ChannelDeck;
class FolderTimeline;
class OpenRecordings;
class ThumbnailHover;

class FolderTimelineHost : public QObject {
public:
    // What the host asks of the window.
    struct Window {
        std::function<void(const QString& text)> notice;
        // Shows folder position t at `seconds` from its counter's 0 (opening it when it is not on screen).
        std::function<void(int folderIndex, double seconds)> goTo;
    };

    // The timeline is made as a child of `window`; the trackbar's hover shows pictures too.
    FolderTimelineHost(QWidget* window, QSlider* trackbar, OpenRecordings& files, ChannelDeck& deck, Window host);
    ~FolderTimelineHost() override;

    FolderTimeline* timeline() const { return timeline_; }
    const FolderArchive& archive() const { return archive_; }
    ThumbnailHover& hover() { return *hover_; }

    // The recording on screen changed: the archive follows it when it lies in another folder.
    void Follow();
    // Marks the picture's instant on the timeline (the window's timer).
    void ShowPosition();
    // A click on the timeline: the recording covering the instant there, in a gap the next
    // one's first frame.
    void GoToInstant(int64_t unixMs);
    // N (forward) and Shift+N: the start of the next or previous activity span of the checked
    // cameras across the folder, with a notice naming the camera and the time of day.
    void StepActivity(bool forward);
    // Hovering: the pictures of the checked cameras at that instant (the key frame at or before it).
    void HoverInstant(int64_t unixMs, QPoint globalPos);
    void HoverTrackbar(int x, QPoint globalPos);
    // Stops indexing at once (the window closes).
    void Close();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The instant of the picture on screen, ms since 1970; none without a recording or a date.
    std::optional<int64_t> UnixMsOnScreen() const;
    // The cameras whose boxes are checked (bit c - 1).
    unsigned CheckedCameras() const;
    void GoTo(const std::string& path, uint32_t offsetMs);

    QSlider* trackbar_;
    OpenRecordings& files_;
    ChannelDeck& deck_;
    Window host_;
    FolderTimeline* timeline_; // a child of the window
    std::unique_ptr<ThumbnailHover> hover_;
    FolderArchive archive_;
    // The instant the last N or Shift+N went to: the step after it starts from there.
    std::optional<int64_t> lastStep_;
};

} // namespace vedra
