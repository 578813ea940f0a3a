#include "synth_options.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

namespace krvsynth {

namespace {

bool parseInt(std::string_view s, long long lo, long long hi, long long& out)
{
    long long v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

struct DamageName {
    const char* name;
    Damage kind;
};

constexpr DamageName kDamageNames[] = {
    {"bad-packet-size", Damage::BadPacketSize},
    {"packet-size-mismatch", Damage::PacketSizeMismatch},
    {"no-header-extension", Damage::NoHeaderExtension},
    {"stream6", Damage::Stream6},
    {"truncated", Damage::Truncated},
    {"bad-audio-def", Damage::BadAudioDef},
    {"multipayload-size", Damage::MultipayloadSize},
    {"short-stream-props", Damage::ShortStreamProps},
};

} // namespace

const char* usageText()
{
    return "usage: krvsynth OUT.krv [options]\n"
           "Writes a KRV recording the way the recorder does: real MPEG-4 part 2 video\n"
           "channels and MS ADPCM audio in 32768-byte packets.\n"
           "\n"
           "  --channels LIST      video channels present, e.g. 1,2,3,4 (default) or 2,4\n"
           "  --size WxH           picture size, even, 160x128 to 1600x1200 (default 352x288)\n"
           "  --fps N              frames per second (default 10)\n"
           "  --seconds S          length in seconds (default 3)\n"
           "  --gop N              key-frame interval in frames (default 10)\n"
           "  --no-audio           no audio payloads (the audio stream stays in the header)\n"
           "  --no-audio-stream    no audio stream properties object either\n"
           "  --audio-def N        byte at offset 649, 0-255 (default 0)\n"
           "  --late-start CH:N    channel CH begins with N non-key frames (repeatable)\n"
           "  --preroll MS         file properties preroll (default 0)\n"
           "  --start-ms MS        time of the first frame (default 1000)\n"
           "  --big-keyframes      key frames above 32768 bytes, spanning three packets\n"
           "  --no-seq-header      leave the 19-byte sequence header out of key frames\n"
           "  --repeat N           write the encoded key-frame groups N times in all\n"
           "  --damage KIND        bad-packet-size, packet-size-mismatch, no-header-extension,\n"
           "                       stream6, truncated, bad-audio-def, multipayload-size,\n"
           "                       short-stream-props\n"
           "  --dump-dir DIR       write chN.m4v, chN.txt and audio.txt describing what the\n"
           "                       channel files split from this recording must hold\n"
           "  --help               this text\n";
}

bool parseOptions(int argc, char** argv, SynthOptions& o, bool& help, std::string& error)
{
    help = false;
    auto need = [&](int& i, const char* opt, std::string_view& val) {
        if (i + 1 >= argc) {
            error = std::string(opt) + " needs a value";
            return false;
        }
        val = argv[++i];
        return true;
    };
    auto bad = [&](const char* opt, std::string_view val) {
        error = "bad value for " + std::string(opt) + ": " + std::string(val);
        return false;
    };

    for (int i = 1; i < argc; ++i) {
        std::string_view a = argv[i];
        std::string_view v;
        long long n = 0;
        if (a == "--help" || a == "-h") {
            help = true;
            return true;
        } else if (a == "--channels") {
            if (!need(i, "--channels", v))
                return false;
            o.channels.clear();
            size_t pos = 0;
            while (pos <= v.size()) {
                size_t comma = v.find(',', pos);
                std::string_view item = v.substr(pos, comma == std::string_view::npos ? v.npos : comma - pos);
                if (!parseInt(item, 1, 4, n))
                    return bad("--channels", v);
                if (std::find(o.channels.begin(), o.channels.end(), int(n)) != o.channels.end())
                    return bad("--channels", v);
                o.channels.push_back(int(n));
                if (comma == std::string_view::npos)
                    break;
                pos = comma + 1;
            }
            std::sort(o.channels.begin(), o.channels.end());
        } else if (a == "--size") {
            if (!need(i, "--size", v))
                return false;
            size_t x = v.find('x');
            long long w = 0, h = 0;
            if (x == v.npos || !parseInt(v.substr(0, x), 160, 1600, w) || !parseInt(v.substr(x + 1), 128, 1200, h)
                || (w & 1) || (h & 1))
                return bad("--size", v);
            o.width = int(w);
            o.height = int(h);
        } else if (a == "--fps") {
            if (!need(i, "--fps", v) || !parseInt(v, 1, 60, n))
                return v.empty() ? false : bad("--fps", v);
            o.fps = int(n);
        } else if (a == "--seconds") {
            if (!need(i, "--seconds", v) || !parseInt(v, 1, 3600, n))
                return v.empty() ? false : bad("--seconds", v);
            o.seconds = int(n);
        } else if (a == "--gop") {
            if (!need(i, "--gop", v) || !parseInt(v, 1, 600, n))
                return v.empty() ? false : bad("--gop", v);
            o.gop = int(n);
        } else if (a == "--no-audio") {
            o.audio = false;
        } else if (a == "--no-audio-stream") {
            o.audio = false;
            o.audioStream = false;
        } else if (a == "--audio-def") {
            if (!need(i, "--audio-def", v) || !parseInt(v, 0, 255, n))
                return v.empty() ? false : bad("--audio-def", v);
            o.audioDef = int(n);
        } else if (a == "--late-start") {
            if (!need(i, "--late-start", v))
                return false;
            size_t colon = v.find(':');
            long long ch = 0;
            if (colon == v.npos || !parseInt(v.substr(0, colon), 1, 4, ch) || !parseInt(v.substr(colon + 1), 0, 10000, n))
                return bad("--late-start", v);
            o.lateStart[int(ch)] = int(n);
        } else if (a == "--preroll") {
            if (!need(i, "--preroll", v) || !parseInt(v, 0, 100000, n))
                return v.empty() ? false : bad("--preroll", v);
            o.prerollMs = uint32_t(n);
        } else if (a == "--start-ms") {
            if (!need(i, "--start-ms", v) || !parseInt(v, 0, 100000000, n))
                return v.empty() ? false : bad("--start-ms", v);
            o.startMs = uint32_t(n);
        } else if (a == "--big-keyframes") {
            o.bigKeyframes = true;
        } else if (a == "--no-seq-header") {
            o.seqHeader = false;
        } else if (a == "--repeat") {
            if (!need(i, "--repeat", v) || !parseInt(v, 1, 100000, n))
                return v.empty() ? false : bad("--repeat", v);
            o.repeat = int(n);
        } else if (a == "--damage") {
            if (!need(i, "--damage", v))
                return false;
            auto it = std::find_if(std::begin(kDamageNames), std::end(kDamageNames),
                                   [&](const DamageName& d) { return v == d.name; });
            if (it == std::end(kDamageNames))
                return bad("--damage", v);
            o.damage = it->kind;
        } else if (a == "--dump-dir") {
            if (!need(i, "--dump-dir", v))
                return false;
            o.dumpDir = std::string(v);
        } else if (!a.empty() && a[0] == '-') {
            error = "unknown option " + std::string(a);
            return false;
        } else if (o.outPath.empty()) {
            o.outPath = std::string(a);
        } else {
            error = "more than one output file given";
            return false;
        }
    }
    if (o.outPath.empty()) {
        error = "no output file given";
        return false;
    }
    for (const auto& [ch, n] : o.lateStart) {
        if (std::find(o.channels.begin(), o.channels.end(), ch) == o.channels.end()) {
            error = "--late-start names channel " + std::to_string(ch) + ", which is not recorded";
            return false;
        }
    }
    return true;
}

} // namespace krvsynth
