// krvtool report PATH... --out FILE.pdf [--from T] [--to T] [--title TEXT]
// [--manifests DIR]: the case report of recordings and their bookmarks, each
// camera's picture taken through the engine's snapshot path.
#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "batch.h"
#include "case_report.h"
#include "commands.h"
#include "engine_session.h"
#include "media_type.h"
#include "stop_signals.h"
#include "tool_report.h"

namespace krvtool {
namespace {

constexpr const char* kReportUsage =
    "usage: krvtool report FILE|FOLDER... --out FILE.pdf [--from T] [--to T] [--title TEXT] [--manifests DIR]\n"
    "  a PDF naming the recordings and their signed exports, then every bookmark with its note\n"
    "  and a picture of each of its cameras\n"
    "  --from, --to  only the bookmarks from T to before T: an offset (75.5), @hh:mm:ss or\n"
    "                YYYY-MM-DD hh:mm:ss\n"
    "  --manifests   a folder with signed exports (NAME.manifest.json) of the recordings, besides\n"
    "                the recordings' own folders (repeatable)\n";

// One recording's channel files at a time: a session removes every folder of
// the process when it ends, so two never live at once.
class Pictures {
public:
    bool Take(const std::string& recording, int camera, uint32_t offsetMs, QImage& picture, std::string& error)
    {
        if (!session_ || recording != recording_) {
            session_.reset();
            session_ = std::make_unique<EngineSession>();
            recording_ = recording;
            opened_ = session_->Open(recording);
        }
        if (!opened_) {
            error = "the recording cannot be played";
            return false;
        }
        const std::string file = (session_->folder() / "picture.bmp").string();
        vedra::GrabbedMediaType type;
        if (!session_->Snapshot(camera, offsetMs, file, false, type, error))
            return false;
        picture = QImage(QString::fromStdString(file));
        std::error_code ec;
        std::filesystem::remove(file, ec);
        if (picture.isNull())
            error = "the picture cannot be read back";
        return !picture.isNull();
    }

private:
    std::unique_ptr<EngineSession> session_;
    std::string recording_;
    bool opened_ = false;
};

} // namespace

int runReport(std::span<char* const> args)
{
    vedra::CaseReportRequest req;
    std::vector<std::string> names;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string a = args[i];
        const bool valued = a == "--out" || a == "--from" || a == "--to" || a == "--title" || a == "--manifests";
        if (a == "--help" || a == "-h") {
            std::fputs(kReportUsage, stdout);
            return kExitOk;
        }
        if (valued && i + 1 < args.size()) {
            const std::string v = args[++i];
            std::string error;
            if (a == "--out") {
                req.out = v;
            } else if (a == "--title") {
                req.title = v;
            } else if (a == "--manifests") {
                req.manifestFolders.push_back(v);
            } else if (!((a == "--from" ? req.from : req.to) = krv_read_time_text(v, error))) {
                reportError(a + ": " + error);
                return kExitUsage;
            }
            continue;
        }
        if (valued || a.starts_with("--")) {
            reportError(valued ? a + " needs a value" : "unknown option " + shown(a));
            std::fputs(kReportUsage, stderr);
            return kExitUsage;
        }
        names.push_back(a);
    }
    if (names.empty() || req.out.empty()) {
        reportError(names.empty() ? "report needs a recording or a folder" : "report needs --out FILE.pdf");
        std::fputs(kReportUsage, stderr);
        return kExitUsage;
    }
    for (const std::string& folder : req.manifestFolders) {
        std::error_code ec;
        if (!std::filesystem::is_directory(folder, ec)) {
            reportError("--manifests: " + shown(folder) + " is not a folder");
            return kExitUsage;
        }
    }
    bool several = false;
    if (!expandRecordings(names, req.recordings, several))
        return kExitFailed;
    req.toolVersion = VEDRA_VERSION;

    // Text needs fonts, which Qt has through a platform; a command line tool shows no window.
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int argc = 1;
    char name[] = "krvtool";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);

    Pictures pictures;
    std::stop_source stop;
    const vedra::CaseReportResult r = vedra::WriteCaseReport(
        req,
        [&](const std::string& recording, int camera, uint32_t offsetMs, QImage& picture, std::string& error) {
            if (StopSignal())
                stop.request_stop();
            return pictures.Take(recording, camera, offsetMs, picture, error);
        },
        {}, stop.get_token());
    for (const std::string& note : r.notes)
        std::fprintf(stderr, "krvtool: note: %s\n", shown(note).c_str());
    if (!r.written) {
        reportError(shown(r.error));
        return kExitFailed;
    }
    std::printf("%s: %d bookmark(s), %d picture(s), %d signed export(s)\n", shown(req.out).c_str(), r.bookmarks,
                r.pictures, r.exports);
    return kExitOk;
}

} // namespace krvtool
