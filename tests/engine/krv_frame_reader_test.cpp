// Whole frames out of channel files, against what krvsynth says the channel holds.
#include <gtest/gtest.h>

#include <QCryptographicHash>

#include <fstream>
#include <iterator>
#include <sstream>

#include "engine_fixture.h"
#include "krv_frame_reader.h"

namespace vedra::test {
namespace {

struct DumpFrame {
    uint32_t ms;
    bool key;
    size_t size;
    std::string md5;
};

std::vector<DumpFrame> ReadDump(const std::string& path)
{
    std::vector<DumpFrame> frames;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        int index, key;
        DumpFrame d{};
        if (f >> index >> d.ms >> key >> d.size >> d.md5) {
            d.key = key != 0;
            frames.push_back(d);
        }
    }
    return frames;
}

std::string Md5(const std::vector<uint8_t>& data)
{
    return QCryptographicHash::hash(QByteArrayView(data.data(), static_cast<qsizetype>(data.size())),
                                    QCryptographicHash::Md5)
        .toHex()
        .toStdString();
}

TEST(KrvFrameReader, DeliversEveryFrameWholeWithItsTimeAndKeyFlag)
{
    struct Row {
        const char* name;
        const char* options;
        int channel;
    };
    const Row rows[] = {
        {"plain", "--channels 1,2 --seconds 3", 2},
        {"key frames over three packets", "--channels 1 --size 640x480 --seconds 2 --big-keyframes", 1},
        {"channel starting without a key frame", "--channels 1,3 --seconds 3 --late-start 3:4", 3},
        {"no sequence header in the recording", "--channels 4 --seconds 2 --no-seq-header", 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        SplitRecording rec;
        const std::string dump = dir.file("dump");
        ASSERT_TRUE(MakeSplitRecording(dir, std::string(row.options) + " --dump-dir '" + dump + "'", rec));
        const auto want = ReadDump(dump + "/ch" + std::to_string(row.channel) + ".txt");
        ASSERT_FALSE(want.empty());

        KrvFrameReader reader;
        ASSERT_EQ(reader.Open(rec.channel(row.channel)), 1);
        std::vector<KrvFrame> got;
        KrvFrame frame;
        int r;
        while ((r = reader.Next(frame)) > 0)
            got.push_back(frame);
        EXPECT_EQ(r, 0);
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < got.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(got[i].keyFrame, want[i].key);
            EXPECT_EQ(got[i].data.size(), want[i].size);
            EXPECT_EQ(Md5(got[i].data), want[i].md5);
            // The channel file keeps the gaps between frames (its times may be rebased).
            EXPECT_EQ(got[i].ptsMs - got[0].ptsMs, want[i].ms - want[0].ms);
        }
    }
}

TEST(KrvFrameReader, SeekLandsOnTheKeyFrameAtOrBefore)
{
    struct Row {
        const char* name;
        const char* options;
    };
    const Row rows[] = {
        {"key frames over three packets", "--channels 1 --seconds 4 --gop 10 --fps 10 --big-keyframes"},
        {"several key frames in one packet", "--channels 1 --seconds 8 --gop 5 --fps 5 --size 160x128"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        SplitRecording rec;
        ASSERT_TRUE(MakeSplitRecording(dir, row.options, rec));
        KrvFrameReader reader;
        ASSERT_EQ(reader.Open(rec.channel(1)), 1);
        std::vector<KrvFrame> all;
        KrvFrame frame;
        while (reader.Next(frame) > 0)
            all.push_back(frame);
        ASSERT_GT(all.size(), 30u);
        const uint32_t first = all.front().ptsMs;

        for (uint32_t t :
             {first + 2550, first + 1000, first + 999, first, first + 3950, first + 5000, 0u, first + 100000}) {
            SCOPED_TRACE(t);
            ASSERT_EQ(reader.SeekToKeyFrame(t), 1);
            ASSERT_EQ(reader.Next(frame), 1);
            EXPECT_TRUE(frame.keyFrame);
            // The last key frame at or before t (the first one when t is earlier).
            uint32_t want = all.front().ptsMs;
            for (const KrvFrame& f : all)
                if (f.keyFrame && f.ptsMs <= t)
                    want = f.ptsMs;
            EXPECT_EQ(frame.ptsMs, want);
            // Reading goes on in order from there.
            KrvFrame next;
            ASSERT_EQ(reader.Next(next), want == all.back().ptsMs ? 0 : 1);
        }
    }
}

TEST(KrvFrameReader, RefusesWhatIsNoChannelFile)
{
    TempDir dir;
    SplitRecording rec;
    ASSERT_TRUE(MakeSplitRecording(dir, "--channels 1 --seconds 1", rec));
    KrvFrameReader reader;
    EXPECT_LT(reader.Open(dir.file("missing.krv")), 0);
    EXPECT_LT(reader.Open(rec.audio()), 0);
    KrvFrame frame;
    EXPECT_LT(reader.Next(frame), 0);
    // A channel file cut inside a packet ends in an error, never a crash.
    const std::string cut = dir.file("cut.krv");
    std::filesystem::copy_file(rec.channel(1), cut);
    std::filesystem::resize_file(cut, std::filesystem::file_size(cut) - 1000);
    if (reader.Open(cut) == 1) {
        int r;
        while ((r = reader.Next(frame)) > 0) {
        }
        EXPECT_LT(r, 0);
    }
}

} // namespace
} // namespace vedra::test

namespace vedra::test {
namespace {

// Random damage anywhere in a channel file: every read stays inside its buffers
// (run under the sanitizers) and every call returns.
TEST(KrvFrameReader, RandomDamageIsSurvived)
{
    TempDir dir;
    SplitRecording rec;
    ASSERT_TRUE(MakeSplitRecording(dir, "--channels 2 --size 176x144 --seconds 2 --big-keyframes", rec));
    std::ifstream in(rec.channel(2), std::ios::binary);
    const std::vector<char> original{std::istreambuf_iterator<char>(in), {}};
    ASSERT_GT(original.size(), 1000u);
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    const std::string path = dir.file("damaged.krv");
    int opened = 0;
    for (int round = 0; round < 300; ++round) {
        std::vector<char> bytes = original;
        const int hits = 1 + static_cast<int>(next() % 40);
        for (int h = 0; h < hits; ++h)
            bytes[next() % bytes.size()] = static_cast<char>(next());
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        KrvFrameReader reader;
        if (reader.Open(path) != 1)
            continue;
        ++opened;
        KrvFrame frame;
        int frames = 0;
        while (reader.Next(frame) > 0 && frames < 10000)
            ++frames;
        reader.SeekToKeyFrame(next() % 3000);
        while (reader.Next(frame) > 0 && frames < 20000)
            ++frames;
        EXPECT_LT(frames, 20000);
    }
    EXPECT_GT(opened, 100); // most damage lies in the packets, past the header
}

} // namespace
} // namespace vedra::test
