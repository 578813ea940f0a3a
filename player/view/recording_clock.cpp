#include "view/recording_clock.h"

#include <QRegularExpression>

#include <cmath>

namespace vedra {
namespace {

constexpr qint64 kFileTimeToUnixMs = 11644473600000LL;  // 1601-01-01 to 1970-01-01
constexpr uint64_t kFileTimeUnitsPerMs = 10000;
// A time of day is taken for one when it lies this close to the recording or inside it.
constexpr double kInsideSlack = 1.0;  // s

double RecordingSeconds(uint32_t timeBaseMs, double deckSeconds) { return deckSeconds + timeBaseMs / 1000.0; }

struct Clock {
  int hours = 0, minutes = 0, seconds = 0, millis = 0;
  int parts = 0;  // fields given before the fraction: 2 or 3
};

// "h:m", "h:m:s" or "h:m:s.fff"; the fraction is read as milliseconds ("5" = 500 ms).
std::optional<Clock> ParseClock(const QString& text) {
  static const QRegularExpression form(QStringLiteral("^(\\d+):(\\d{1,2})(?::(\\d{1,2})(?:[.,](\\d{1,3}))?)?$"));
  const QRegularExpressionMatch m = form.match(text);
  if (!m.hasMatch()) return std::nullopt;
  Clock c;
  c.hours = m.captured(1).toInt();
  c.minutes = m.captured(2).toInt();
  c.parts = m.captured(3).isEmpty() ? 2 : 3;
  c.seconds = m.captured(3).toInt();
  QString fraction = m.captured(4);
  c.millis = fraction.isEmpty() ? 0 : (fraction + QStringLiteral("00")).left(3).toInt();
  if (c.minutes > 59 || c.seconds > 59) return std::nullopt;
  return c;
}

}  // namespace

QDateTime CreationTime(uint64_t fileTime) {
  if (fileTime == 0) return {};
  const qint64 ms = static_cast<qint64>(fileTime / kFileTimeUnitsPerMs) - kFileTimeToUnixMs;
  return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

QString OffsetText(double seconds) {
  const qint64 ms = std::llround(std::max(0.0, seconds) * 1000.0);
  return QString::asprintf("%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
}

QString RecorderTimeText(uint64_t creationDate, uint32_t timeBaseMs, double deckSeconds) {
  const double recording = RecordingSeconds(timeBaseMs, deckSeconds);
  const QDateTime start = CreationTime(creationDate);
  if (!start.isValid()) return OffsetText(recording);
  return start.addMSecs(std::llround(recording * 1000.0))
      .toLocalTime()
      .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QString RecorderTimeText(const Recording& recording, double deckSeconds) {
  return RecorderTimeText(recording.creationDate, recording.timeBaseMs, deckSeconds);
}

std::optional<double> ParseRecorderTime(const Recording& recording, double totalSeconds, const QString& text) {
  QString t = text.trimmed();
  const bool offsetOnly = t.startsWith('+');
  if (offsetOnly) t = t.mid(1).trimmed();
  const double base = recording.timeBaseMs / 1000.0;
  auto fromOffset = [&](double offset) { return offset - base; };

  // A time of day, with or without its date.
  const QDateTime start = CreationTime(recording.creationDate);
  if (!offsetOnly && start.isValid()) {
    static const QRegularExpression dated(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})[ T](.+)$"));
    const QRegularExpressionMatch m = dated.match(t);
    const QString clockText = m.hasMatch() ? m.captured(2) : t;
    if (const auto clock = ParseClock(clockText); clock && clock->hours < 24) {
      const QDate date = m.hasMatch() ? QDate::fromString(m.captured(1), Qt::ISODate) : start.toLocalTime().date();
      if (date.isValid()) {
        const QDateTime wanted(date, QTime(clock->hours, clock->minutes, clock->seconds, clock->millis), Qt::LocalTime);
        double deck = (wanted.toMSecsSinceEpoch() - start.toMSecsSinceEpoch()) / 1000.0 - base;
        // A recording that runs past midnight: the given time of day lies on the next day.
        if (!m.hasMatch() && deck < -kInsideSlack) deck += 24 * 3600.0;
        if (m.hasMatch() || (deck >= -kInsideSlack && deck <= totalSeconds + kInsideSlack)) return deck;
      }
    }
  }
  // An offset from the start: seconds, "m:s" or "h:m:s(.fff)".
  bool number = false;
  const double seconds = t.toDouble(&number);
  if (number && seconds >= 0) return fromOffset(seconds);
  if (const auto clock = ParseClock(t)) {
    const double offset = clock->parts == 2
                              ? clock->hours * 60.0 + clock->minutes
                              : clock->hours * 3600.0 + clock->minutes * 60.0 + clock->seconds + clock->millis / 1000.0;
    return fromOffset(offset);
  }
  return std::nullopt;
}

}  // namespace vedra
