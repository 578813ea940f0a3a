/*
 * vedrakrvsrc: the video frames of one channel file.
 *
 *   gst-launch-1.0 vedrakrvsrc location=Video1.krv ! avdec_mpeg4 ! videoconvert ! autovideosink
 *
 * (registered inside the player and krvtool only). Media objects that the
 * recorder split across packets leave as whole frames with their presentation
 * times; non-key frames carry DELTA_UNIT. A seek starts reading at the key frame
 * at or before the wanted time and keeps the wanted time as segment start, so
 * the frames before it are decoded but not shown.
 *
 * time-offset puts the file on its recording's timeline: every time leaves
 * (and seeks arrive) moved by it, so a channel whose file was rebased plays
 * at the recording's time, and a seek to before its first frame waits for it.
 */
#include "krv_source.h"

#include <gst/base/gstpushsrc.h>

#include <algorithm>
#include <mutex>
#include <string>

#include "krv_frame_reader.h"

namespace vedra {
namespace {

enum { PROP_0, PROP_LOCATION, PROP_TIME_OFFSET };

GST_DEBUG_CATEGORY_STATIC(krv_source_debug);
#define GST_CAT_DEFAULT krv_source_debug

GstStaticPadTemplate src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("video/mpeg, mpegversion=(int)4, systemstream=(boolean)false; "
                                            "video/x-divx, divxversion=(int)5"));

struct VedraKrvSrc {
    GstPushSrc parent;
    std::string* location; // guarded by the object lock
    gint width;            // of the open file, guarded by the object lock; 0 when closed
    gint height;
    KrvFrameReader* reader; // streaming thread (and seek, which holds the stream lock)
    // The frame read ahead: a frame's duration is the gap to the next one, which
    // lets a seek into the middle of a frame keep that frame on screen.
    KrvFrame* ahead;
    bool haveAhead;
    GstClockTime lastDuration;
    gint64 timeOffset; // ns, guarded by the object lock
};

struct VedraKrvSrcClass {
    GstPushSrcClass parent_class;
};

GType vedra_krv_src_get_type();
#define VEDRA_KRV_SRC(obj) (reinterpret_cast<VedraKrvSrc*>(obj))

G_DEFINE_TYPE(VedraKrvSrc, vedra_krv_src, GST_TYPE_PUSH_SRC)

std::string Location(VedraKrvSrc* self)
{
    GST_OBJECT_LOCK(self);
    std::string path = *self->location;
    GST_OBJECT_UNLOCK(self);
    return path;
}

gint64 TimeOffset(VedraKrvSrc* self)
{
    GST_OBJECT_LOCK(self);
    const gint64 offset = self->timeOffset;
    GST_OBJECT_UNLOCK(self);
    return offset;
}

gboolean vedra_krv_src_start(GstBaseSrc* base)
{
    VedraKrvSrc* self = VEDRA_KRV_SRC(base);
    const std::string path = Location(self);
    const int r = self->reader->Open(path);
    if (r < 0) {
        GST_ELEMENT_ERROR(self, RESOURCE, OPEN_READ, ("Cannot read channel file \"%s\"", path.c_str()),
                          ("krv reader error %d", r));
        return FALSE;
    }
    GST_OBJECT_LOCK(self);
    self->width = static_cast<gint>(self->reader->width());
    self->height = static_cast<gint>(self->reader->height());
    GST_OBJECT_UNLOCK(self);
    return TRUE;
}

gboolean vedra_krv_src_stop(GstBaseSrc* base)
{
    VedraKrvSrc* self = VEDRA_KRV_SRC(base);
    GST_OBJECT_LOCK(self);
    self->width = self->height = 0;
    GST_OBJECT_UNLOCK(self);
    self->haveAhead = FALSE;
    self->reader->Close();
    return TRUE;
}

GstCaps* vedra_krv_src_get_caps(GstBaseSrc* base, GstCaps* filter)
{
    VedraKrvSrc* self = VEDRA_KRV_SRC(base);
    GST_OBJECT_LOCK(self);
    const gint width = self->width;
    const gint height = self->height;
    GST_OBJECT_UNLOCK(self);
    GstCaps* caps;
    if (width > 0 && height > 0) {
        // Square pixels stated outright: left open, the pixel aspect ratio would be fixated
        // from whatever a renegotiating downstream offers (down to 1/2147483647, which no
        // scaler can size a picture from).
        caps = gst_caps_new_simple("video/mpeg", "mpegversion", G_TYPE_INT, 4, "systemstream", G_TYPE_BOOLEAN, FALSE,
                                   "width", G_TYPE_INT, width, "height", G_TYPE_INT, height, "pixel-aspect-ratio",
                                   GST_TYPE_FRACTION, 1, 1, nullptr);
    } else {
        caps = gst_pad_get_pad_template_caps(GST_BASE_SRC_PAD(base));
    }
    if (filter) {
        GstCaps* both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(caps);
        caps = both;
    }
    return caps;
}

gboolean vedra_krv_src_is_seekable(GstBaseSrc*)
{
    return TRUE;
}

gboolean vedra_krv_src_do_seek(GstBaseSrc* base, GstSegment* segment)
{
    VedraKrvSrc* self = VEDRA_KRV_SRC(base);
    if (!self->reader->IsOpen())
        return TRUE; // called before start: nothing to position yet
    const guint64 start = segment->start == GST_CLOCK_TIME_NONE ? 0 : segment->start;
    const gint64 file = static_cast<gint64>(start) - TimeOffset(self);
    const guint64 ms = (file > 0 ? static_cast<guint64>(file) : 0) / GST_MSECOND;
    const int r = self->reader->SeekToKeyFrame(ms > G_MAXUINT32 ? G_MAXUINT32 : static_cast<uint32_t>(ms));
    if (r < 0) {
        GST_WARNING_OBJECT(self, "seek to %" G_GUINT64_FORMAT " ms failed: %d", ms, r);
        return FALSE;
    }
    self->haveAhead = FALSE;
    segment->position = start;
    segment->time = start;
    return TRUE;
}

gboolean vedra_krv_src_query(GstBaseSrc* base, GstQuery* query)
{
    VedraKrvSrc* self = VEDRA_KRV_SRC(base);
    if (GST_QUERY_TYPE(query) == GST_QUERY_DURATION && self->reader->IsOpen()) {
        GstFormat format;
        gst_query_parse_duration(query, &format, nullptr);
        if (format == GST_FORMAT_TIME && self->reader->durationMs() > 0) {
            const gint64 duration = static_cast<gint64>(self->reader->durationMs() * GST_MSECOND) + TimeOffset(self);
            gst_query_set_duration(query, GST_FORMAT_TIME, std::max<gint64>(duration, 0));
            return TRUE;
        }
    }
    return GST_BASE_SRC_CLASS(vedra_krv_src_parent_class)->query(base, query);
}

GstFlowReturn vedra_krv_src_create(GstPushSrc* push, GstBuffer** out)
{
    VedraKrvSrc* self = VEDRA_KRV_SRC(push);
    auto readFrame = [self](KrvFrame& frame) -> int {
        const int r = self->reader->Next(frame);
        if (r < 0)
            GST_ELEMENT_ERROR(self, STREAM, DEMUX, ("Damaged channel file"), ("krv reader error %d", r));
        return r;
    };
    if (!self->haveAhead) {
        const int r = readFrame(*self->ahead);
        if (r <= 0)
            return r == 0 ? GST_FLOW_EOS : GST_FLOW_ERROR;
        self->haveAhead = TRUE;
    }
    KrvFrame frame;
    frame.data.swap(self->ahead->data);
    frame.ptsMs = self->ahead->ptsMs;
    frame.keyFrame = self->ahead->keyFrame;
    const int r = readFrame(*self->ahead);
    if (r < 0)
        return GST_FLOW_ERROR;
    self->haveAhead = r > 0;
    if (self->haveAhead && self->ahead->ptsMs > frame.ptsMs)
        self->lastDuration = static_cast<GstClockTime>(self->ahead->ptsMs - frame.ptsMs) * GST_MSECOND;

    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, frame.data.size(), nullptr);
    if (!buffer)
        return GST_FLOW_ERROR;
    gst_buffer_fill(buffer, 0, frame.data.data(), frame.data.size());
    const gint64 pts = static_cast<gint64>(frame.ptsMs) * static_cast<gint64>(GST_MSECOND) + TimeOffset(self);
    GST_BUFFER_PTS(buffer) = static_cast<GstClockTime>(std::max<gint64>(pts, 0));
    GST_BUFFER_DTS(buffer) = GST_BUFFER_PTS(buffer);
    GST_BUFFER_DURATION(buffer) = self->lastDuration;
    if (!frame.keyFrame)
        GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
    gst_buffer_add_reference_timestamp_meta(buffer, FrameTimeMetaCaps(), GST_BUFFER_PTS(buffer), self->lastDuration);
    *out = buffer;
    return GST_FLOW_OK;
}

