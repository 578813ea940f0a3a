#include "case_report.h"

#include <pwd.h>
#include <unistd.h>

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QString>
#include <QTextDocument>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "catalog/bookmark_target.h"
#include "evidence/export_manifest.h"
#include "evidence/signing_key.h"
#include "sha256_file.h"

namespace vedra {
namespace {

namespace fs = std::filesystem;

constexpr uintmax_t kMaxManifest = 16u << 20;
constexpr int kPictureWidth = 320; // of the document's 96-dpi layout: two pictures a row

struct Recording {
    std::string path;
    uint64_t size = 0;
    std::string sha256;
    BookmarkTarget target;
    std::vector<int> cameras;
};

struct Export {
    std::string manifest; // path
    const Recording* recording = nullptr;
    ExportManifest m;
    bool signatureGood = false;
};

QString Html(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size())).toHtmlEscaped().replace('\n', "<br/>");
}

// A line of a recording's or an export's table: what, and its value (HTML).
QString Row(const char* what, const QString& value)
{
    return QString("<tr><td width=\"18%\"><b>") + what + "</b></td><td>" + value + "</td></tr>";
}

std::string CamerasText(const std::vector<int>& cameras)
{
    std::string s;
    for (int c : cameras)
        s += (s.empty() ? "" : ", ") + std::to_string(c);
    return s.empty() ? "none" : s;
}

// "2026-01-01 10:00:02.500" in local time, or "+00:00:01.500" without a creation date.
std::string WhenText(const BookmarkTarget& t, uint32_t offsetMs)
{
    const uint64_t when = BookmarkTimeOfDay(t, offsetMs);
    return when ? krv_clock_text(when, true, false) : "+" + krv_offset_text(offsetMs);
}

int64_t UnixMs(uint64_t filetime)
{
    return (int64_t(filetime) - int64_t(kFiletimeUnixEpoch)) / int64_t(kFiletimeTicksPerMs);
}

// Where the bookmark lies against a time the user gave: below 0 before it.
std::optional<int64_t> Against(const KrvTimeText& t, const BookmarkTarget& target, uint32_t offsetMs)
{
    if (t.kind == KrvTimeText::Kind::Offset)
        return int64_t(offsetMs) - t.ms;
    const uint64_t when = BookmarkTimeOfDay(target, offsetMs);
    if (!when)
        return std::nullopt;
    const int64_t unixMs = UnixMs(when);
    if (t.kind == KrvTimeText::Kind::DateTime)
        return unixMs - t.ms;
    const std::time_t seconds = std::time_t(unixMs / 1000);
    std::tm tm{};
    if (!(t.utc ? gmtime_r(&seconds, &tm) : localtime_r(&seconds, &tm)))
        return std::nullopt;
    return (int64_t(tm.tm_hour) * 3600 + tm.tm_min * 60 + tm.tm_sec) * 1000 + unixMs % 1000 - t.ms;
}

bool Wanted(const CaseReportRequest& r, const BookmarkTarget& target, uint32_t offsetMs)
{
    const std::optional<int64_t> from = r.from ? Against(*r.from, target, offsetMs) : std::optional<int64_t>(0);
    const std::optional<int64_t> to = r.to ? Against(*r.to, target, offsetMs) : std::optional<int64_t>(-1);
    return from && to && *from >= 0 && *to < 0;
}

bool ReadSmall(const fs::path& path, std::string& text)
{
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(path, ec)) || fs::file_size(path, ec) > kMaxManifest || ec)
        return false;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return bool(in) || in.eof();
}

// The signed exports of `recordings` in `folders`: a manifest naming the recording's file ID and SHA-256.
std::vector<Export> FindExports(const std::vector<std::string>& folders, const std::vector<Recording>& recordings)
{
    std::vector<Export> found;
    std::set<fs::path> seen;
    for (const std::string& folder : folders) {
        std::error_code ec;
        std::vector<fs::path> names;
        for (const fs::directory_entry& e : fs::directory_iterator(folder, ec))
            if (e.path().filename().string().ends_with(kManifestSuffix))
                names.push_back(e.path());
        std::sort(names.begin(), names.end());
        for (const fs::path& name : names) {
            const fs::path canonical = fs::weakly_canonical(name, ec);
            std::string text, sigText, error;
            if (!seen.insert(canonical).second || !ReadSmall(name, text))
                continue;
            const std::optional<ExportManifest> m = ParseManifest(text, error);
            if (!m)
                continue;
            for (const Recording& r : recordings) {
                if (m->fileId != r.target.key.fileId || m->sourceSha256 != r.sha256)
                    continue;
                Export x{name.string(), &r, *m, false};
                const std::optional<PublicKey> key = ParsePublicKey(m->signerKey);
                std::optional<Signature> sig;
                if (ReadSmall(name.string() + kSignatureSuffix, sigText))
                    sig = ParseSignature(sigText);
                x.signatureGood =
                    key && sig && KeyFingerprint(*key) == m->signerFingerprint && VerifyBytes(text, *sig, *key);
                found.push_back(std::move(x));
                break;
            }
        }
    }
    return found;
}

