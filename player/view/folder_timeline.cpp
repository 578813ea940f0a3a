#include "folder_timeline.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <utility>

namespace vedra {

namespace {

// A press that moves less than this is a click, not a drag.
constexpr int kDragThreshold = 3;
// Wheel steps of 120 (one notch) zoom by this factor.
constexpr double kZoomPerNotch = 1.25;
// Tick labels at least this far apart.
constexpr int kMinTickSpacing = 64;

const QColor kBackground(24, 24, 28); // the gaps: no recording
const QColor kRecording(54, 66, 82);  // a camera recording, nothing moving
const QColor kQuiet(120, 104, 48);    // a little above the still level
const QColor kActive(236, 120, 32);   // a second that counts as active
const QColor kStrong(255, 48, 32);    // far above it
const QColor kPosition(255, 255, 255);
const QColor kRuler(150, 150, 160);
const QColor kBookmark(255, 170, 30);

QRgb blend(const QColor& a, const QColor& b, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return qRgb(int(a.red() + (b.red() - a.red()) * t), int(a.green() + (b.green() - a.green()) * t),
                int(a.blue() + (b.blue() - a.blue()) * t));
}

// A second's score (in spreads above the still level) as a colour of the heat strip.
QRgb heat(float score)
{
    const double start = kActivityStartScore;
    if (score < 1)
        return kRecording.rgb();
    if (score < start)
        return blend(kRecording, kQuiet, (score - 1) / (start - 1));
    return blend(kActive, kStrong, (score - start) / (3 * start));
}

// Tick steps, 1 s to 6 h.
constexpr int64_t kTickSteps[] = {1000,   2000,   5000,   10000,   15000,   30000,   60000,    120000,
                                  300000, 600000, 900000, 1800000, 3600000, 7200000, 10800000, 21600000};

int64_t localOffsetMs(int64_t unixMs)
{
    return int64_t(QDateTime::fromMSecsSinceEpoch(unixMs).offsetFromUtc()) * 1000;
}

} // namespace

FolderTimeline::FolderTimeline(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumHeight(kRulerHeight + 12);
    FitStrip();
}

void FolderTimeline::FitStrip()
{
    axis_.left = kLabelWidth;
    axis_.width = std::max(1, width() - kLabelWidth - 1);
}

void FolderTimeline::SetRecordings(std::vector<ArchivedRecording> recordings)
{
    recordings_ = std::move(recordings);
    lanes_ = 0;
    if (recordings_.empty()) {
        wholeStart_ = 0;
        wholeEnd_ = 1;
    } else {
        wholeStart_ = recordings_.front().firstMs;
        wholeEnd_ = recordings_.front().lastMs;
        for (const ArchivedRecording& r : recordings_) {
            wholeStart_ = std::min(wholeStart_, r.firstMs);
            wholeEnd_ = std::max(wholeEnd_, r.lastMs);
            lanes_ |= r.cameras;
        }
        wholeEnd_ = std::max(wholeEnd_, wholeStart_ + 1);
    }
    if (zoomed_)
        SetAxis(axis_);
    else
        ShowWhole();
    Redraw();
}

void FolderTimeline::SetPosition(std::optional<int64_t> unixMs)
{
    if (position_ == unixMs)
        return;
    // The mark moves a pixel every few seconds of a long folder: only a moved mark is repainted,
    // and only about its old and new places.
    const std::optional<int> before = MarkX(position_);
    position_ = unixMs;
    const std::optional<int> after = MarkX(position_);
    if (before == after)
        return;
    for (const std::optional<int>& x : {before, after})
        if (x)
            update(*x - kMarkHalfWidth - 1, 0, 2 * kMarkHalfWidth + 3, height());
}

std::optional<int> FolderTimeline::MarkX(std::optional<int64_t> unixMs) const
{
    if (!unixMs || *unixMs < axis_.startMs || *unixMs > axis_.endMs)
        return std::nullopt;
    return int(std::lround(axis_.XAt(*unixMs)));
}

void FolderTimeline::SetBookmarks(std::vector<int64_t> unixMs)
{
    if (unixMs == bookmarks_)
        return;
    bookmarks_ = std::move(unixMs);
    Redraw();
}

void FolderTimeline::ShowWhole()
{
    zoomed_ = false;
    axis_.startMs = wholeStart_;
    axis_.endMs = wholeEnd_;
    Redraw();
}

void FolderTimeline::SetAxis(const TimelineAxis& axis)
{
    axis_ = ZoomedAbout(axis, axis.left, 1.0, wholeStart_, wholeEnd_);
    FitStrip();
    zoomed_ = axis_.startMs != wholeStart_ || axis_.endMs != wholeEnd_;
    Redraw();
}

void FolderTimeline::resizeEvent(QResizeEvent*)
{
    FitStrip();
    Redraw();
}

void FolderTimeline::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
        Redraw();
    QWidget::changeEvent(event);
}

