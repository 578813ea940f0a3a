// The splitter end to end on recordings made by krvsynth, with ffprobe and
// ffmpeg as the judges: every channel file must hold exactly the frames
// krvsynth encoded for its channel, and the audio must decode whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "krv/krv_io.h"
#include "krv/krv_recording.h"
#include "krv/krv_wav.h"
#include "split_fixture.h"

using namespace krvtest;

namespace {

struct SynthRow {
    const char* name;
    const char* args;
    bool avSync;
    std::vector<int> channels;
    int width, height;
    bool audio;
};

void PrintTo(const SynthRow& row, std::ostream* os)
{
    *os << row.name;
}

std::string probe(const std::filesystem::path& file, const std::string& entries)
{
    return run("ffprobe -v error -of default=nw=1 -show_entries " + entries + " " + quote(file.string()) + " 2>&1").out;
}

long audioTotalSamples(const std::filesystem::path& txt)
{
    std::ifstream in(txt);
    std::string key;
    long value = 0;
    while (in >> key >> value) {
        if (key == "samples")
            return value;
        in.ignore(1 << 20, '\n');
    }
    return -1;
}

class SplitterSynth : public ::testing::TestWithParam<SynthRow> {};

// Every file of a folder by name, with its bytes.
std::map<std::string, Bytes> folderFiles(const std::filesystem::path& dir)
{
    std::map<std::string, Bytes> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        files[entry.path().filename().string()] = readFile(entry.path());
    return files;
}

} // namespace

TEST_P(SplitterSynth, ChannelFilesHoldTheEncodedFrames)
{
    const SynthRow& row = GetParam();
    const std::filesystem::path work = freshDir(std::string("synth_") + row.name);
    const std::filesystem::path rec = work / (std::string(row.name) + ".krv");
    const std::filesystem::path dump = work / "dump";
    const std::filesystem::path out = work / "out";
    std::filesystem::create_directories(out);
    CommandResult synth = run(std::string(KRVSYNTH_PATH) + " " + quote(rec.string()) + " " + row.args + " --dump-dir " +
                              quote(dump.string()) + " 2>&1");
    ASSERT_EQ(synth.status, 0) << synth.out;

    ASSERT_EQ(splitPath(rec.string(), out.string(), KrvSplitOptions{row.avSync}), 1);

    for (int ch = 1; ch <= 4; ++ch) {
        SCOPED_TRACE("channel " + std::to_string(ch));
        const std::filesystem::path file =
            out / (row.avSync ? std::string(row.name) + "_Video" + std::to_string(ch) + ".asf"
                              : "Video" + std::to_string(ch) + ".krv");
        ASSERT_TRUE(std::filesystem::exists(file));
        const bool present = std::find(row.channels.begin(), row.channels.end(), ch) != row.channels.end();
        if (!present) {
            EXPECT_EQ(readChannel(file).packets, 0u) << "an absent channel keeps its header only";
            continue;
        }
        const std::string streams = probe(file, "stream=codec_type,codec_name,width,height");
        std::ostringstream expect;
        expect << "codec_name=mpeg4\ncodec_type=video\nwidth=" << row.width << "\nheight=" << row.height << "\n";
        const bool carriesAudio = row.avSync && ch == 1 && row.audio;
        if (!carriesAudio) {
            EXPECT_EQ(streams, expect.str());
        } else {
            EXPECT_EQ(streams.substr(0, expect.str().size()), expect.str());
            EXPECT_NE(streams.find("codec_name=adpcm_ms"), std::string::npos) << streams;
        }

        // Stream copy: the packets are krvsynth's frames byte for byte.
        const auto frames = readSynthFrames(dump / ("ch" + std::to_string(ch) + ".txt"));
        ASSERT_FALSE(frames.empty());
        const auto copied = frameMd5s("-i " + quote(file.string()) + " -map 0:v -c copy");
        ASSERT_EQ(copied.size(), frames.size());
        for (size_t i = 0; i < frames.size(); ++i)
            EXPECT_EQ(copied[i], frames[i].md5) << "frame " << i;

        // Decoded pictures equal those of krvsynth's elementary stream.
        const auto decoded = frameMd5s("-i " + quote(file.string()) + " -map 0:v");
        const auto reference = frameMd5s("-f m4v -i " + quote((dump / ("ch" + std::to_string(ch) + ".m4v")).string()));
        EXPECT_EQ(decoded.size(), frames.size());
        EXPECT_EQ(decoded, reference);
    }

    if (row.audio) {
        const long samples = audioTotalSamples(dump / "audio.txt");
        ASSERT_GT(samples, 0);
        const std::filesystem::path audioFile =
            row.avSync ? out / (std::string(row.name) + "_Video1.asf") : out / "Audio1.wav";
        CommandResult pcm = run("ffmpeg -nostdin -v error -i " + quote(audioFile.string()) +
                                " -map 0:a -f s16le -ac 1 - 2>/dev/null | wc -c");
        // The audio from the first video key frame on: krvsynth's first key
        // frames start with the recording, so every sample is there.
        EXPECT_EQ(std::stol(pcm.out), samples * 2);
    }
    if (!HasFailure())
        std::filesystem::remove_all(work); // kept for a look when something failed
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, SplitterSynth,
    ::testing::Values(
        SynthRow{"four", "--channels 1,2,3,4 --seconds 2", false, {1, 2, 3, 4}, 352, 288, true},
        SynthRow{"fourAvSync", "--channels 1,2,3,4 --seconds 2", true, {1, 2, 3, 4}, 352, 288, true},
        SynthRow{
            "twoAndFourVga", "--channels 2,4 --size 640x480 --seconds 2 --no-audio", false, {2, 4}, 640, 480, false},
        SynthRow{"bigKeyFrames", "--channels 1,3 --big-keyframes --seconds 2", false, {1, 3}, 352, 288, true},
        SynthRow{"lateStartNoSequenceHeader",
                 "--channels 1,2 --late-start 2:3 --no-seq-header --seconds 2",
                 false,
                 {1, 2},
                 352,
                 288,
                 true},
        SynthRow{"prerollAndLateTimes",
                 "--channels 1 --preroll 500 --start-ms 3000 --seconds 2",
                 false,
                 {1},
                 352,
                 288,
                 true}),
    [](const auto& info) { return std::string(info.param.name); });

