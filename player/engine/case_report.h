// The case report: a PDF to hand over with the footage. Its first page names
// the recordings (path, span, cameras, SHA-256) and the signed exports made
// of them (their manifests and signers' fingerprints); then one block per
// bookmark: its time of day, its note and a picture of each of its cameras at
// that instant. Text is real text, the pictures the decoded frames.
//
// Threading: WriteCaseReport blocks (it reads every recording whole for its
// checksum and decodes a frame per picture); call it on a worker thread. It
// touches no UI state. `pictures` and `progress` are called on the calling
// thread; a stop request through `stop` ends it soon, writing nothing.
#pragma once

#include <QImage>

#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "krv/krv_time.h"

namespace vedra {

struct CaseReportRequest {
    std::vector<std::string> recordings; // files
    // Folders with signed exports of them; the recordings' own folders are always looked in.
    std::vector<std::string> manifestFolders;
    std::optional<KrvTimeText> from, to; // only bookmarks from `from` to before `to`
    std::string title;                   // empty: "Case report"
    std::string bookmarkStore;           // empty: the user's
    std::string toolVersion;
    std::string out; // the PDF, replaced whole or not at all
};

// The picture of `camera` of `recording` at `offsetMs` (from the counter's 0);
// false with `error` when there is none.
using CaseReportPictures = std::function<bool(const std::string& recording, int camera, uint32_t offsetMs,
                                              QImage& picture, std::string& error)>;
using CaseReportProgress = std::function<void(double fraction)>;

struct CaseReportResult {
    bool written = false;
    std::string error;              // why not
    int bookmarks = 0;              // blocks in the report
    int pictures = 0;               // pictures in them
    int exports = 0;                // manifests named
    std::vector<std::string> notes; // what the reader of the PDF will miss (a picture that could not be had, ...)
};

CaseReportResult WriteCaseReport(const CaseReportRequest& request, const CaseReportPictures& pictures,
                                 const CaseReportProgress& progress, std::stop_token stop);

} // namespace vedra
