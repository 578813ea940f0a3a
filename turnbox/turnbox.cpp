/**
 * Element turnbox ("Karvel Rotate Filter")
 *
 * Rotates packed RGB video by a quarter, half or three-quarter turn
 * clockwise, flips it upside down, mirrors it or transposes it about the
 * top-left to bottom-right diagonal. Quarter turns and the transposition swap
 * the output's width and height.
 *
 *   gst-launch-1.0 videotestsrc ! video/x-raw,format=BGRx ! turnbox rotation=1 \
 *       ! videoconvert ! autovideosink
 *
 * The mode is chosen through the "rotation" property or the IRotation
 * interface; either is refused while the output is negotiated with a linked
 * peer. A refused or out-of-range mode is never stored. The rank is NONE, so
 * auto-plugging never picks the element; applications add it by name.
 */
#include "turnbox.h"

#include <gst/video/video.h>

#include "irotation_type.h"
#include "rotate_frame.h"
#include "rotation_mode.h"

using turnbox::FrameSize;
using turnbox::IsRotationMode;
using turnbox::kModeMappings;
using turnbox::OutputSize;

enum {
    PROP_0,
    PROP_ROTATION,
};

#define DEFAULT_ROTATION turnbox::kNoRotation

GST_DEBUG_CATEGORY_STATIC(turnbox_debug);
#define GST_CAT_DEFAULT turnbox_debug

// Packed RGB orders of 3 and 4 bytes per pixel; BGR and BGRx first, the
// layouts of the filter's historic RGB24 and RGB32.
#define TURNBOX_CAPS GST_VIDEO_CAPS_MAKE("{ BGR, BGRx, RGB, RGBx, xRGB, xBGR, BGRA, RGBA, ARGB, ABGR }")

static GstStaticPadTemplate sink_template =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(TURNBOX_CAPS));
static GstStaticPadTemplate src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(TURNBOX_CAPS));

struct _Turnbox {
    GstVideoFilter parent;

    gint proposedMode; // guarded by the object lock; what SetRotation stored
    gint activeMode;   // streaming thread only: the mode frames are turned by
};

static void turnbox_irotation_init(IRotationInterface* iface);

G_DEFINE_TYPE_WITH_CODE(Turnbox, turnbox, GST_TYPE_VIDEO_FILTER,
                        G_IMPLEMENT_INTERFACE(TURNBOX_TYPE_IROTATION, turnbox_irotation_init))
GST_ELEMENT_REGISTER_DEFINE(turnbox, "turnbox", GST_RANK_NONE, TURNBOX_TYPE_FILTER)

static GParamSpec* rotation_pspec;

GType turnbox_rotation_get_type(void)
{
    static GType type = 0;
    static const GEnumValue values[] = {
        {turnbox::kNoRotation, turnbox::kModeLabels[0], "none"},
        {turnbox::kClockwise90, turnbox::kModeLabels[1], "clockwise"},
        {turnbox::kClockwise180, turnbox::kModeLabels[2], "rotate-180"},
        {turnbox::kClockwise270, turnbox::kModeLabels[3], "counterclockwise"},
        {turnbox::kFlipVertical, turnbox::kModeLabels[4], "vertical-flip"},
        {turnbox::kFlipHorizontal, turnbox::kModeLabels[5], "horizontal-flip"},
        {turnbox::kFlipDiagonal, turnbox::kModeLabels[6], "upper-left-diagonal"},
        {0, nullptr, nullptr},
    };
    if (g_once_init_enter(&type))
        g_once_init_leave(&type, g_enum_register_static("TurnboxRotation", values));
    return type;
}

// The output counts as connected once caps went out on a linked source pad;
// until then, and again after unlinking, the mode may change.
static bool output_negotiated(Turnbox* self)
{
    GstPad* src = GST_BASE_TRANSFORM_SRC_PAD(self);
    return gst_pad_is_linked(src) && gst_pad_has_current_caps(src);
}

// IRotation

static RotationResult turnbox_SetRotation(IRotation* iface, gint32 mode)
{
    Turnbox* self = TURNBOX_FILTER(iface);
    if (!IsRotationMode(mode))
        return ROTATION_E_INVALIDARG;
    if (output_negotiated(self))
        return ROTATION_E_FAIL;

    GST_OBJECT_LOCK(self);
    const bool changed = self->proposedMode != mode;
    self->proposedMode = mode;
    GST_OBJECT_UNLOCK(self);

    if (changed) {
        GST_DEBUG_OBJECT(self, "rotation %d (%s)", mode, turnbox::kModeLabels[mode]);
        gst_base_transform_reconfigure_src(GST_BASE_TRANSFORM(self));
        g_object_notify_by_pspec(G_OBJECT(self), rotation_pspec);
    }
    return ROTATION_S_OK;
}

static RotationResult turnbox_GetRotation(IRotation* iface, gint32* mode)
{
    Turnbox* self = TURNBOX_FILTER(iface);
    if (mode == nullptr)
        return ROTATION_E_POINTER;
    if (output_negotiated(self))
        return ROTATION_E_FAIL;
    GST_OBJECT_LOCK(self);
    *mode = self->proposedMode;
    GST_OBJECT_UNLOCK(self);
    return ROTATION_S_OK;
}

