// IRotation and the "rotation" property: when the mode may change, and what
// is refused.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "../../turnbox/irotation.h"
#include "test_frames.h"

namespace turnbox_test {
namespace {

// Counts GLib warnings instead of printing them, for the duration of a scope.
class WarningCounter {
public:
    WarningCounter() { previous_ = g_log_set_default_handler(&Count, this); }
    ~WarningCounter() { g_log_set_default_handler(previous_, nullptr); }
    int count() const { return count_; }

private:
    static void Count(const gchar*, GLogLevelFlags, const gchar*, gpointer self)
    {
        ++static_cast<WarningCounter*>(self)->count_;
    }
    GLogFunc previous_;
    int count_ = 0;
};

// Collects the lines of the "turnbox" debug category while alive.
class TurnboxLog {
public:
    TurnboxLog()
    {
        gst_debug_set_threshold_for_name("turnbox", GST_LEVEL_INFO);
        gst_debug_add_log_function(&Collect, this, nullptr);
    }
    ~TurnboxLog()
    {
        gst_debug_remove_log_function_by_data(this);
        gst_debug_set_threshold_for_name("turnbox", GST_LEVEL_NONE);
    }
    const std::vector<std::string>& lines() const { return lines_; }

private:
    static void Collect(GstDebugCategory* category, GstDebugLevel, const gchar*, const gchar*, gint, GObject*,
                        GstDebugMessage* message, gpointer self)
    {
        if (std::string(gst_debug_category_get_name(category)) == "turnbox")
            static_cast<TurnboxLog*>(self)->lines_.emplace_back(gst_debug_message_get(message));
    }
    std::vector<std::string> lines_;
};

gint32 ModeOf(GstHarness* h)
{
    gint32 mode = -1;
    EXPECT_EQ(irotation_get_rotation(h->element, &mode), ROTATION_S_OK);
    return mode;
}

TEST(IRotation, StartsAtNoRotationAndStoresEachValidMode)
{
    HarnessPtr h(gst_harness_new("turnbox"));
    EXPECT_EQ(ModeOf(h.get()), 0);
    for (gint32 mode = 0; mode < 7; ++mode) {
        EXPECT_EQ(irotation_set_rotation(h->element, mode), ROTATION_S_OK);
        EXPECT_EQ(ModeOf(h.get()), mode);
    }
}

TEST(IRotation, RefusesModesOutsideTheTableAndKeepsTheOldOne)
{
    HarnessPtr h = TurnboxHarness(2);
    for (gint32 bad : {-1, 7, 8, 100, INT_MIN, INT_MAX}) {
        EXPECT_EQ(irotation_set_rotation(h->element, bad), ROTATION_E_INVALIDARG) << bad;
        EXPECT_EQ(ModeOf(h.get()), 2) << bad;
    }
    WarningCounter warnings;
    g_object_set(h->element, "rotation", 7, nullptr);
    EXPECT_EQ(warnings.count(), 1);
    EXPECT_EQ(ModeOf(h.get()), 2);
}

TEST(IRotation, OtherObjectsAndMissingPointersAreAnswered)
{
    HarnessPtr h(gst_harness_new("identity"));
    gint32 mode = 0;
    EXPECT_EQ(irotation_set_rotation(h->element, 1), ROTATION_E_NOINTERFACE);
    EXPECT_EQ(irotation_get_rotation(h->element, &mode), ROTATION_E_NOINTERFACE);
    HarnessPtr t(gst_harness_new("turnbox"));
    EXPECT_EQ(irotation_get_rotation(t->element, nullptr), ROTATION_E_POINTER);
}

TEST(IRotation, RefusedWhileTheOutputIsNegotiatedAndAcceptedAfterUnlinking)
{
    const Frame in = CoordinateFrame(GST_VIDEO_FORMAT_BGRx, 64, 48);
    HarnessPtr h = TurnboxHarness(1);
    gst_harness_set_src_caps(h.get(), CapsOf(in).release());
    EXPECT_EQ(MisplacedPixels(1, in, PushPull(h.get(), in)), 0);

    gint32 mode = -1;
    EXPECT_EQ(irotation_set_rotation(h->element, 3), ROTATION_E_FAIL);
    EXPECT_EQ(irotation_get_rotation(h->element, &mode), ROTATION_E_FAIL);
    {
        // Refused quietly, however often it is tried: no warning, a line in the element's log.
        WarningCounter warnings;
        TurnboxLog log;
        for (int i = 0; i < 1000; ++i)
            g_object_set(h->element, "rotation", 3, nullptr);
        EXPECT_EQ(warnings.count(), 0);
        ASSERT_EQ(log.lines().size(), 1000u);
        EXPECT_EQ(log.lines()[0], "rotation 3 refused while the output is negotiated");
    }
    gint stored = -1;
    g_object_get(h->element, "rotation", &stored, nullptr);
    EXPECT_EQ(stored, 1);
    EXPECT_EQ(MisplacedPixels(1, in, PushPull(h.get(), in)), 0) << "the refused mode was applied";

    PadPtr src(gst_element_get_static_pad(h->element, "src"));
    ASSERT_TRUE(gst_pad_unlink(src.get(), h->sinkpad));
    EXPECT_EQ(ModeOf(h.get()), 1);
    EXPECT_EQ(irotation_set_rotation(h->element, 3), ROTATION_S_OK);
    EXPECT_EQ(ModeOf(h.get()), 3);

    // Linked again, the next frame renegotiates for the new mode.
    ASSERT_EQ(gst_pad_link(src.get(), h->sinkpad), GST_PAD_LINK_OK);
    EXPECT_EQ(MisplacedPixels(3, in, PushPull(h.get(), in)), 0);
    EXPECT_EQ(irotation_set_rotation(h->element, 0), ROTATION_E_FAIL);
}

TEST(IRotation, AcceptedAgainOnceTheElementIsStopped)
{
    const Frame in = CoordinateFrame(GST_VIDEO_FORMAT_BGR, 31, 17);
    HarnessPtr h = TurnboxHarness(6);
    gst_harness_set_src_caps(h.get(), CapsOf(in).release());
    EXPECT_EQ(MisplacedPixels(6, in, PushPull(h.get(), in)), 0);
    EXPECT_EQ(irotation_set_rotation(h->element, 5), ROTATION_E_FAIL);

    gst_element_set_state(h->element, GST_STATE_NULL);
    EXPECT_EQ(irotation_set_rotation(h->element, 5), ROTATION_S_OK);
    gst_element_set_state(h->element, GST_STATE_PLAYING);
    gst_harness_set_src_caps(h.get(), CapsOf(in).release());
    EXPECT_EQ(MisplacedPixels(5, in, PushPull(h.get(), in)), 0);
}

} // namespace
} // namespace turnbox_test
