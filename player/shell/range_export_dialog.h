// The small window Ctrl+E opens: how to hand a time range of the checked channels on (format,
// one file or one per camera, with or without the sound, signed or not, burned in or not, which folder).
#pragma once

#include <QString>

#include <optional>

#include "player/engine/export_muxer.h"

class QWidget;

namespace vedra {

struct ExportChoice {
    ExportFormat format = ExportFormat::Mkv;
    bool singleFile = true; // Matroska and MP4 only
    bool audio = true;
    QString folder;
    bool sign = true;    // a signed manifest beside the files
    bool burnIn = false; // the time of day and the camera drawn into the pictures (re-encoded)
};

// What the user asks for; nothing when the window was cancelled. range and channels say what
// is to be exported; proposed is what the window offers first.
std::optional<ExportChoice> AskExportChoice(QWidget* owner, const QString& range, const QString& channels,
                                            bool hasAudio, const ExportChoice& proposed);

} // namespace vedra
