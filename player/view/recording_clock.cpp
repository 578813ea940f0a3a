#include "view/recording_clock.h"

#include <QDateTime>

#include <cmath>
#include <limits>

#include "krv/krv_time.h"

namespace vedra {
namespace {

bool IsDated(const std::string& text)
{
    return text.size() > 10 && text[4] == '-' && text[7] == '-';
}

// The local time of day of a whole second. The overlay asks on every frame, and the conversion
// to local time reads the time zone each time: the last second is kept.
QString LocalSecondText(qint64 unixSeconds)
{
    thread_local qint64 lastSecond = std::numeric_limits<qint64>::min();
    thread_local QString lastText;
    if (unixSeconds != lastSecond) {
        lastText = QDateTime::fromSecsSinceEpoch(unixSeconds, Qt::UTC)
                       .toLocalTime()
                       .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        lastSecond = unixSeconds;
    }
    return lastText;
}

} // namespace

QString RecorderTimeText(uint64_t creationDate, uint32_t timeBaseMs, double deckSeconds)
{
    const int64_t offsetMs = std::max<int64_t>(0, std::llround(deckSeconds * 1000.0) + timeBaseMs);
    const uint64_t at = krv_time_of_day(creationDate, static_cast<uint32_t>(std::min<int64_t>(offsetMs, UINT32_MAX)));
    if (at == 0)
        return QString::fromStdString(krv_offset_text(static_cast<uint64_t>(offsetMs)));
    const qint64 unixMs =
        (static_cast<qint64>(at) - static_cast<qint64>(kFiletimeUnixEpoch)) / static_cast<qint64>(kFiletimeTicksPerMs);
    // Time zones differ from UTC by whole seconds: the milliseconds carry over as they are.
    const qint64 seconds = unixMs >= 0 ? unixMs / 1000 : (unixMs - 999) / 1000;
    const qint64 ms = unixMs - seconds * 1000;
    return LocalSecondText(seconds) + QLatin1Char('.') + QStringLiteral("%1").arg(ms, 3, 10, QLatin1Char('0'));
}

QString RecorderTimeText(const Recording& recording, double deckSeconds)
{
    return RecorderTimeText(recording.creationDate, recording.timeBaseMs, deckSeconds);
}

std::optional<int64_t> ResolveRecorderTime(const KrvTimeline& timeline, const QString& text, QString& error)
{
    std::string typed = text.trimmed().toStdString();
    const bool offset = !typed.empty() && typed[0] == '+';
    if (offset)
        typed.erase(0, 1);
    else if (timeline.creationDate != 0 && !typed.empty() && typed[0] != '@' && !IsDated(typed) &&
             typed.find(':') != std::string::npos)
        typed.insert(0, "@");
    std::string why;
    std::optional<KrvTimeText> read = krv_read_time_text(typed, why);
    if (read && offset && read->kind != KrvTimeText::Kind::Offset) {
        read.reset();
        why = "not an offset: " + text.trimmed().toStdString();
    }
    const std::optional<int64_t> ms = read ? krv_resolve_time(*read, timeline, why) : std::nullopt;
    if (!ms)
        error = QString::fromStdString(why);
    return ms;
}

std::optional<double> ParseRecorderTime(const Recording& recording, double totalSeconds, const QString& text,
                                        QString& error)
{
    KrvTimeline timeline;
    timeline.creationDate = krv_trusted_creation_date(recording.creationDate);
    timeline.hasMedia = true;
    timeline.originMs = recording.timeBaseMs;
    timeline.lastMs = recording.timeBaseMs + static_cast<uint32_t>(std::max(0.0, std::round(totalSeconds * 1000.0)));
    const std::optional<int64_t> ms = ResolveRecorderTime(timeline, text, error);
    if (!ms)
        return std::nullopt;
    return static_cast<double>(*ms) / 1000.0;
}

} // namespace vedra
