#include "audio_timeline.h"

#include <atomic>

#include "gst_handles.h"

namespace vedra {
namespace {

struct Timeline {
    guint64 num;   // true samples per block
    guint64 den;   // the parser's samples per block
    gint64 offset; // ns
    // The time last sought to, on the recording's timeline: a seek to before
    // the file's start keeps it as segment start, so the sound waits for its time.
    std::atomic<gint64> soughtTo{-1};

    guint64 Scale(guint64 t) const { return GST_CLOCK_TIME_IS_VALID(t) ? gst_util_uint64_scale(t, num, den) : t; }
    guint64 Out(guint64 t) const
    {
        if (!GST_CLOCK_TIME_IS_VALID(t))
            return t;
        const gint64 moved = static_cast<gint64>(Scale(t)) + offset;
        return moved > 0 ? static_cast<guint64>(moved) : 0;
    }
    gint64 In(gint64 t) const
    {
        if (t < 0)
            return t;
        const gint64 file = t - offset;
        return file > 0 ? static_cast<gint64>(gst_util_uint64_scale(static_cast<guint64>(file), den, num)) : 0;
    }
};

GstPadProbeReturn MapParserTime(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    auto* map = static_cast<Timeline*>(data);
    const auto type = GST_PAD_PROBE_INFO_TYPE(info);
    if (type & GST_PAD_PROBE_TYPE_BUFFER) {
        GstBuffer* buffer = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
        GST_BUFFER_PTS(buffer) = map->Out(GST_BUFFER_PTS(buffer));
        GST_BUFFER_DURATION(buffer) = map->Scale(GST_BUFFER_DURATION(buffer));
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
    } else if (type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
            const GstSegment* in = nullptr;
            gst_event_parse_segment(event, &in);
            if (in && in->format == GST_FORMAT_TIME) {
                GstSegment seg;
                gst_segment_copy_into(in, &seg);
                seg.start = map->Out(seg.start);
                seg.stop = map->Out(seg.stop);
                seg.time = map->Out(seg.time);
                seg.position = map->Out(seg.position);
                seg.duration = map->Out(seg.duration);
                const gint64 sought = map->soughtTo.exchange(-1);
                if (sought >= 0 && static_cast<guint64>(sought) < seg.start)
                    seg.start = seg.time = seg.position = static_cast<guint64>(sought);
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
                if (startType == GST_SEEK_TYPE_SET)
                    map->soughtTo = start;
                GstEvent* out =
                    gst_event_new_seek(rate, format, flags, startType, map->In(start), stopType, map->In(stop));
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
                gst_query_set_duration(query, format, static_cast<gint64>(map->Out(static_cast<guint64>(value))));
        } else if (GST_QUERY_TYPE(query) == GST_QUERY_POSITION) {
            gst_query_parse_position(query, &format, &value);
            if (format == GST_FORMAT_TIME && value >= 0)
                gst_query_set_position(query, format, static_cast<gint64>(map->Out(static_cast<guint64>(value))));
        }
    }
    return GST_PAD_PROBE_OK;
}

} // namespace

void InstallAudioTimeline(GstElement* parser, const KrvWavFormat& format, GstClockTimeDiff offset)
{
    const bool scaled = format.samplesPerBlock != 0 && format.parserSamplesPerBlock != 0 &&
                        format.samplesPerBlock != format.parserSamplesPerBlock;
    if (!scaled && offset == 0)
        return;
    PadHandle out = PadHandle::Adopt(gst_element_get_static_pad(parser, "src"));
    if (!out)
        return;
    auto* map = new Timeline{scaled ? format.samplesPerBlock : 1, scaled ? format.parserSamplesPerBlock : 1, offset};
    gst_pad_add_probe(out.get(),
                      static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_BOTH |
                                                   GST_PAD_PROBE_TYPE_QUERY_UPSTREAM | GST_PAD_PROBE_TYPE_PUSH |
                                                   GST_PAD_PROBE_TYPE_PULL),
                      MapParserTime, map, [](gpointer p) { delete static_cast<Timeline*>(p); });
}

} // namespace vedra
