#include "view/recording_clock.h"

#include <QDateTime>

#include <cmath>

#include "krv/krv_time.h"

namespace vedra {
namespace {

// A time of day is taken for one when it lies this close to the recording or inside it.
constexpr double kInsideSlack = 1.0; // s

bool IsDated(const std::string& text)
{
    return text.size() > 10 && text[4] == '-' && text[7] == '-';
}

} // namespace

QString RecorderTimeText(uint64_t creationDate, uint32_t timeBaseMs, double deckSeconds)
{
    const int64_t offsetMs = std::max<int64_t>(0, std::llround(deckSeconds * 1000.0) + timeBaseMs);
    const uint64_t at = krv_time_of_day(creationDate, static_cast<uint32_t>(std::min<int64_t>(offsetMs, UINT32_MAX)));
    if (at < kFiletimeUnixEpoch)
        return QString::fromStdString(krv_offset_text(static_cast<uint64_t>(offsetMs)));
    const qint64 unixMs = static_cast<qint64>((at - kFiletimeUnixEpoch) / kFiletimeTicksPerMs);
    return QDateTime::fromMSecsSinceEpoch(unixMs, Qt::UTC)
        .toLocalTime()
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QString RecorderTimeText(const Recording& recording, double deckSeconds)
{
    return RecorderTimeText(recording.creationDate, recording.timeBaseMs, deckSeconds);
}

std::optional<double> ParseRecorderTime(const Recording& recording, double totalSeconds, const QString& text)
{
    const std::string typed = text.trimmed().toStdString();
    if (typed.empty())
        return std::nullopt;
    auto deck = [&recording](int64_t ms) { return (ms - static_cast<int64_t>(recording.timeBaseMs)) / 1000.0; };
    std::string error;
    if (typed[0] == '+') {
        const std::optional<int64_t> ms = krv_parse_time(typed.substr(1), 0, error);
        return ms ? std::optional<double>(deck(*ms)) : std::nullopt;
    }
    if (recording.creationDate != 0 && typed[0] != '@' && !IsDated(typed) && typed.find(':') != std::string::npos) {
        if (const std::optional<int64_t> ms = krv_parse_time("@" + typed, recording.creationDate, error)) {
            const double t = deck(*ms);
            if (t >= -kInsideSlack && t <= totalSeconds + kInsideSlack)
                return t;
        }
    }
    const std::optional<int64_t> ms = krv_parse_time(typed, recording.creationDate, error);
    return ms ? std::optional<double>(deck(*ms)) : std::nullopt;
}

} // namespace vedra
