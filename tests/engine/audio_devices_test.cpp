// Audio outputs: the name filter, enumeration without devices, the device command.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "audio_devices.h"
#include "cdxgraph.h"
#include "engine_fixture.h"
#include "engine_init.h"

namespace vedra::test {
namespace {

using namespace std::chrono_literals;

TEST(AudioDevices, NameFilterOnUpperCasedNames)
{
    struct Row {
        const char* name;
        bool listed;
    };
    const Row rows[] = {
        {"Default DirectSound Device", false},
        {"DirectSound: Speakers", false},
        {"Speakers", true},
        {"default waveout device", false},
        {"direct output", false},
        {"USB Headset (DEFAULT)", true},
        {"Built-in Audio Analog Stereo", true},
        {"", true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(IsListedAudioDeviceName(row.name), row.listed) << row.name;
}

TEST(AudioDevices, EnumerationNeverCrashesAndKeepsNames)
{
    std::vector<AudioDevice> devices;
    EXPECT_FALSE(EnumerateAudioDevices(devices));
    for (const AudioDevice& d : devices) {
        EXPECT_TRUE(IsListedAudioDeviceName(d.friendlyName));
        EXPECT_TRUE(d.renderer);
    }
    // Headless machines have no output: the list stays empty and graphs still get a sink.
    if (!HasAnyAudioDevice()) {
        EXPECT_TRUE(devices.empty());
    }
    EXPECT_TRUE(MakeDefaultAudioSink());
}

// The device command on a list holding a stand-in device (a clock-synchronised
// fake sink), as the dialog would call it.
TEST(AudioDevices, DeviceCommandRebuildsAudioPausesChannelsAndAlignsPosition)
{
    TempDir dir;
    SplitRecording rec;
    ASSERT_TRUE(MakeSplitRecording(dir, "--channels 1,2 --size 176x144 --seconds 4", rec));
    ASSERT_TRUE(EngineInit());
    std::vector<AudioDevice> devices;
    for (const char* name : {"Speakers", "Headphones"}) {
        ElementHandle sink = MakeElement("fakesink");
        g_object_set(sink.get(), "sync", TRUE, nullptr);
        devices.push_back({name, sink});
    }
    CDXGraph audio, ch1, ch2;
    for (auto [g, path] :
         {std::pair{&audio, rec.audio()}, std::pair{&ch1, rec.channel(1)}, std::pair{&ch2, rec.channel(2)}}) {
        ASSERT_TRUE(g->Create(nullptr));
        ASSERT_TRUE(g->RenderMediaFile(path, true));
    }
    CDXGraph* slots[4] = {&ch1, &ch2, nullptr, nullptr};
    int32_t selected = 0;

    // Nothing happens for identifiers without a device, or without an audio graph.
    SelectAudioDevice(kFirstAudioDeviceCommand + 5, devices, selected, &audio, slots, nullptr);
    SelectAudioDevice(kFirstAudioDeviceCommand + 1, devices, selected, nullptr, slots, nullptr);
    EXPECT_EQ(selected, 0);

    ch1.SeekTo(1.5);
    ch1.Run();
    ch2.Run();
    audio.Run();
    std::this_thread::sleep_for(300ms);
    SelectAudioDevice(kFirstAudioDeviceCommand + 1, devices, selected, &audio, slots, nullptr);
    EXPECT_EQ(selected, 1);
    EXPECT_TRUE(ch1.IsPaused());
    EXPECT_TRUE(ch2.IsPaused());
    EXPECT_TRUE(audio.IsPaused());
    EXPECT_NEAR(audio.GetPositionSeconds(), ch1.GetPositionSeconds(), 0.05);
    EXPECT_GT(audio.GetPositionSeconds(), 1.5);
    EXPECT_EQ(audio.filePath, rec.audio());

    // The device element survives its graph and serves the next one.
    SelectAudioDevice(kFirstAudioDeviceCommand + 1, devices, selected, &audio, slots, nullptr);
    audio.Run();
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(audio.IsRunning());
    for (CDXGraph* g : {&audio, &ch1, &ch2})
        g->Destroy();
    // Only the list holds the device now.
    ASSERT_TRUE(devices[1].renderer);
    EXPECT_EQ(GST_OBJECT_REFCOUNT_VALUE(devices[1].renderer.get()), 1);
}

} // namespace
} // namespace vedra::test
