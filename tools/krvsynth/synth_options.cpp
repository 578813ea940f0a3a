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
           "  --drop CH:A-B        leave frames A to B (from 0) of channel CH out: a gap\n"
           "  --preroll MS         preroll: packets are sent this long before their\n"
           "                       frames are due (default 3000, as the recorder writes)\n"
           "  --start-ms MS        time of the first frame (default 1000)\n"
           "  --creation-date S    creation date, seconds since 1970 UTC (0: none; default 2026-01-01)\n"
           "  --big-keyframes      key frames above 32768 bytes, spanning three packets\n"
           "  --no-seq-header      leave the 19-byte sequence header out of key frames\n"
           "  --repeat N           write the encoded key-frame groups N times in all\n"
           "  --damage KIND        bad-packet-size, packet-size-mismatch, no-header-extension,\n"
           "                       stream6, truncated, bad-audio-def, multipayload-size,\n"
           "                       short-stream-props\n"
           "  --still-scene        a still scene instead of the test pattern; writes OUT.krv.motion,\n"
           "                       the frames in which objects cross (channel, first and last ms, size)\n"
           "  --sensor-noise N     per-frame noise of +-N luma levels on the still scene (0-60)\n"
           "  --object CH:P:A-B    a square of P% of the smaller side crosses channel CH from\n"
           "                       second A to the end of second B (repeatable)\n"
           "  --dump-dir DIR       write chN.m4v, chN.txt and audio.txt describing what the\n"
           "                       channel files split from this recording must hold\n"
           "  --help               this text\n";
}