void FolderTimeline::Redraw()
{
    backdropStale_ = true;
    update();
}

QImage FolderTimeline::LaneRow(int channel) const
{
    QImage row(axis_.width, 1, QImage::Format_RGB32);
    row.fill(kBackground);
    auto* pixels = reinterpret_cast<QRgb*>(row.scanLine(0));
    const double msPerPixel = double(axis_.span()) / axis_.width;
    for (const ArchivedRecording& r : recordings_) {
        if (!(r.cameras & (1u << (channel - 1))) || r.lastMs < axis_.startMs || r.firstMs > axis_.endMs)
            continue;
        const std::vector<float>& scores = r.secondScores[channel - 1];
        const int x0 = std::max(0, int(std::floor(axis_.XAt(r.firstMs))) - axis_.left);
        const int x1 = std::min(axis_.width - 1, int(std::ceil(axis_.XAt(r.lastMs))) - axis_.left);
        for (int x = x0; x <= x1; ++x) {
            // The seconds of the recording this column covers; the highest score shows.
            const double from = double(axis_.startMs) + x * msPerPixel - double(r.firstMs);
            const double to = from + msPerPixel;
            const size_t s0 = size_t(std::max(0.0, std::floor(from / 1000)));
            const size_t s1 = std::min(scores.size(), size_t(std::max(0.0, std::ceil(to / 1000))));
            // An active second shows however many quiet ones share its column; quiet ones show their mean.
            float best = 0, sum = 0;
            for (size_t s = s0; s < s1; ++s) {
                best = std::max(best, scores[s]);
                sum += scores[s];
            }
            if (best < kActivityStartScore && s1 > s0)
                best = sum / float(s1 - s0);
            // A span the decode pass confirmed shows as active whatever its sizes said.
            for (const KrvActivitySpan& span : r.spans)
                if (span.channel == channel && double(span.startMs) < to && double(span.endMs) > from)
                    best = std::max(best, float(kActivityStartScore));
            pixels[x] = heat(best);
        }
    }
    return row;
}

void FolderTimeline::PaintRuler(QPainter& painter) const
{
    painter.setPen(kRuler);
    QFont font = painter.font();
    font.setPixelSize(10);
    painter.setFont(font);
    int64_t step = kTickSteps[std::size(kTickSteps) - 1];
    for (int64_t s : kTickSteps)
        if (double(s) * axis_.width / double(axis_.span()) >= kMinTickSpacing) {
            step = s;
            break;
        }
    // Ticks on whole steps of local time.
    const int64_t offset = localOffsetMs(axis_.startMs);
    int64_t t = ((axis_.startMs + offset) / step) * step - offset;
    const QString format = step < 60000 ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm");
    for (; t <= axis_.endMs; t += step) {
        const int x = int(std::lround(axis_.XAt(t)));
        if (x < axis_.left)
            continue;
        painter.drawLine(x, kRulerHeight - 4, x, kRulerHeight - 1);
        // A label cut by the strip's end is left out.
        const QString label = QDateTime::fromMSecsSinceEpoch(t).toString(format);
        if (x + 2 + painter.fontMetrics().horizontalAdvance(label) <= axis_.left + axis_.width)
            painter.drawText(x + 2, kRulerHeight - 5, label);
    }
}

void FolderTimeline::paintEvent(QPaintEvent* event)
{
    const qreal ratio = devicePixelRatioF();
    if (backdropStale_ || backdrop_.size() != size() * ratio || backdrop_.devicePixelRatio() != ratio) {
        backdrop_ = QImage(size() * ratio, QImage::Format_RGB32);
        backdrop_.setDevicePixelRatio(ratio);
        QPainter painter(&backdrop_);
        painter.setFont(font());
        PaintBackdrop(painter);
        backdropStale_ = false;
    }
    QPainter painter(this);
    const QRect dirty = event->rect();
    painter.drawImage(dirty, backdrop_, QRectF(QPointF(dirty.topLeft()) * ratio, QSizeF(dirty.size()) * ratio));
    PaintPosition(painter);
}

