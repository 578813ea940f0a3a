// A folder of three consecutive krvsynth recordings for tests of the folder's
// timeline, playing through it, going to a time of another recording and
// next activity: cam_0 and cam_1 follow each other, cam_2 starts after a gap
// of two minutes; cameras 1 and 2, 5 fps, 60 s each; on camera 1 of cam_N an
// object crosses from second 10 + 5N to 14 + 5N (an activity span starting
// at offset (10 + 5N) s), on camera 2 of cam_2 from second 30 to 34. No
// audio. Needs KRVSYNTH_PATH.
#pragma once

#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace vedra::test {

// 2026-01-01 10:00:00 UTC.
inline constexpr qint64 kFolderDay = 1767261600;
// Each recording's creation date, in seconds after kFolderDay.
inline constexpr int kFolderStarts[] = {0, 60, 180};
// A recording's first frame lies 1 s after its creation date: the counter's 0.
inline constexpr qint64 kFolderFirstFrameMs = 1000;
inline constexpr qint64 kFolderLastFrameMs = 59800; // from the counter's 0

// ms since 1970 of kFolderDay plus minutes, seconds and ms.
inline qint64 FolderAt(int minutes, int seconds, int ms = 0)
{
    return kFolderDay * 1000 + (minutes * 60 + seconds) * 1000 + ms;
}

// ms since 1970 of recording n's counter's 0.
inline qint64 FolderStartOf(int n)
{
    return (kFolderDay + kFolderStarts[n]) * 1000 + kFolderFirstFrameMs;
}

// Writes `path` with krvsynth; false when it fails.
inline bool SynthRecording(const QString& path, const QStringList& options)
{
    QProcess synth;
    synth.start(QStringLiteral(KRVSYNTH_PATH), QStringList{path} + options);
    return synth.waitForFinished(120000) && synth.exitCode() == 0;
}

inline QString FolderRecording(const QString& folder, int n)
{
    return folder + QString("/cam_%1.krv").arg(n);
}

// Writes cam_0.krv to cam_2.krv into `folder` (made first); false when one fails.
inline bool WriteFolderOfThree(const QString& folder)
{
    if (!QDir().mkpath(folder))
        return false;
    for (int n = 0; n < 3; ++n) {
        QStringList options = {"--channels",
                               "1,2",
                               "--fps",
                               "5",
                               "--seconds",
                               "60",
                               "--still-scene",
                               "--sensor-noise",
                               "4",
                               "--object",
                               QString("1:15:%1-%2").arg(10 + 5 * n).arg(14 + 5 * n),
                               "--creation-date",
                               QString::number(kFolderDay + kFolderStarts[n]),
                               "--no-audio"};
        if (n == 2)
            options << "--object"
                    << "2:20:30-34";
        if (!SynthRecording(FolderRecording(folder, n), options))
            return false;
    }
    return true;
}

} // namespace vedra::test