// Each thread has its own recording and sink: two splits at once, in both
// modes, write the files that one split after the other writes.
TEST(SplitterThreads, TwoAtOnceEqualOneAfterTheOther)
{
    const std::filesystem::path work = freshDir("threads");
    const std::filesystem::path recs[2] = {work / "a.krv", work / "b.krv"};
    const char* args[2] = {"--channels 1,2,3,4 --seconds 3 --big-keyframes",
                           "--channels 2,4 --size 640x480 --seconds 4 --audio-def 3"};
    KrvSplitOptions modes[2];
    modes[1].avSync = true;
    for (int i = 0; i < 2; ++i) {
        const CommandResult synth =
            run(std::string(KRVSYNTH_PATH) + " " + quote(recs[i].string()) + " " + args[i] + " 2>&1");
        ASSERT_EQ(synth.status, 0) << synth.out;
        ASSERT_EQ(splitPath(recs[i].string(), (work / "oneByOne" / recs[i].stem()).string(), modes[i]), 1);
    }
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::filesystem::path atOnce = work / ("atOnce" + std::to_string(round));
        int results[2] = {};
        std::string logs[2];
        std::thread threads[2];
        for (int i = 0; i < 2; ++i) {
            threads[i] = std::thread([&, i] {
                KrvMessageSink sink;
                sink.log = [&logs, i](std::string_view line) { logs[i].append(line); };
                KrvSplitOptions options = modes[i];
                options.sink = &sink;
                results[i] = splitPath(recs[i].string(), (atOnce / recs[i].stem()).string(), options);
            });
        }
        for (std::thread& t : threads)
            t.join();
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(results[i], 1);
            EXPECT_EQ(logs[i], "");
            const auto expected = folderFiles(work / "oneByOne" / recs[i].stem());
            const auto got = folderFiles(atOnce / recs[i].stem());
            EXPECT_EQ(expected.size(), i == 0 ? 5u : 4u);
            ASSERT_EQ(got.size(), expected.size());
            for (const auto& [name, bytes] : expected)
                EXPECT_TRUE(got.count(name) && got.at(name) == bytes) << name;
        }
    }
    if (!HasFailure())
        std::filesystem::remove_all(work);
}