bool parseOptions(int argc, char** argv, SynthOptions& o, bool& help, std::string& error)
{
    help = false;
    auto bad = [&](std::string_view opt, std::string_view val) {
        error = "bad value for " + std::string(opt) + ": " + std::string(val);
        return false;
    };
    // Integer options and their ranges.
    long long fps = o.fps, seconds = o.seconds, gop = o.gop, audioDef = o.audioDef, preroll = o.prerollMs,
              startMs = o.startMs, repeat = o.repeat, creation = -1, sensorNoise = 0;
    struct IntOption {
        std::string_view name;
        long long lo, hi;
        long long* out;
    };
    const IntOption intOptions[] = {
        {"--fps", 1, 60, &fps},
        {"--seconds", 1, 3600, &seconds},
        {"--gop", 1, kMaxKeyFrameInterval, &gop},
        {"--audio-def", 0, 255, &audioDef},
        {"--preroll", 0, 100000, &preroll},
        {"--start-ms", 0, 100000000, &startMs},
        {"--creation-date", 0, 32503680000LL, &creation},
        {"--repeat", 1, 100000, &repeat},
        {"--sensor-noise", 0, 60, &sensorNoise},
    };

    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--help" || a == "-h") {
            help = true;
            return true;
        }
        if (a == "--no-audio") {
            o.audio = false;
            continue;
        }
        if (a == "--no-audio-stream") {
            o.audio = false;
            o.audioStream = false;
            continue;
        }
        if (a == "--big-keyframes") {
            o.bigKeyframes = true;
            continue;
        }
        if (a == "--still-scene") {
            o.scene.enabled = true;
            continue;
        }
        if (a == "--no-seq-header") {
            o.seqHeader = false;
            continue;
        }
        if (a.empty() || a[0] != '-') {
            if (!o.outPath.empty()) {
                error = "more than one output file given";
                return false;
            }
            o.outPath = std::string(a);
            continue;
        }

        // Every other option takes a value.
        static constexpr std::string_view kValued[] = {"--channels", "--size",     "--late-start", "--drop",
                                                       "--damage",   "--dump-dir", "--object"};
        const auto isInt = std::find_if(std::begin(intOptions), std::end(intOptions),
                                        [&](const IntOption& opt) { return opt.name == a; });
        if (isInt == std::end(intOptions) &&
            std::find(std::begin(kValued), std::end(kValued), a) == std::end(kValued)) {
            error = "unknown option " + std::string(a);
            return false;
        }
        if (i + 1 >= argc) {
            error = std::string(a) + " needs a value";
            return false;
        }
        const std::string_view v = argv[++i];
        long long n = 0;
        if (isInt != std::end(intOptions)) {
            if (!parseInt(v, isInt->lo, isInt->hi, n))
                return bad(a, v);
            *isInt->out = n;
        } else if (a == "--channels") {
            o.channels.clear();
            size_t pos = 0;
            for (;;) {
                const size_t comma = v.find(',', pos);
                const std::string_view item = v.substr(pos, comma == v.npos ? v.npos : comma - pos);
                if (!parseInt(item, 1, 4, n) ||
                    std::find(o.channels.begin(), o.channels.end(), int(n)) != o.channels.end())
                    return bad(a, v);
                o.channels.push_back(int(n));
                if (comma == v.npos)
                    break;
                pos = comma + 1;
            }
            std::sort(o.channels.begin(), o.channels.end());
        } else if (a == "--size") {
            const size_t x = v.find('x');
            long long w = 0, h = 0;
            if (x == v.npos || !parseInt(v.substr(0, x), 160, 1600, w) || !parseInt(v.substr(x + 1), 128, 1200, h) ||
                (w & 1) || (h & 1))
                return bad(a, v);
            o.width = int(w);
            o.height = int(h);
        } else if (a == "--late-start") {
            const size_t colon = v.find(':');
            long long ch = 0;
            if (colon == v.npos || !parseInt(v.substr(0, colon), 1, 4, ch) ||
                !parseInt(v.substr(colon + 1), 0, kMaxKeyFrameInterval - 1, n))
                return bad(a, v);
            o.lateStart[int(ch)] = int(n);
        } else if (a == "--drop") {
            const size_t colon = v.find(':');
            const size_t dash = v.find('-', colon == v.npos ? 0 : colon);
            long long ch = 0, last = 0;
            if (colon == v.npos || dash == v.npos || !parseInt(v.substr(0, colon), 1, 4, ch) ||
                !parseInt(v.substr(colon + 1, dash - colon - 1), 0, 1000000, n) ||
                !parseInt(v.substr(dash + 1), n, 1000000, last))
                return bad(a, v);
            o.drop[int(ch)] = {int(n), int(last)};
        } else if (a == "--object") {
            // CH:P:A-B
            const size_t c1 = v.find(':');
            const size_t c2 = c1 == v.npos ? v.npos : v.find(':', c1 + 1);
            const size_t dash = c2 == v.npos ? v.npos : v.find('-', c2);
            long long ch = 0, pct = 0, first = 0, last = 0;
            if (dash == v.npos || !parseInt(v.substr(0, c1), 1, 4, ch) ||
                !parseInt(v.substr(c1 + 1, c2 - c1 - 1), 1, 100, pct) ||
                !parseInt(v.substr(c2 + 1, dash - c2 - 1), 0, 3600, first) ||
                !parseInt(v.substr(dash + 1), first, 3600, last))
                return bad(a, v);
            o.scene.objects.push_back({int(ch), int(pct), int(first), int(last)});
        } else if (a == "--damage") {
            const auto it = std::find_if(std::begin(kDamageNames), std::end(kDamageNames),
                                         [&](const DamageName& d) { return v == d.name; });
            if (it == std::end(kDamageNames))
                return bad(a, v);
            o.damage = it->kind;
        } else { // --dump-dir
            o.dumpDir = std::string(v);
        }
    }
    o.fps = int(fps);
    o.seconds = int(seconds);
    o.gop = int(gop);
    o.audioDef = int(audioDef);
    o.prerollMs = uint32_t(preroll);
    o.startMs = uint32_t(startMs);
    constexpr long long kUnixToFileTimeSeconds = 11644473600LL;
    if (creation >= 0)
        o.creationDate = creation == 0 ? 0 : uint64_t(creation + kUnixToFileTimeSeconds) * 10000000ull;
    o.repeat = int(repeat);
    o.scene.sensorNoise = int(sensorNoise);
    if ((sensorNoise || !o.scene.objects.empty()) && !o.scene.enabled) {
        error = "--sensor-noise and --object draw on the still scene: add --still-scene";
        return false;
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
    for (const auto& [ch, range] : o.drop) {
        if (std::find(o.channels.begin(), o.channels.end(), ch) == o.channels.end()) {
            error = "--drop names channel " + std::to_string(ch) + ", which is not recorded";
            return false;
        }
    }
    return true;
}

} // namespace krvsynth