void FolderTimeline::PaintBackdrop(QPainter& painter) const
{
    painter.fillRect(rect(), kBackground);
    PaintRuler(painter);
    std::vector<int> channels;
    for (int c = 1; c <= 4; ++c)
        if (lanes_ & (1u << (c - 1)))
            channels.push_back(c);
    if (channels.empty())
        return;
    const int laneSpace = std::max(1, height() - kRulerHeight);
    const int laneHeight = std::max(3, laneSpace / int(channels.size()));
    QFont font = painter.font();
    font.setPixelSize(std::clamp(laneHeight - 2, 7, 11));
    painter.setFont(font);
    for (size_t i = 0; i < channels.size(); ++i) {
        const int top = kRulerHeight + int(i) * laneHeight;
        // One pixel between lanes.
        const QRect lane(axis_.left, top, axis_.width, std::max(1, laneHeight - 1));
        painter.drawImage(lane, LaneRow(channels[i]));
        painter.setPen(kRuler);
        painter.drawText(QRect(0, top, kLabelWidth, laneHeight), Qt::AlignCenter, QString::number(channels[i]));
    }
    // Where one recording ends and the next begins at once, a thin line between them.
    painter.setPen(kBackground);
    for (size_t i = 1; i < recordings_.size(); ++i) {
        const int x = int(std::lround(axis_.XAt(recordings_[i].firstMs)));
        if (x > axis_.left && x < axis_.left + axis_.width)
            painter.drawLine(x, kRulerHeight, x, height());
    }
    // Bookmarks: a line down the lanes under a small flag on the ruler, apart from the
    // position's white triangle.
    painter.setPen(kBookmark);
    painter.setBrush(kBookmark);
    for (int64_t ms : bookmarks_) {
        if (ms < axis_.startMs || ms > axis_.endMs)
            continue;
        const int x = int(std::lround(axis_.XAt(ms)));
        painter.drawLine(x, kRulerHeight - 6, x, height());
        painter.drawRect(x, kRulerHeight - 7, 4, 3);
    }
}

void FolderTimeline::PaintPosition(QPainter& painter) const
{
    if (const std::optional<int> markX = MarkX(position_)) {
        const int x = *markX;
        painter.setPen(kPosition);
        painter.drawLine(x, kRulerHeight - 2, x, height());
        const QPoint mark[3] = {
            {x - kMarkHalfWidth, kRulerHeight - 6}, {x + kMarkHalfWidth, kRulerHeight - 6}, {x, kRulerHeight - 1}};
        painter.setBrush(kPosition);
        painter.drawPolygon(mark, 3);
    }
}

void FolderTimeline::wheelEvent(QWheelEvent* event)
{
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0 || recordings_.empty())
        return;
    const TimelineAxis zoomedAxis =
        ZoomedAbout(axis_, event->position().x(), std::pow(kZoomPerNotch, notches), wholeStart_, wholeEnd_);
    SetAxis(zoomedAxis);
    event->accept();
}

void FolderTimeline::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    pressedAt_ = event->position().toPoint();
    pressedAxis_ = axis_;
    dragging_ = false;
}

void FolderTimeline::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (pressedAt_) {
        const int dx = at.x() - pressedAt_->x();
        dragging_ = dragging_ || std::abs(dx) >= kDragThreshold;
        if (dragging_)
            SetAxis(Panned(pressedAxis_, dx, wholeStart_, wholeEnd_));
    }
    if (at.x() < axis_.left || recordings_.empty())
        return;
    const int64_t t = axis_.TimeAt(at.x());
    QString format = axis_.span() < 600000 ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss");
    // A folder over more than one day names the day too.
    if (QDateTime::fromMSecsSinceEpoch(wholeStart_).date() != QDateTime::fromMSecsSinceEpoch(wholeEnd_).date())
        format.prepend(QStringLiteral("yyyy-MM-dd "));
    QToolTip::showText(event->globalPosition().toPoint(), QDateTime::fromMSecsSinceEpoch(t).toString(format), this);
    emit hovered(t, event->globalPosition().toPoint());
}

void FolderTimeline::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !pressedAt_)
        return;
    const bool click = !dragging_;
    pressedAt_.reset();
    dragging_ = false;
    if (click && event->position().x() >= axis_.left && !recordings_.empty())
        emit timeClicked(axis_.TimeAt(event->position().x()));
}

void FolderTimeline::leaveEvent(QEvent*)
{
    QToolTip::hideText();
    emit hoverLeft();
}

} // namespace vedra
