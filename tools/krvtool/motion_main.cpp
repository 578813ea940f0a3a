// krvtool-motion: the decode pass of activity for krvtool, in a process of
// its own so that krvtool itself loads no codec library.
//   krvtool-motion FILE ORIGIN_MS WANTED1 WANTED2 WANTED3 WANTED4
// WANTEDn: one character per second from the counter's 0, '1' for a second
// to decode ("-" for none). Prints one line per channel: the changed share of
// every second, comma-separated, -1 where it was not decoded.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "motion/picture_changes.h"

int main(int argc, char** argv)
{
    if (argc != 7) {
        std::fputs("usage: krvtool-motion FILE ORIGIN_MS WANTED1 WANTED2 WANTED3 WANTED4\n", stderr);
        return 2;
    }
    std::vector<uint8_t> wanted[4];
    for (int c = 0; c < 4; ++c)
        for (const char* p = argv[3 + c]; *p; ++p)
            if (*p == '0' || *p == '1')
                wanted[c].push_back(uint8_t(*p == '1'));
    vedra::PictureChanges changes;
    const int r = vedra::MeasurePictureChanges(argv[1], uint32_t(std::strtoul(argv[2], nullptr, 10)), wanted, changes);
    if (r < 0) {
        std::fprintf(stderr, "krvtool-motion: %s: error %d\n", argv[1], r);
        return 1;
    }
    for (const std::vector<float>& channel : changes.channels) {
        std::string line;
        for (size_t s = 0; s < channel.size(); ++s) {
            char value[32];
            std::snprintf(value, sizeof value, s ? ",%.5f" : "%.5f", channel[s] < 0 ? -1.0 : double(channel[s]));
            line += value;
        }
        std::printf("%s\n", line.c_str());
    }
    return 0;
}
