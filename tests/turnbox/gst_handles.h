// Owning holders for the GStreamer objects the tests use.
#pragma once

#include <gst/check/gstharness.h>
#include <gst/gst.h>

#include <memory>

namespace turnbox_test {

// gst_caps_unref and gst_buffer_unref are static inline, so each holder gets
// its own releaser type rather than a function-pointer template argument.
struct HarnessRelease {
    void operator()(GstHarness* h) const { gst_harness_teardown(h); }
};
struct CapsRelease {
    void operator()(GstCaps* c) const { gst_caps_unref(c); }
};
struct BufferRelease {
    void operator()(GstBuffer* b) const { gst_buffer_unref(b); }
};
struct ObjectRelease {
    void operator()(gpointer o) const { gst_object_unref(o); }
};

using HarnessPtr = std::unique_ptr<GstHarness, HarnessRelease>;
using CapsPtr = std::unique_ptr<GstCaps, CapsRelease>;
using BufferPtr = std::unique_ptr<GstBuffer, BufferRelease>;
using PadPtr = std::unique_ptr<GstPad, ObjectRelease>;

} // namespace turnbox_test
