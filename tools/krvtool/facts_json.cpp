#include "facts_json.h"

#include <cinttypes>
#include <cstdio>

#include "krv/krv_time.h"

namespace krvtool {
namespace {

std::string seconds(double s)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.3f", s);
    return text;
}

std::string ms(uint64_t value) { return seconds(double(value) / 1000.0); }

std::string number(uint64_t n) { return std::to_string(n); }

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

std::string channelJson(int number_, const KrvChannelFacts& c)
{
    Object o;
    o.add("channel", std::to_string(number_)).add("present", c.present ? "true" : "false");
    if (!c.present)
        return o.str();
    std::string gaps = "[";
    for (const KrvGap& g : c.gaps)
        gaps += (gaps.size() > 1 ? "," : "") + Object().add("start", ms(g.startMs)).add("length", ms(g.lengthMs)).str();
    gaps += "]";
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.3f", c.frameRate);
    o.add("width", number(c.width))
        .add("height", number(c.height))
        .add("frames", number(c.frames))
        .add("key_frames", number(c.keyFrames))
        .add("frame_rate", rate)
        .add("first_time", ms(c.firstMs))
        .add("last_time", ms(c.lastMs))
        .add("gaps", gaps)
        .add("bytes", number(c.bytes));
    return o.str();
}

std::string audioJson(const KrvAudioFacts& a)
{
    Object o;
    o.add("present", a.present ? "true" : "false");
    if (!a.present)
        return o.str();
    o.add("format", jsonString(a.formatTag == 2 ? "MS ADPCM" : "other"))
        .add("format_tag", number(a.formatTag))
        .add("channels", number(a.channels))
        .add("rate", number(a.rate))
        .add("block_align", number(a.blockAlign))
        .add("samples_per_block", number(a.samplesPerBlock))
        .add("blocks", number(a.blocks))
        .add("duration", seconds(a.durationSec));
    return o.str();
}

}  // namespace

std::string jsonString(const std::string& text)
{
    std::string s = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': s += "\\\""; break;
        case '\\': s += "\\\\"; break;
        case '\n': s += "\\n"; break;
        case '\r': s += "\\r"; break;
        case '\t': s += "\\t"; break;
        default:
            if (c < 0x20) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", c);
                s += esc;
            } else {
                s += char(c);
            }
        }
    }
    return s + "\"";
}

std::string factsJson(const std::string& path, const KrvFacts& f)
{
    const std::string created = krv_iso8601_utc(f.creationDate);
    std::string channels = "[";
    for (int c = 0; c < 4; ++c)
        channels += (c ? "," : "") + channelJson(c + 1, f.channels[c]);
    channels += "]";
    return Object()
        .add("file", jsonString(path))
        .add("size", number(f.fileSize))
        .add("creation_date", created.empty() ? "null" : jsonString(created))
        .add("duration", ms(krv_play_length_ms(f.playDuration, f.preroll)))
        .add("preroll", ms(f.preroll))
        .add("packets", number(f.packetsRead))
        .add("packets_announced", number(f.packetsAnnounced))
        .add("damaged_packets", number(f.damagedPackets))
        .add("missing_packets", number(f.missingPackets))
        .add("cut_short", f.cutShort ? "true" : "false")
        .add("channels", channels)
        .add("audio", audioJson(f.audio))
        .str();
}

std::string errorJson(const std::string& path, int code, const std::string& message, const std::string& name)
{
    const std::string error =
        Object().add("code", std::to_string(code)).add("name", jsonString(name)).add("message", jsonString(message)).str();
    return Object().add("file", jsonString(path)).add("error", error).str();
}

}  // namespace krvtool