static void turnbox_irotation_init(IRotationInterface* iface)
{
    iface->SetRotation = turnbox_SetRotation;
    iface->GetRotation = turnbox_GetRotation;
}

// Virtual methods

static void swap_fields(GstStructure* s, const char* a, const char* b)
{
    const GValue* va = gst_structure_get_value(s, a);
    const GValue* vb = gst_structure_get_value(s, b);
    if (va == nullptr || vb == nullptr)
        return;
    GValue ta = G_VALUE_INIT;
    GValue tb = G_VALUE_INIT;
    g_value_init(&ta, G_VALUE_TYPE(va));
    g_value_copy(va, &ta);
    g_value_init(&tb, G_VALUE_TYPE(vb));
    g_value_copy(vb, &tb);
    gst_structure_take_value(s, a, &tb);
    gst_structure_take_value(s, b, &ta);
}

static GstCaps* turnbox_transform_caps(GstBaseTransform* trans, GstPadDirection direction, GstCaps* caps,
                                       GstCaps* filter)
{
    Turnbox* self = TURNBOX_FILTER(trans);
    GST_OBJECT_LOCK(self);
    const gint mode = self->proposedMode;
    GST_OBJECT_UNLOCK(self);

    // Every mode is its own inverse as far as sizes go, so both directions
    // map the same way.
    GstCaps* ret = gst_caps_copy(caps);
    if (kModeMappings[mode].swapsAxes) {
        for (guint i = 0; i < gst_caps_get_size(ret); ++i) {
            GstStructure* s = gst_caps_get_structure(ret, i);
            swap_fields(s, "width", "height");
            gint parN = 0;
            gint parD = 0;
            if (gst_structure_get_fraction(s, "pixel-aspect-ratio", &parN, &parD) && parN > 0)
                gst_structure_set(s, "pixel-aspect-ratio", GST_TYPE_FRACTION, parD, parN, nullptr);
        }
    }
    GST_DEBUG_OBJECT(self, "mode %d, %s caps %" GST_PTR_FORMAT " -> %" GST_PTR_FORMAT, mode,
                     direction == GST_PAD_SINK ? "sink" : "src", caps, ret);
    if (filter != nullptr) {
        GstCaps* both = gst_caps_intersect_full(filter, ret, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(ret);
        ret = both;
    }
    return ret;
}

static gboolean turnbox_set_info(GstVideoFilter* filter, GstCaps*, GstVideoInfo* inInfo, GstCaps*,
                                 GstVideoInfo* outInfo)
{
    Turnbox* self = TURNBOX_FILTER(filter);
    GST_OBJECT_LOCK(self);
    const gint mode = self->proposedMode;
    GST_OBJECT_UNLOCK(self);

    const FrameSize in{GST_VIDEO_INFO_WIDTH(inInfo), GST_VIDEO_INFO_HEIGHT(inInfo)};
    const FrameSize out{GST_VIDEO_INFO_WIDTH(outInfo), GST_VIDEO_INFO_HEIGHT(outInfo)};
    // The caps came from the proposed mode; a change in between shows here.
    if (GST_VIDEO_INFO_FORMAT(inInfo) != GST_VIDEO_INFO_FORMAT(outInfo) || OutputSize(mode, in) != out) {
        GST_WARNING_OBJECT(self, "output %dx%d does not fit mode %d for input %dx%d", out.width, out.height, mode,
                           in.width, in.height);
        return FALSE;
    }
    self->activeMode = mode;
    return TRUE;
}

static GstFlowReturn turnbox_transform_frame(GstVideoFilter* filter, GstVideoFrame* inFrame, GstVideoFrame* outFrame)
{
    Turnbox* self = TURNBOX_FILTER(filter);
    auto readable = [](const GstVideoFrame* f) {
        const auto* base = static_cast<const guint8*>(f->map[0].data);
        const auto* plane = static_cast<const guint8*>(f->data[0]);
        const auto offset = static_cast<gsize>(plane - base);
        return offset <= f->map[0].size ? f->map[0].size - offset : 0;
    };
    const turnbox::ConstPlane in{static_cast<const guint8*>(GST_VIDEO_FRAME_PLANE_DATA(inFrame, 0)),
                                 GST_VIDEO_FRAME_PLANE_STRIDE(inFrame, 0), GST_VIDEO_FRAME_WIDTH(inFrame),
                                 GST_VIDEO_FRAME_HEIGHT(inFrame), readable(inFrame)};
    const turnbox::Plane out{static_cast<guint8*>(GST_VIDEO_FRAME_PLANE_DATA(outFrame, 0)),
                             GST_VIDEO_FRAME_PLANE_STRIDE(outFrame, 0), GST_VIDEO_FRAME_WIDTH(outFrame),
                             GST_VIDEO_FRAME_HEIGHT(outFrame), readable(outFrame)};
    const int bytesPerPixel = GST_VIDEO_FRAME_COMP_PSTRIDE(inFrame, 0);

    // A mode set while unlinked may give the same caps as the old one (a
    // quarter turn the other way), and equal caps are not configured again;
    // take it here as soon as it fits the negotiated sizes.
    GST_OBJECT_LOCK(self);
    const gint proposed = self->proposedMode;
    GST_OBJECT_UNLOCK(self);
    if (OutputSize(proposed, {in.width, in.height}) == FrameSize{out.width, out.height})
        self->activeMode = proposed;

    if (!turnbox::RotateFrame(in, out, bytesPerPixel, self->activeMode)) {
        GST_ELEMENT_ERROR(self, STREAM, FORMAT, (nullptr),
                          ("frame layout does not fit its caps (%dx%d stride %d, size %" G_GSIZE_FORMAT ")", in.width,
                           in.height, static_cast<int>(in.stride), in.size));
        return GST_FLOW_ERROR;
    }
    // Every output frame stands on its own.
    GST_BUFFER_FLAG_UNSET(outFrame->buffer, GST_BUFFER_FLAG_DELTA_UNIT);
    return GST_FLOW_OK;
}

// Metas tied to the picture's geometry (crop, regions, overlays) no longer
// fit once the picture turns; keep only those that say nothing about it.
static gboolean turnbox_transform_meta(GstBaseTransform* trans, GstBuffer* outbuf, GstMeta* meta, GstBuffer* inbuf)
{
    Turnbox* self = TURNBOX_FILTER(trans);
    const gchar* const* tags = gst_meta_api_type_get_tags(meta->info->api);
    if (self->activeMode == turnbox::kNoRotation || tags == nullptr || tags[0] == nullptr)
        return GST_BASE_TRANSFORM_CLASS(turnbox_parent_class)->transform_meta(trans, outbuf, meta, inbuf);
    return FALSE;
}

// Property accessors

static void turnbox_set_property(GObject* object, guint propId, const GValue* value, GParamSpec* pspec)
{
    switch (propId) {
    case PROP_ROTATION: {
        const gint mode = g_value_get_enum(value);
        // Refused quietly: an application may try this in a loop while playing, and a warning
        // per try would flood its output. The element's debug log has it.
        if (turnbox_SetRotation(reinterpret_cast<IRotation*>(object), mode) != ROTATION_S_OK)
            GST_INFO_OBJECT(object, "rotation %d refused while the output is negotiated", mode);
        break;
    }
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, propId, pspec); break;
    }
}

