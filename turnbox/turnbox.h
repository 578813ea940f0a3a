// The "turnbox" element: rotates or mirrors packed RGB video (class Turnbox).
#pragma once

#include <gst/video/gstvideofilter.h>

G_BEGIN_DECLS

#define TURNBOX_TYPE_FILTER (turnbox_get_type())
G_DECLARE_FINAL_TYPE(Turnbox, turnbox, TURNBOX, FILTER, GstVideoFilter)

#define TURNBOX_TYPE_ROTATION (turnbox_rotation_get_type())
GType turnbox_rotation_get_type(void);

GST_ELEMENT_REGISTER_DECLARE(turnbox);

G_END_DECLS
