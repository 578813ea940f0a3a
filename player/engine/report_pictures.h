// The case report's pictures for a program that has recordings open: each
// recording is split again into a private temporary folder of the report's
// own, so that closing a recording in the window meanwhile takes nothing from
// under the report, and each picture is a still of its channel file
// (channel_still.h). One recording's files at a time; the folder goes when
// the next recording is asked for and when this ends. One thread.
#pragma once

#include <QImage>

#include <cstdint>
#include <filesystem>
#include <map>
#include <stop_token>
#include <string>
#include <utility>

namespace vedra {

class ReportPictures {
public:
    explicit ReportPictures(std::stop_token stop) : stop_(std::move(stop)) {}
    ~ReportPictures();
    ReportPictures(const ReportPictures&) = delete;
    ReportPictures& operator=(const ReportPictures&) = delete;

    // The picture of `camera` (1-4) of `recording` at `offsetMs` from the
    // counter's 0, as CaseReportPictures asks it.
    bool Take(const std::string& recording, int camera, uint32_t offsetMs, QImage& picture, std::string& error);

private:
    bool Split(const std::string& recording, std::string& error);
    void Drop();

    std::stop_token stop_;
    std::string recording_; // whose files the folder holds
    std::string splitError_;
    std::filesystem::path folder_;        // the temporary folder
    std::filesystem::path workFolder_;    // the split's, inside it
    std::map<int, std::string> channels_; // camera -> channel file with frames
    std::map<int, int64_t> offsets_;      // camera -> where its file's 0 lies from the counter's 0 (ms)
};

} // namespace vedra