// Reading the property always gives the stored mode; only the interface's
// GetRotation is refused while the output is negotiated.
static void turnbox_get_property(GObject* object, guint propId, GValue* value, GParamSpec* pspec)
{
    Turnbox* self = TURNBOX_FILTER(object);
    switch (propId) {
    case PROP_ROTATION:
        GST_OBJECT_LOCK(self);
        g_value_set_enum(value, self->proposedMode);
        GST_OBJECT_UNLOCK(self);
        break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, propId, pspec); break;
    }
}

static void turnbox_class_init(TurnboxClass* klass)
{
    GObjectClass* gobjectClass = G_OBJECT_CLASS(klass);
    GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
    GstBaseTransformClass* transClass = GST_BASE_TRANSFORM_CLASS(klass);
    GstVideoFilterClass* filterClass = GST_VIDEO_FILTER_CLASS(klass);

    GST_DEBUG_CATEGORY_INIT(turnbox_debug, "turnbox", 0, "Karvel Rotate Filter");

    gobjectClass->set_property = turnbox_set_property;
    gobjectClass->get_property = turnbox_get_property;

    rotation_pspec = g_param_spec_enum(
        "rotation", "Rotation", "Rotation mode; refused while the output is negotiated with a linked peer",
        TURNBOX_TYPE_ROTATION, DEFAULT_ROTATION,
        static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_PLAYING));
    g_object_class_install_property(gobjectClass, PROP_ROTATION, rotation_pspec);

    gst_element_class_set_static_metadata(elementClass, "Karvel Rotate Filter", "Filter/Effect/Video",
                                          "Rotates, flips or transposes packed RGB video",
                                          "Vedra Media Player developers");
    gst_element_class_add_static_metadata(elementClass, "class-id", TURNBOX_CLASS_ID);
    gst_element_class_add_static_pad_template(elementClass, &sink_template);
    gst_element_class_add_static_pad_template(elementClass, &src_template);

    transClass->transform_caps = GST_DEBUG_FUNCPTR(turnbox_transform_caps);
    transClass->transform_meta = GST_DEBUG_FUNCPTR(turnbox_transform_meta);
    filterClass->set_info = GST_DEBUG_FUNCPTR(turnbox_set_info);
    filterClass->transform_frame = GST_DEBUG_FUNCPTR(turnbox_transform_frame);

    gst_type_mark_as_plugin_api(TURNBOX_TYPE_ROTATION, static_cast<GstPluginAPIFlags>(0));
}

static void turnbox_init(Turnbox* self)
{
    self->proposedMode = DEFAULT_ROTATION;
    self->activeMode = DEFAULT_ROTATION;
}
