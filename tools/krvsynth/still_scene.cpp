#include "still_scene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace krvsynth {

namespace {

uint32_t nextRandom(uint32_t& state)
{
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

// The frames of a pass: from its first second's first frame to its last second's last.
std::pair<int, int> passFrames(const ObjectPass& o, int fps)
{
    return {o.firstSecond * fps, (o.lastSecond + 1) * fps - 1};
}

void drawBackground(AVFrame* f, int channel)
{
    // Soft gradients and a few blocks: a room's walls and furniture.
    for (int y = 0; y < f->height; ++y) {
        uint8_t* row = f->data[0] + y * f->linesize[0];
        for (int x = 0; x < f->width; ++x) {
            int v = 60 + (x * 80) / f->width + (y * 40) / f->height;
            if ((x / 40 + y / 30 + channel) % 5 == 0)
                v += 50;
            row[x] = uint8_t(std::clamp(v, 16, 235));
        }
    }
    for (int p = 1; p <= 2; ++p)
        for (int y = 0; y < f->height / 2; ++y)
            std::fill(f->data[p] + y * f->linesize[p], f->data[p] + y * f->linesize[p] + f->width / 2,
                      uint8_t(128 + (p == 1 ? 6 : -6) * channel));
}

void addSensorNoise(AVFrame* f, int amplitude, int channel, int index)
{
    uint32_t state = 0x2545F491u ^ uint32_t(channel * 7919 + index * 104729);
    const int span = 2 * amplitude + 1;
    for (int y = 0; y < f->height; ++y) {
        uint8_t* row = f->data[0] + y * f->linesize[0];
        for (int x = 0; x < f->width; ++x)
            row[x] = uint8_t(std::clamp(int(row[x]) + int(nextRandom(state) % uint32_t(span)) - amplitude, 16, 235));
    }
}

void drawObject(AVFrame* f, const ObjectPass& o, int index, int fps)
{
    const auto [first, last] = passFrames(o, fps);
    const int side = std::max(2, std::min(f->width, f->height) * o.sizePercent / 100);
    // From just outside the left edge to just outside the right one.
    const double share = last > first ? double(index - first) / double(last - first) : 0.5;
    const int x0 = int(std::lround(-side + share * (f->width + side)));
    const int y0 = f->height / 2 - side / 2;
    for (int y = std::max(0, y0); y < std::min(f->height, y0 + side); ++y) {
        uint8_t* row = f->data[0] + y * f->linesize[0];
        for (int x = std::max(0, x0); x < std::min(f->width, x0 + side); ++x)
            row[x] = uint8_t(row[x] < 128 ? row[x] + 40 : row[x] - 40); // a plain figure 40 levels off what it passes
    }
}

} // namespace

void drawStillScene(AVFrame* f, const StillScene& scene, int channel, int index, int fps)
{
    drawBackground(f, channel);
    for (const ObjectPass& o : scene.objects) {
        const auto [first, last] = passFrames(o, fps);
        if (o.channel == channel && index >= first && index <= last)
            drawObject(f, o, index, fps);
    }
    if (scene.sensorNoise > 0)
        addSensorNoise(f, scene.sensorNoise, channel, index);
}

bool writeMotionTruth(const std::string& path, const StillScene& scene, uint32_t startMs, int fps, int frameCount,
                      std::string& error)
{
    FILE* out = std::fopen(path.c_str(), "w");
    if (!out) {
        error = "cannot create " + path;
        return false;
    }
    std::fprintf(out, "# channel first_ms last_ms size_percent: frames with an object crossing the picture\n");
    for (const ObjectPass& o : scene.objects) {
        auto [first, last] = passFrames(o, fps);
        last = std::min(last, frameCount - 1);
        if (first > last)
            continue;
        auto ms = [&](int i) { return unsigned(startMs + uint32_t(std::llround(i * 1000.0 / fps))); };
        std::fprintf(out, "%d %u %u %d\n", o.channel, ms(first), ms(last), o.sizePercent);
    }
    const bool ok = std::fclose(out) == 0;
    if (!ok)
        error = "cannot write " + path;
    return ok;
}

} // namespace krvsynth
