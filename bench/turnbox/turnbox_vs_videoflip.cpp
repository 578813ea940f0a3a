// Throughput of "turnbox" against GStreamer's "videoflip" doing the same
// turn: the same frame is pushed through each element, side by side in one
// run. Per mode it prints both elements' frames per second and turnbox's
// ratio to videoflip's same mode, to its own vertical flip (a row copy, the
// practical limit for touching every byte) and to videoflip's quarter turn,
// then how the quarter turns and the diagonal flip stand against the goals.
//
//   turnbox_bench [seconds per measurement, default 0.3]
#include <gst/check/gstharness.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>

namespace {

struct HarnessRelease {
    void operator()(GstHarness* h) const { gst_harness_teardown(h); }
};
struct BufferRelease {
    void operator()(GstBuffer* b) const { gst_buffer_unref(b); }
};
using HarnessPtr = std::unique_ptr<GstHarness, HarnessRelease>;
using BufferPtr = std::unique_ptr<GstBuffer, BufferRelease>;

struct Mode {
    int turnbox;        // "rotation"
    int videoDirection; // videoflip's "video-direction" (GstVideoOrientationMethod)
    const char* name;
};

constexpr Mode kModes[] = {
    {1, GST_VIDEO_ORIENTATION_90R, "clockwise"},         {2, GST_VIDEO_ORIENTATION_180, "rotate-180"},
    {3, GST_VIDEO_ORIENTATION_90L, "counterclockwise"},  {4, GST_VIDEO_ORIENTATION_VERT, "vertical-flip"},
    {5, GST_VIDEO_ORIENTATION_HORIZ, "horizontal-flip"}, {6, GST_VIDEO_ORIENTATION_UL_LR, "upper-left-diagonal"},
};

HarnessPtr Element(bool turnbox, const Mode& mode, GstCaps* caps)
{
    HarnessPtr h(gst_harness_new(turnbox ? "turnbox" : "videoflip"));
    if (turnbox)
        g_object_set(h->element, "rotation", mode.turnbox, nullptr);
    else // "method" is ignored on some 1.22 launch lines; video-direction is not
        gst_util_set_object_arg(G_OBJECT(h->element), "video-direction", std::to_string(mode.videoDirection).c_str());
    gst_harness_set_src_caps(h.get(), gst_caps_ref(caps));
    return h;
}

double FramesPerSecond(GstHarness* h, GstBuffer* frame, double seconds)
{
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto until = start + std::chrono::duration<double>(seconds);
    long frames = 0;
    do {
        for (int i = 0; i < 8; ++i, ++frames) {
            gst_harness_push(h, gst_buffer_ref(frame));
            gst_buffer_unref(gst_harness_pull(h));
        }
    } while (Clock::now() < until);
    return frames / std::chrono::duration<double>(Clock::now() - start).count();
}

// The two elements must agree on the picture, or the comparison means nothing.
bool SameOutput(GstHarness* a, GstHarness* b, GstBuffer* frame)
{
    gst_harness_push(a, gst_buffer_ref(frame));
    gst_harness_push(b, gst_buffer_ref(frame));
    BufferPtr x(gst_harness_pull(a));
    BufferPtr y(gst_harness_pull(b));
    GstCaps* caps = gst_pad_get_current_caps(a->sinkpad);
    GstVideoInfo info;
    const bool parsed = caps && gst_video_info_from_caps(&info, caps);
    if (caps)
        gst_caps_unref(caps);
    if (!parsed || !x || !y)
        return false;
    GstMapInfo mx, my;
    gst_buffer_map(x.get(), &mx, GST_MAP_READ);
    gst_buffer_map(y.get(), &my, GST_MAP_READ);
    bool same = mx.size >= info.size && my.size >= info.size;
    const int rowBytes = GST_VIDEO_INFO_WIDTH(&info) * GST_VIDEO_INFO_COMP_PSTRIDE(&info, 0);
    for (int r = 0; same && r < GST_VIDEO_INFO_HEIGHT(&info); ++r) {
        const gsize at = static_cast<gsize>(r) * GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
        same = std::memcmp(mx.data + at, my.data + at, rowBytes) == 0;
    }
    gst_buffer_unmap(x.get(), &mx);
    gst_buffer_unmap(y.get(), &my);
    return same;
}

constexpr double kGoalOfVerticalFlip = 0.40; // quarter turns and diagonal flip against our row copy
constexpr double kGoalOfVideoflipTurn = 3.0; // and against videoflip's quarter turn
constexpr int kVerticalFlip = 3;             // index of vertical-flip in kModes
constexpr int kVideoflipTurn = 0;            // videoflip's clockwise
constexpr int kRounds = 3;                   // alternate all elements and keep each one's best round
constexpr int kModeCount = std::size(kModes);

bool SwapsAxes(const Mode& mode)
{
    return mode.turnbox == 1 || mode.turnbox == 3 || mode.turnbox == 6;
}

struct Input {
    GstVideoFormat format;
    int width, height;
};

// Measures one input; false when an element's picture differs from the other's.
bool MeasureInput(const Input& in, double seconds)
{
    GstVideoInfo info;
    gst_video_info_set_format(&info, in.format, in.width, in.height);
    GstCaps* caps = gst_video_info_to_caps(&info);
    BufferPtr frame(gst_buffer_new_allocate(nullptr, info.size, nullptr));
    GstMapInfo map;
    gst_buffer_map(frame.get(), &map, GST_MAP_WRITE);
    for (gsize i = 0; i < map.size; ++i)
        map.data[i] = static_cast<guint8>(i * 2654435761u >> 24);
    gst_buffer_unmap(frame.get(), &map);

    HarnessPtr ours[kModeCount], theirs[kModeCount];
    bool same[kModeCount];
    bool allSame = true;
    for (int m = 0; m < kModeCount; ++m) {
        ours[m] = Element(true, kModes[m], caps);
        theirs[m] = Element(false, kModes[m], caps);
        same[m] = SameOutput(ours[m].get(), theirs[m].get(), frame.get());
        allSame = allSame && same[m];
    }
    gst_caps_unref(caps);
    double best[2][kModeCount] = {};
    for (int round = 0; round < kRounds; ++round)
        for (int m = 0; m < kModeCount; ++m) {
            best[0][m] = std::max(best[0][m], FramesPerSecond(ours[m].get(), frame.get(), seconds));
            best[1][m] = std::max(best[1][m], FramesPerSecond(theirs[m].get(), frame.get(), seconds));
        }

    const std::string label = std::string(gst_video_format_to_string(in.format)) + " " + std::to_string(in.width) +
                              "x" + std::to_string(in.height);
    const double verticalFlip = best[0][kVerticalFlip];
    const double videoflipTurn = best[1][kVideoflipTurn];
    double worstOfFlip = 1e9, worstOfTurn = 1e9;
    for (int m = 0; m < kModeCount; ++m) {
        const double fps = best[0][m];
        std::printf("%-15s %-20s %12.1f %13.1f %11.2fx %15.2f %23.2fx%s\n", label.c_str(), kModes[m].name, fps,
                    best[1][m], fps / best[1][m], fps / verticalFlip, fps / videoflipTurn,
                    same[m] ? "" : "  (outputs differ!)");
        if (SwapsAxes(kModes[m])) {
            worstOfFlip = std::min(worstOfFlip, fps / verticalFlip);
            worstOfTurn = std::min(worstOfTurn, fps / videoflipTurn);
        }
    }
    std::printf("%-15s quarter turns and diagonal flip: at least %.2f of vertical flip (goal %.2f%s), "
                "%.2fx videoflip's quarter turn (goal %.2fx%s)\n\n",
                label.c_str(), worstOfFlip, kGoalOfVerticalFlip,
                worstOfFlip >= kGoalOfVerticalFlip ? ", met" : ", missed", worstOfTurn, kGoalOfVideoflipTurn,
                worstOfTurn >= kGoalOfVideoflipTurn ? ", met" : ", missed");
    std::fflush(stdout);
    return allSame;
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 0.3;
    char tmpl[] = "/tmp/turnbox-bench-XXXXXX";
    const std::string home = mkdtemp(tmpl) ? tmpl : "/tmp";
    setenv("XDG_DATA_HOME", home.c_str(), 1); // no user-installed copy of the plugin
    gst_init(nullptr, nullptr);
    GError* error = nullptr;
    GstPlugin* plugin = gst_plugin_load_file(TURNBOX_MODULE_PATH, &error);
    if (plugin == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", TURNBOX_MODULE_PATH, error ? error->message : "?");
        return 1;
    }
    gst_object_unref(plugin);

    std::printf("%-15s %-20s %12s %13s %12s %15s %24s\n", "input", "mode", "turnbox fps", "videoflip fps",
                "/ videoflip", "/ vertical flip", "/ videoflip quarter turn");
    bool allSame = true;
    for (const Input& in : {Input{GST_VIDEO_FORMAT_BGRx, 1920, 1080}, Input{GST_VIDEO_FORMAT_BGR, 640, 480}})
        allSame = MeasureInput(in, seconds) && allSame;
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return allSame ? 0 : 1;
}
