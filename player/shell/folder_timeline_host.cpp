#include "shell/folder_timeline_host.h"

#include <QDateTime>
#include <QEvent>
#include <QFileInfo>
#include <QMouseEvent>
#include <QSlider>

#include <cmath>

#include "krv/krv_time.h"
#include "shell/marked_slider.h"
#include "shell/native_path.h"
#include "shell/open_recordings.h"
#include "view/channel_deck.h"
#include "view/deck_controls.h"
#include "view/folder_timeline.h"
#include "view/recording_clock.h"
#include "view/thumbnail_hover.h"

namespace vedra {
namespace {

QString ClockText(int64_t unixMs)
{
    return QDateTime::fromMSecsSinceEpoch(unixMs, Qt::UTC).toLocalTime().toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

FolderTimelineHost::FolderTimelineHost(QWidget* window, QSlider* trackbar, OpenRecordings& files, ChannelDeck& deck,
                                       Window host)
    : QObject(window), trackbar_(trackbar), files_(files), deck_(deck), host_(std::move(host)),
      timeline_(new FolderTimeline(window)), hover_(std::make_unique<ThumbnailHover>(window))
{
    timeline_->setObjectName(QStringLiteral("folderTimeline"));
    timeline_->setToolTip(QString());
    connect(timeline_, &FolderTimeline::timeClicked, this, [this](qint64 unixMs) { GoToInstant(unixMs); });
    connect(timeline_, &FolderTimeline::hovered, this,
            [this](qint64 unixMs, QPoint globalPos) { HoverInstant(unixMs, globalPos); });
    connect(timeline_, &FolderTimeline::hoverLeft, this, [this] { hover_->Hide(); });
    if (trackbar_ != nullptr) {
        trackbar_->setMouseTracking(true);
        trackbar_->installEventFilter(this);
    }
}

FolderTimelineHost::~FolderTimelineHost() = default;

void FolderTimelineHost::Follow()
{
    const int current = files_.currentFile();
    if (current < 0)
        return;
    const std::string folder = NativePath(QFileInfo(files_.filePath(current)).absolutePath());
    if (folder == archive_.folder())
        return;
    lastStep_.reset();
    timeline_->SetRecordings({});
    // The strip grows with every recording placed.
    archive_.Open(folder, [this](const ArchiveProgress& p) {
        if (p.placed)
            timeline_->SetRecordings(archive_.recordings());
    });
}

void FolderTimelineHost::Close()
{
    hover_->Hide();
    archive_.Close();
}

std::optional<int64_t> FolderTimelineHost::UnixMsOnScreen() const
{
    const Recording* recording = deck_.recording();
    if (recording == nullptr || files_.currentFile() < 0)
        return std::nullopt;
    const int64_t ms = std::max<int64_t>(0, std::llround(deck_.timeOnScreen() * 1000.0) + recording->timeBaseMs);
    const uint64_t at = krv_time_of_day(recording->creationDate, uint32_t(std::min<int64_t>(ms, UINT32_MAX)));
    if (at == 0)
        return std::nullopt;
    return (int64_t(at) - int64_t(kFiletimeUnixEpoch)) / int64_t(kFiletimeTicksPerMs);
}

unsigned FolderTimelineHost::CheckedCameras() const
{
    return deck_.checkedBoxes();
}

void FolderTimelineHost::ShowPosition()
{
    timeline_->SetPosition(UnixMsOnScreen());
}

void FolderTimelineHost::GoTo(const std::string& path, uint32_t offsetMs)
{
    int t = files_.FolderIndexOf(PathFromNative(path));
    const int current = files_.currentFile();
    if (t < 0 && current >= 0) {
        // The strip shows the folder of the recording on screen, which need not be the one loaded
        // last: that folder becomes the one the file list's neighbours come from, as a Load of it.
        const QFileInfo here(files_.filePath(current));
        files_.SetFolderIndex(files_.ScanFolderRecordings(here.absolutePath() + '/', here.absoluteFilePath()));
        t = files_.FolderIndexOf(PathFromNative(path));
    }
    if (t < 0)
        return;
    host_.goTo(t, offsetMs / 1000.0);
    ShowPosition();
}

void FolderTimelineHost::GoToInstant(int64_t unixMs)
{
    const FolderPlace place = archive_.Covering(unixMs);
    const std::vector<ArchivedRecording>& recordings = archive_.recordings();
    lastStep_.reset();
    if (place.recording >= 0) {
        GoTo(recordings[size_t(place.recording)].path, place.offsetMs);
    } else if (place.after >= 0) {
        GoTo(recordings[size_t(place.after)].path, 0);
    }
}

void FolderTimelineHost::StepActivity(bool forward)
{
    const int current = files_.currentFile();
    if (current < 0)
        return;
    const int recording = archive_.IndexOf(NativePath(QFileInfo(files_.filePath(current)).absoluteFilePath()));
    const QString pending = archive_.finished() ? QString() : QStringLiteral(" (the folder is still being indexed)");
    if (recording < 0) {
        // Indexed and still not placed: it has no time of day (no creation date) or no pictures.
        host_.notice(archive_.finished() ? QStringLiteral("This recording has no place on the folder's timeline")
                                         : QStringLiteral("The activity of this recording is not known yet") + pending);
        return;
    }
    const ArchivedRecording& here = archive_.recordings()[size_t(recording)];
    int64_t now = here.firstMs + std::max<int64_t>(0, std::llround(deck_.timeOnScreen() * 1000.0));
    // The picture shown after a step may lie a frame before the span's start: still that step.
    if (lastStep_ && std::abs(now - *lastStep_) < FolderArchive::kActivityStepSlackMs)
        now = *lastStep_;
    const std::optional<ActivityStep> step =
        archive_.NextActivity(CheckedCameras(), recording, uint32_t(std::max<int64_t>(0, now - here.firstMs)), forward);
    if (!step) {
        host_.notice((forward ? QStringLiteral("No activity of the checked cameras after this in the folder")
                              : QStringLiteral("No activity of the checked cameras before this in the folder")) +
                     pending);
        return;
    }
    GoTo(archive_.recordings()[size_t(step->recording)].path, step->offsetMs);
    lastStep_ = step->unixMs;
    host_.notice(QStringLiteral("Camera %1 active at %2").arg(step->channel).arg(ClockText(step->unixMs)));
}

void FolderTimelineHost::HoverInstant(int64_t unixMs, QPoint globalPos)
{
    const FolderPlace place = archive_.Covering(unixMs);
    if (place.recording < 0) {
        hover_->Hide();
        return;
    }
    const ArchivedRecording& r = archive_.recordings()[size_t(place.recording)];
    // The checked cameras; with none checked, all of the recording's.
    const unsigned checked = CheckedCameras() & r.cameras;
    const unsigned cameras = checked != 0 ? checked : r.cameras;
    hover_->Show(r.path, place.offsetMs, cameras, ClockText(unixMs), globalPos);
}

void FolderTimelineHost::HoverTrackbar(int x, QPoint globalPos)
{
    const Recording* recording = deck_.recording();
    const int current = files_.currentFile();
    if (recording == nullptr || current < 0 || deck_.maxDuration() <= 0) {
        hover_->Hide();
        return;
    }
    // The value under the pointer, as a click there sets it.
    const auto* slider = qobject_cast<const MarkedSlider*>(trackbar_);
    if (slider == nullptr) {
        hover_->Hide();
        return;
    }
    const int value = slider->ValueAt(x);
    const double seconds = double(deck_.maxDuration()) * value / IDeckControls::kProgressRange;
    const unsigned checked = CheckedCameras();
    if (checked == 0) {
        hover_->Hide();
        return;
    }
    // The time of day alone; a recording without a date shows its offset.
    const QString time = RecorderTimeText(*recording, seconds);
    hover_->Show(NativePath(QFileInfo(files_.filePath(current)).absoluteFilePath()),
                 uint32_t(std::llround(seconds * 1000.0)), checked, time.size() > 19 ? time.mid(11, 8) : time,
                 globalPos);
}

bool FolderTimelineHost::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == trackbar_) {
        if (event->type() == QEvent::MouseMove) {
            const auto* move = static_cast<QMouseEvent*>(event);
            HoverTrackbar(move->position().toPoint().x(), move->globalPosition().toPoint());
        } else if (event->type() == QEvent::Leave) {
            hover_->Hide();
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace vedra