void vedra_krv_src_set_property(GObject* object, guint id, const GValue* value, GParamSpec* spec)
{
    VedraKrvSrc* self = VEDRA_KRV_SRC(object);
    if (id == PROP_TIME_OFFSET) {
        GST_OBJECT_LOCK(self);
        self->timeOffset = g_value_get_int64(value);
        GST_OBJECT_UNLOCK(self);
        return;
    }
    if (id != PROP_LOCATION) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
        return;
    }
    const gchar* s = g_value_get_string(value);
    GST_OBJECT_LOCK(self);
    *self->location = s ? s : "";
    GST_OBJECT_UNLOCK(self);
}

void vedra_krv_src_get_property(GObject* object, guint id, GValue* value, GParamSpec* spec)
{
    VedraKrvSrc* self = VEDRA_KRV_SRC(object);
    if (id == PROP_TIME_OFFSET) {
        g_value_set_int64(value, TimeOffset(self));
        return;
    }
    if (id != PROP_LOCATION) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
        return;
    }
    g_value_set_string(value, Location(self).c_str());
}

void vedra_krv_src_finalize(GObject* object)
{
    VedraKrvSrc* self = VEDRA_KRV_SRC(object);
    delete self->ahead;
    delete self->reader;
    delete self->location;
    G_OBJECT_CLASS(vedra_krv_src_parent_class)->finalize(object);
}