std::string WhoAndWhere()
{
    std::string who;
    if (const passwd* pw = getpwuid(geteuid()))
        who = pw->pw_name;
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0)
        who += std::string("@") + host;
    return who;
}

std::string LocalZone()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    char zone[16] = {};
    localtime_r(&now, &tm);
    std::strftime(zone, sizeof zone, "%z", &tm);
    return std::string("UTC") + std::string(zone).insert(3, ":");
}

// The PDF beside its final name, renamed into place when whole.
bool Print(QTextDocument& doc, const std::string& out, std::string& error)
{
    const std::string temp = out + ".part-" + std::to_string(getpid());
    {
        QPdfWriter writer(QString::fromStdString(temp));
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setTitle(doc.metaInformation(QTextDocument::DocumentTitle));
        writer.setCreator("Vedra Media Player");
        // Laid out at 96 dpi, drawn at the writer's resolution, page by page; our own
        // painter so that the pictures go in without lossy compression.
        QPainter painter(&writer);
        painter.setRenderHint(QPainter::LosslessImageRendering);
        const double scale = double(writer.resolution()) / 96.0;
        const QRect paint = writer.pageLayout().paintRectPixels(writer.resolution());
        const QSizeF page(paint.width() / scale, paint.height() / scale);
        doc.setPageSize(page);
        painter.scale(scale, scale);
        for (int p = 0; p < doc.pageCount(); ++p) {
            if (p > 0)
                writer.newPage();
            painter.save();
            painter.translate(0, -p * page.height());
            doc.drawContents(&painter, QRectF(0, p * page.height(), page.width(), page.height()));
            painter.restore();
        }
        if (!painter.end()) {
            error = "cannot write " + out;
            std::error_code ec;
            fs::remove(temp, ec);
            return false;
        }
    }
    std::error_code ec;
    if (!fs::is_regular_file(temp, ec) || fs::file_size(temp, ec) == 0) {
        error = "cannot write " + out;
        fs::remove(temp, ec);
        return false;
    }
    if (::rename(temp.c_str(), out.c_str()) != 0) {
        error = "cannot write " + out + ": " + std::strerror(errno);
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

} // namespace

CaseReportResult WriteCaseReport(const CaseReportRequest& request, const CaseReportPictures& pictures,
                                 const CaseReportProgress& progress, std::stop_token stop)
{
    CaseReportResult result;
    const auto report = [&](double f) {
        if (progress)
            progress(std::clamp(f, 0.0, 1.0));
    };
    BookmarkStore store(request.bookmarkStore.empty() ? DefaultBookmarkStorePath() : fs::path(request.bookmarkStore));
    if (!store.problem().empty()) {
        result.error = store.problem();
        return result;
    }
    std::vector<Recording> recordings;
    std::vector<std::string> folders;
    for (size_t i = 0; i < request.recordings.size(); ++i) {
        Recording r;
        r.path = request.recordings[i];
        if (const int code = ReadBookmarkTarget(r.path, r.target); code < 0) {
            result.error = r.path + " is no recording that can be read (error " + std::to_string(code) + ")";
            return result;
        }
        r.path = r.target.key.path;
        std::error_code ec;
        r.size = fs::file_size(r.path, ec);
        std::string error;
        r.sha256 = Sha256OfFile(r.path, stop, error);
        if (r.sha256.empty()) {
            result.error = stop.stop_requested() ? "stopped" : error;
            return result;
        }
        const KrvTimeline& t = r.target.timeline;
        ReadCamerasIn(r.path, t, 0, t.lastMs > t.originMs ? t.lastMs - t.originMs + 1 : 1, r.cameras);
        const std::string folder = fs::path(r.path).parent_path().string();
        if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
        recordings.push_back(std::move(r));
        report(0.3 * double(i + 1) / double(request.recordings.size()));
    }
    folders.insert(folders.end(), request.manifestFolders.begin(), request.manifestFolders.end());
    const std::vector<Export> exports = FindExports(folders, recordings);
    result.exports = int(exports.size());

    const std::string title = request.title.empty() ? "Case report" : request.title;
    QTextDocument doc;
    doc.setMetaInformation(QTextDocument::DocumentTitle, QString::fromStdString(title));
    QString html = "<html><body style=\"font-family: 'DejaVu Sans'; font-size: 9pt\">";
    html += "<h1>" + Html(title) + "</h1>";
    const std::time_t now = std::time(nullptr);
    html += "<p>Made " + Html(krv_clock_text(kFiletimeUnixEpoch + uint64_t(now) * 10000000ull, true, false)) + " by " +
            Html(WhoAndWhere()) + " with Vedra Media Player " + Html(request.toolVersion) +
            ". Times of day are local time (" + Html(LocalZone()) + ").</p>";
    html += "<h2>Recordings</h2>";
    for (const Recording& r : recordings) {
        const KrvTimeline& t = r.target.timeline;
        const uint32_t length = t.lastMs > t.originMs ? t.lastMs - t.originMs : 0;
        html += "<table cellspacing=\"0\" cellpadding=\"2\" width=\"100%\">" + Row("Recording", Html(r.path)) +
                Row("Span", Html(WhenText(r.target, 0)) + " to " + Html(WhenText(r.target, length))) +
                Row("Cameras", Html(CamerasText(r.cameras))) + Row("Size", QString::number(r.size) + " bytes") +
                Row("SHA-256", "<tt>" + Html(r.sha256) + "</tt>") +
                Row("File ID", "<tt>" + Html(r.target.key.fileId) + "</tt>") + "</table><br/>";
    }
    html += "<h2>Signed exports</h2>";
    if (exports.empty())
        html += "<p>None found beside the recordings" +
                QString(request.manifestFolders.empty() ? "" : " or in the folders named") + ".</p>";
    for (const Export& x : exports) {
        QString outputs;
        for (const ManifestOutput& o : x.m.outputs)
            outputs += (outputs.isEmpty() ? "" : "<br/>") + Html(o.name) + ", SHA-256 <tt>" + Html(o.sha256) + "</tt>";
        html += "<table cellspacing=\"0\" cellpadding=\"2\" width=\"100%\">" + Row("Manifest", Html(x.manifest)) +
                Row("Of", Html(x.recording->path) + ", " + Html(WhenText(x.recording->target, x.m.fromMs)) + " to " +
                              Html(WhenText(x.recording->target, x.m.toMs))) +
                Row("Outputs", outputs) + Row("Signer", "<tt>" + Html(x.m.signerFingerprint) + "</tt>") +
                Row("Signature", x.signatureGood ? "good, by the key the manifest names"
                                                 : "<b>does NOT verify with the key the manifest names</b>") +
                "</table><br/>";
    }

    // One block per bookmark, the first on a page of its own.
    struct Block {
        const Recording* recording;
        Bookmark mark;
    };
    std::vector<Block> blocks;
    std::vector<std::pair<QString, QImage>> images; // added once the text is set, which clears the document
    for (const Recording& r : recordings)
        for (Bookmark& b : store.ForRecording(r.target.key))
            if (Wanted(request, r.target, b.offsetMs))
                blocks.push_back({&r, std::move(b)});
    if (!store.problem().empty()) {
        result.error = store.problem();
        return result;
    }
    html += "<h2 style=\"page-break-before: always\">Bookmarks</h2>";
    if (blocks.empty())
        html += "<p>No bookmarks" + QString(request.from || request.to ? " in the times asked for" : "") + ".</p>";
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (stop.stop_requested()) {
            result.error = "stopped";
            return result;
        }
        const Block& b = blocks[i];
        html += "<h3>" + Html(WhenText(b.recording->target, b.mark.offsetMs)) + "</h3><p>" +
                Html(fs::path(b.recording->path).filename().string()) + " at +" +
                Html(krv_offset_text(b.mark.offsetMs)) + ", cameras " + Html(CamerasText(b.mark.channels)) +
                "</p><p style=\"white-space: pre-wrap\">" + Html(b.mark.note) + "</p><table cellpadding=\"2\"><tr>";
        int column = 0;
        for (int camera : b.mark.channels) {
            QImage picture;
            std::string error;
            if (column == 2) {
                html += "</tr><tr>";
                column = 0;
            }
            ++column;
            if (!pictures || !pictures(b.recording->path, camera, b.mark.offsetMs, picture, error) ||
                picture.isNull()) {
                result.notes.push_back("bookmark " + std::to_string(b.mark.id) + ", camera " + std::to_string(camera) +
                                       ": " + (error.empty() ? "no picture" : error));
                html += "<td>Camera " + QString::number(camera) + ": no picture (" + Html(error) + ")</td>";
                continue;
            }
            const QString name = QString("picture://%1/%2").arg(b.mark.id).arg(camera);
            html += "<td><img src=\"" + name + "\" width=\"" + QString::number(kPictureWidth) + "\" height=\"" +
                    QString::number(kPictureWidth * picture.height() / std::max(1, picture.width())) +
                    "\"/><br/>Camera " + QString::number(camera) + "</td>";
            images.emplace_back(name, std::move(picture));
            ++result.pictures;
        }
        html += "</tr></table>";
        ++result.bookmarks;
        report(0.3 + 0.6 * double(i + 1) / double(blocks.size()));
    }
    html += "</body></html>";
    doc.setHtml(html);
    for (const auto& [name, image] : images)
        doc.addResource(QTextDocument::ImageResource, QUrl(name), image);
    if (!Print(doc, request.out, result.error))
        return result;
    report(1);
    result.written = true;
    return result;
}

} // namespace vedra
