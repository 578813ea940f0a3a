#include "facts_json.h"

#include <cinttypes>
#include <cstdio>

#include "evidence/json_value.h"
#include "krv/krv_time.h"

namespace krvtool {
namespace {

std::string secondsJson(double s)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.3f", s);
    return text;
}

std::string msJson(uint64_t value)
{
    return secondsJson(double(value) / 1000.0);
}

std::string numberJson(uint64_t n)
{
    return std::to_string(n);
}

// Fields in order, joined into an object.
class Object {
public:
    Object& add(const char* key, const std::string& json)
    {
        text_ += (text_.empty() ? "{" : ",") + jsonString(key) + ":" + json;
        return *this;
    }
    std::string str() const { return text_.empty() ? "{}" : text_ + "}"; }

private:
    std::string text_;
};

std::string channelJson(int channel, const KrvChannelFacts& c, uint32_t originMs)
{
    auto offset = [originMs](uint32_t ms) { return msJson(ms > originMs ? ms - originMs : 0); };
    Object o;
    o.add("channel", std::to_string(channel)).add("present", c.present ? "true" : "false");
    if (!c.present)
        return o.str();
    std::string gaps = "[";
    for (const KrvGap& g : c.gaps)
        gaps += (gaps.size() > 1 ? "," : "") +
                Object().add("start", offset(g.startMs)).add("length", msJson(g.lengthMs)).str();
    gaps += "]";
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.3f", c.frameRate);
    o.add("width", numberJson(c.width))
        .add("height", numberJson(c.height))
        .add("frames", numberJson(c.frames))
        .add("key_frames", numberJson(c.keyFrames))
        .add("frame_rate", rate)
        .add("first_time", offset(c.firstMs))
        .add("last_time", offset(c.lastMs))
        .add("gaps", gaps)
        .add("bytes", numberJson(c.bytes));
    return o.str();
}

std::string audioJson(const KrvAudioFacts& a)
{
    Object o;
    o.add("present", a.present ? "true" : "false");
    if (!a.present)
        return o.str();
    o.add("format", jsonString(a.formatTag == 2 ? "MS ADPCM" : "other"))
        .add("format_tag", numberJson(a.formatTag))
        .add("channels", numberJson(a.channels))
        .add("rate", numberJson(a.rate))
        .add("block_align", numberJson(a.blockAlign))
        .add("samples_per_block", numberJson(a.samplesPerBlock))
        .add("blocks", numberJson(a.blocks))
        .add("duration", secondsJson(a.durationSec));
    return o.str();
}

} // namespace

std::string jsonString(const std::string& text)
{
    return vedra::JsonQuote(text);
}

std::string factsJson(const std::string& path, const KrvFacts& f, const KrvTimeline& timeline)
{
    const std::string created = krv_iso8601_utc(timeline.creationDate);
    const std::string start = krv_iso8601_utc(krv_time_of_day(timeline.creationDate, timeline.originMs));
    std::string channels = "[";
    for (int c = 0; c < 4; ++c)
        channels += (c ? "," : "") + channelJson(c + 1, f.channels[c], timeline.originMs);
    channels += "]";
    return Object()
        .add("file", jsonString(path))
        .add("size", numberJson(f.fileSize))
        .add("creation_date", created.empty() ? "null" : jsonString(created))
        .add("start_time", start.empty() ? "null" : jsonString(start))
        .add("duration", msJson(krv_play_length_ms(f.playDuration, f.preroll)))
        .add("preroll", msJson(f.preroll))
        .add("packets", numberJson(f.packetsRead))
        .add("packets_announced", numberJson(f.packetsAnnounced))
        .add("damaged_packets", numberJson(f.damagedPackets))
        .add("missing_packets", numberJson(f.missingPackets))
        .add("cut_short", f.cutShort ? "true" : "false")
        .add("channels", channels)
        .add("audio", audioJson(f.audio))
        .str();
}

std::string errorJson(const std::string& path, int code, const std::string& message, const std::string& name)
{
    const std::string error = Object()
                                  .add("code", std::to_string(code))
                                  .add("name", jsonString(name))
                                  .add("message", jsonString(message))
                                  .str();
    return Object().add("file", jsonString(path)).add("error", error).str();
}

} // namespace krvtool
