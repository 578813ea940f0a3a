// krvtool snapshot RECORDING --channel N --at T [--format jpg|bmp] OUT:
// the picture of channel N at that time, through the engine's frame tap and
// snapshot writer (the same path as the player's JPG and BMP commands).
#include <cstdio>
#include <optional>
#include <string>

#include "cdxgraph.h"
#include "commands.h"
#include "engine_session.h"
#include "krv/krv_time.h"
#include "tool_report.h"

namespace krvtool {
namespace {

constexpr const char* kSnapshotUsage =
    "usage: krvtool snapshot RECORDING --channel N --at T [--format jpg|bmp] OUT\n"
    "  --at      an offset from the recording's first frame in seconds (75.5) or\n"
    "            hh:mm:ss(.mmm), a time of day @hh:mm:ss(.mmm), or YYYY-MM-DDThh:mm:ss(.mmm)\n"
    "  --format  jpg (default) or bmp\n";

} // namespace

int runSnapshot(std::span<char* const> args)
{
    std::string recording, out, format = "jpg";
    int channel = 0;
    std::optional<KrvTimeText> at;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--help" || arg == "-h") {
            std::fputs(kSnapshotUsage, stdout);
            return kExitOk;
        }
        if (arg == "--channel" && hasValue) {
            const std::string v = args[++i];
            channel = v.size() == 1 && v[0] >= '1' && v[0] <= '4' ? v[0] - '0' : 0;
        } else if (arg == "--at" && hasValue) {
            std::string error;
            if (!(at = krv_read_time_text(args[++i], error))) {
                reportError("--at: " + error);
                return kExitUsage;
            }
        } else if (arg == "--format" && hasValue) {
            format = args[++i];
        } else if (arg.starts_with("--")) {
            reportError(hasValue || !(arg == "--channel" || arg == "--at" || arg == "--format")
                            ? "unknown option " + arg
                            : arg + " needs a value");
            std::fputs(kSnapshotUsage, stderr);
            return kExitUsage;
        } else if (recording.empty()) {
            recording = arg;
        } else if (out.empty()) {
            out = arg;
        } else {
            std::fputs(kSnapshotUsage, stderr);
            return kExitUsage;
        }
    }
    const char* missing = recording.empty()                    ? "a recording"
                          : out.empty()                        ? "an output file"
                          : channel == 0                       ? "--channel 1-4"
                          : !at                                ? "--at"
                          : format != "jpg" && format != "bmp" ? "--format jpg or bmp"
                                                               : nullptr;
    if (missing) {
        reportError(std::string("snapshot needs ") + missing);
        std::fputs(kSnapshotUsage, stderr);
        return kExitUsage;
    }

    EngineSession session;
    if (!session.Open(recording))
        return kExitFailed;

    std::string error;
    const std::optional<int64_t> offsetMs = krv_resolve_time(*at, session.timeline(), error);
    if (!offsetMs) {
        reportError("--at: " + error);
        return kExitUsage;
    }
    vedra::GrabbedMediaType type;
    if (!session.Snapshot(channel, *offsetMs, out, format == "jpg", type, error)) {
        reportError(error);
        return kExitFailed;
    }
    std::printf("%s: channel %d at %.3f s, %d x %d, %s\n", out.c_str(), channel, double(*offsetMs) / 1000.0, type.width,
                type.height, format == "jpg" ? "JPEG" : "BMP");
    return kExitOk;
}

} // namespace krvtool
