// The Turnbox plugin: one element, "turnbox". Any other name finds nothing here.
#include <gst/gst.h>

#include "turnbox.h"

static gboolean plugin_init(GstPlugin* plugin)
{
    return GST_ELEMENT_REGISTER(turnbox, plugin);
}

#define PACKAGE "turnbox"

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, turnbox, "Karvel Rotate Filter: rotates and mirrors RGB video",
                  plugin_init, "0.1.0", "unknown", "Vedra Media Player", "Unknown package origin")
