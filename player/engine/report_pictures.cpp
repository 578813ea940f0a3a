#include "report_pictures.h"

#include <QString>

#include "channel_still.h"
#include "krv/krv_config.h"
#include "krv/krv_convert.h"
#include "krv/krv_time.h"
#include "krv/krv_workfolder.h"

namespace vedra {

ReportPictures::~ReportPictures()
{
    Drop();
}

void ReportPictures::Drop()
{
    // The split's folder first: each holds its own marker.
    if (!workFolder_.empty())
        krv_remove_owned_folder(workFolder_);
    if (!folder_.empty())
        krv_remove_owned_folder(folder_);
    workFolder_.clear();
    folder_.clear();
    channels_.clear();
    offsets_.clear();
}

bool ReportPictures::Split(const std::string& recording, std::string& error)
{
    Drop();
    folder_ = krv_create_temp_folder("vedra-report-");
    if (folder_.empty()) {
        error = "no temporary folder can be made for the pictures";
        return false;
    }
    const KrvConversion c = krv_convert_recording(recording, krv_av_sync_enabled(), {folder_});
    if (c.split)
        workFolder_ = c.result;
    if (!c.split) {
        error = c.messages.empty() ? "the recording holds one stream only" : c.messages.front().text;
        return false;
    }
    for (const KrvSplitFile& file : c.files.files)
        if (file.output > 0 && file.count > 0) {
            channels_[int(file.output)] = file.path;
            offsets_[int(file.output)] = file.offsetMs;
        }
    if (channels_.empty()) {
        error = "the recording holds no channel with pictures";
        return false;
    }
    return true;
}

bool ReportPictures::Take(const std::string& recording, int camera, uint32_t offsetMs, QImage& picture,
                          std::string& error)
{
    if (recording != recording_) {
        recording_ = recording;
        splitError_.clear();
        if (!Split(recording, splitError_) && splitError_.empty())
            splitError_ = "the recording cannot be played";
    }
    if (!splitError_.empty()) {
        error = splitError_;
        return false;
    }
    const auto it = channels_.find(camera);
    if (it == channels_.end()) {
        error = "camera " + std::to_string(camera) + " is not in the recording";
        return false;
    }
    const double fileSeconds = double(int64_t(offsetMs) - offsets_[camera]) / 1000.0;
    if (fileSeconds < 0) {
        error = "camera " + std::to_string(camera) + " has no picture yet at " + krv_offset_text(offsetMs);
        return false;
    }
    const std::string out = (folder_ / "picture.bmp").string();
    const ChannelStill still =
        TakeChannelStill(it->second, fileSeconds, out, false, [this] { return stop_.stop_requested(); });
    if (still.outcome != StillOutcome::Taken) {
        error = still.outcome == StillOutcome::CannotPlay ? "camera " + std::to_string(camera) + " cannot be played"
                                                          : "no picture at " + krv_offset_text(offsetMs);
        return false;
    }
    picture = QImage(QString::fromStdString(out));
    std::error_code ec;
    std::filesystem::remove(out, ec);
    if (picture.isNull())
        error = "the picture cannot be read back";
    return !picture.isNull();
}

} // namespace vedra