// What the split says it wrote is what lies in its folder: every file, in
// channel order, with its packets or samples and its place on the timeline.
class SplitterWritten : public ::testing::TestWithParam<bool> {};

TEST_P(SplitterWritten, ListEqualsTheFolder)
{
    const bool avSync = GetParam();
    // Channels 2 and 4 only, the audio defined on channel 2, channel 4 starting late.
    const SynthRecording s = synthesizeWithDump(avSync ? "writtenAvSync" : "writtenNormal",
                                                "--channels 2,4 --seconds 2 --audio-def 1 --late-start 4:3");
    ASSERT_EQ(s.synth.status, 0) << s.synth.out;
    const std::filesystem::path out = s.work / "out";
    KrvFilePtr recording;
    ASSERT_EQ(krv_open_recording(s.path.string(), recording), 1);
    std::filesystem::create_directories(out);
    KrvSplitFiles written;
    ASSERT_EQ(krv_split(recording.get(), out.string(), KrvSplitOptions{avSync}, nullptr, &written), 1);

    EXPECT_EQ(written.folder, out.string());
    EXPECT_EQ(written.avSync, avSync);
    std::vector<std::string> listed, onDisk;
    std::vector<size_t> outputs;
    for (const KrvSplitFile& file : written.files) {
        listed.push_back(file.path);
        outputs.push_back(file.output);
    }
    for (const auto& entry : std::filesystem::directory_iterator(out))
        onDisk.push_back(entry.path().string());
    std::sort(onDisk.begin(), onDisk.end());
    EXPECT_EQ(listed, onDisk);
    const std::vector<size_t> channelOrder =
        avSync ? std::vector<size_t>{1, 2, 3, 4} : std::vector<size_t>{0, 1, 2, 3, 4};
    EXPECT_EQ(outputs, channelOrder);

    const SynthAudio audio = readSynthAudio(s.dump / "audio.txt");
    ASSERT_FALSE(audio.objects.empty());
    EXPECT_EQ(written.startMs, uint32_t(audio.objects[0].ms)) << "the first media of the recording";
    for (const KrvSplitFile& file : written.files) {
        SCOPED_TRACE(file.path);
        const int64_t fileZero = int64_t(written.startMs) + file.offsetMs;
        if (file.output == 0) {
            const Bytes wav = readFile(file.path);
            ASSERT_GE(wav.size(), kWavHeaderSize);
            EXPECT_EQ(file.count, uint64_t(audio.values.at("samples")));
            EXPECT_EQ(file.count, krv_u32(wav.data() + kWavSampleCountOffset));
            EXPECT_EQ(file.dataBytes, wav.size() - kWavHeaderSize);
            EXPECT_EQ(fileZero, audio.objects[0].ms);
            continue;
        }
        const Channel channel = readChannel(file.path);
        EXPECT_EQ(file.count, channel.packets);
        EXPECT_EQ(file.dataBytes, channel.packets * kPacketSize);
        EXPECT_EQ(file.carriesAudio, avSync && file.output == 2);
        const auto frames = s.dump / ("ch" + std::to_string(file.output) + ".txt");
        if (file.output % 2 == 1) {
            EXPECT_EQ(file.count, 0u) << "a channel the recording lacks keeps its header only";
            continue;
        }
        const std::vector<SynthFrame> expected = readSynthFrames(frames);
        const auto first = std::find_if(channel.objects.begin(), channel.objects.end(),
                                        [](const ChannelObject& o) { return o.stream != 1; });
        ASSERT_FALSE(expected.empty());
        ASSERT_NE(first, channel.objects.end());
        EXPECT_EQ(fileZero + first->time, expected[0].ms) << "its first frame at its time in the recording";
    }
    if (!HasFailure())
        std::filesystem::remove_all(s.work);
}

INSTANTIATE_TEST_SUITE_P(Modes, SplitterWritten, ::testing::Bool(),
                         [](const auto& info) { return info.param ? std::string("avSync") : std::string("normal"); });