void vedra_krv_src_class_init(VedraKrvSrcClass* klass)
{
    GObjectClass* gobject = G_OBJECT_CLASS(klass);
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    GstBaseSrcClass* base = GST_BASE_SRC_CLASS(klass);
    GstPushSrcClass* push = GST_PUSH_SRC_CLASS(klass);

    gobject->set_property = vedra_krv_src_set_property;
    gobject->get_property = vedra_krv_src_get_property;
    gobject->finalize = vedra_krv_src_finalize;
    g_object_class_install_property(
        gobject, PROP_LOCATION,
        g_param_spec_string("location", "Location", "Channel file to read", nullptr,
                            static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    g_object_class_install_property(
        gobject, PROP_TIME_OFFSET,
        g_param_spec_int64("time-offset", "Time offset",
                           "Where the file's time 0 falls on its recording's timeline (ns)", G_MININT64 / 2,
                           G_MAXINT64 / 2, 0, static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));

    gst_element_class_add_static_pad_template(element, &src_template);
    gst_element_class_set_static_metadata(element, "KRV channel source", "Source/File/Video",
                                          "Whole MPEG-4 frames of a KRV channel file", "Vedra Media Player");

    base->start = vedra_krv_src_start;
    base->stop = vedra_krv_src_stop;
    base->get_caps = vedra_krv_src_get_caps;
    base->is_seekable = vedra_krv_src_is_seekable;
    base->do_seek = vedra_krv_src_do_seek;
    base->query = vedra_krv_src_query;
    push->create = vedra_krv_src_create;

    GST_DEBUG_CATEGORY_INIT(krv_source_debug, "vedrakrvsrc", 0, "KRV channel source");
}

void vedra_krv_src_init(VedraKrvSrc* self)
{
    self->location = new std::string();
    self->width = self->height = 0;
    self->reader = new KrvFrameReader();
    self->ahead = new KrvFrame();
    self->haveAhead = FALSE;
    self->lastDuration = GST_CLOCK_TIME_NONE;
    self->timeOffset = 0;
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
}

} // namespace

GstCaps* FrameTimeMetaCaps()
{
    static GstCaps* caps = gst_caps_new_empty_simple("timestamp/x-vedra-frame");
    return caps;
}

bool RegisterKrvSource()
{
    static std::once_flag once;
    static bool ok = false;
    std::call_once(
        once, [] { ok = gst_element_register(nullptr, kKrvSourceFactory, GST_RANK_NONE, vedra_krv_src_get_type()); });
    return ok;
}

} // namespace vedra
