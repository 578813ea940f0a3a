#include "adpcm_time_scale.h"

#include "gst_handles.h"

namespace vedra {
namespace {

struct TimeScale {
    guint64 num;   // true samples per block
    guint64 den;   // the parser's samples per block
    guint64 Out(guint64 t) const { return GST_CLOCK_TIME_IS_VALID(t) ? gst_util_uint64_scale(t, num, den) : t; }
    gint64 In(gint64 t) const { return t < 0 ? t : static_cast<gint64>(gst_util_uint64_scale(static_cast<guint64>(t), den, num)); }
};

GstPadProbeReturn ScaleParserTime(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    const auto* scale = static_cast<const TimeScale*>(data);
    const auto type = GST_PAD_PROBE_INFO_TYPE(info);
    if (type & GST_PAD_PROBE_TYPE_BUFFER) {
        GstBuffer* buffer = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
        GST_BUFFER_PTS(buffer) = scale->Out(GST_BUFFER_PTS(buffer));
        GST_BUFFER_DURATION(buffer) = scale->Out(GST_BUFFER_DURATION(buffer));
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
    } else if (type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
            const GstSegment* in = nullptr;
            gst_event_parse_segment(event, &in);
            if (in && in->format == GST_FORMAT_TIME) {
                GstSegment seg;
                gst_segment_copy_into(in, &seg);
                seg.start = scale->Out(seg.start);
                seg.stop = scale->Out(seg.stop);
                seg.time = scale->Out(seg.time);
                seg.position = scale->Out(seg.position);
                seg.duration = scale->Out(seg.duration);
                GstEvent* out = gst_event_new_segment(&seg);
                gst_event_set_seqnum(out, gst_event_get_seqnum(event));
                gst_event_unref(event);
                GST_PAD_PROBE_INFO_DATA(info) = out;
            }
        }
    } else if (type & GST_PAD_PROBE_TYPE_EVENT_UPSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_SEEK) {
            gdouble rate;
            GstFormat format;
            GstSeekFlags flags;
            GstSeekType startType, stopType;
            gint64 start, stop;
            gst_event_parse_seek(event, &rate, &format, &flags, &startType, &start, &stopType, &stop);
            if (format == GST_FORMAT_TIME) {
                GstEvent* out = gst_event_new_seek(rate, format, flags, startType, scale->In(start), stopType,
                                                   scale->In(stop));
                gst_event_set_seqnum(out, gst_event_get_seqnum(event));
                gst_event_unref(event);
                GST_PAD_PROBE_INFO_DATA(info) = out;
            }
        }
    } else if ((type & GST_PAD_PROBE_TYPE_QUERY_UPSTREAM) && (type & GST_PAD_PROBE_TYPE_PULL)) {
        // The answer, on its way back.
        GstQuery* query = GST_PAD_PROBE_INFO_QUERY(info);
        GstFormat format;
        gint64 value;
        if (GST_QUERY_TYPE(query) == GST_QUERY_DURATION) {
            gst_query_parse_duration(query, &format, &value);
            if (format == GST_FORMAT_TIME && value > 0)
                gst_query_set_duration(query, format, static_cast<gint64>(scale->Out(static_cast<guint64>(value))));
        } else if (GST_QUERY_TYPE(query) == GST_QUERY_POSITION) {
            gst_query_parse_position(query, &format, &value);
            if (format == GST_FORMAT_TIME && value > 0)
                gst_query_set_position(query, format, static_cast<gint64>(scale->Out(static_cast<guint64>(value))));
        }
    }
    return GST_PAD_PROBE_OK;
}

}  // namespace

void InstallAdpcmTimeScale(GstElement* parser, const KrvWavFormat& format)
{
    if (format.samplesPerBlock == 0 || format.parserSamplesPerBlock == 0 ||
        format.samplesPerBlock == format.parserSamplesPerBlock)
        return;
    PadHandle out = PadHandle::Adopt(gst_element_get_static_pad(parser, "src"));
    if (!out)
        return;
    auto* scale = new TimeScale{format.samplesPerBlock, format.parserSamplesPerBlock};
    gst_pad_add_probe(out.get(),
                      static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_BOTH |
                                                   GST_PAD_PROBE_TYPE_QUERY_UPSTREAM | GST_PAD_PROBE_TYPE_PUSH |
                                                   GST_PAD_PROBE_TYPE_PULL),
                      ScaleParserTime, scale, [](gpointer p) { delete static_cast<TimeScale*>(p); });
}

}  // namespace vedra
