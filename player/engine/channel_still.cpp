#include "channel_still.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include "cdxgraph.h"

namespace vedra {

ChannelStill TakeChannelStill(const std::string& channelFile, double fileSeconds, const std::string& out, bool jpeg,
                              const std::function<bool()>& stopped)
{
    ChannelStill still;
    CDXGraph graph;
    if (!graph.Create(nullptr) || !graph.RenderMediaFile(channelFile, true)) {
        still.decoderMissing = graph.decoderMissing();
        graph.Destroy();
        still.outcome = StillOutcome::CannotPlay;
        return still;
    }
    graph.GetDurationSeconds(still.durationSeconds);
    std::error_code ec;
    std::filesystem::remove(out, ec);

    // Paused first; the seek then brings the frame at that time through the
    // frame tap, and that frame completes the request.
    graph.Pause();
    if (jpeg)
        graph.RequestJpegSnapshot(out);
    else
        graph.RequestBmpSnapshot(out);
    graph.SeekTo(fileSeconds);
    constexpr int kPollMs = 20;
    for (int waited = 0; waited < kStillWaitMs && graph.HasPendingSnapshot() && !(stopped && stopped());
         waited += kPollMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    const bool taken = !graph.HasPendingSnapshot();
    still.type = graph.grabbedMediaType();
    graph.Destroy();
    still.outcome = !taken                                       ? StillOutcome::NoPicture
                    : !std::filesystem::is_regular_file(out, ec) ? StillOutcome::NotWritten
                                                                 : StillOutcome::Taken;
    return still;
}

} // namespace vedra
