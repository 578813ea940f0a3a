#include "audio_devices.h"

#include <cctype>
#include <mutex>

#include "cdxgraph.h"
#include "engine_init.h"

namespace vedra {
namespace {

std::string Upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

template <typename F>
void ForEachAudioSinkDevice(F&& visit)
{
    if (!EngineInit())
        return;
    DeviceMonitorHandle monitor = DeviceMonitorHandle::Adopt(gst_device_monitor_new());
    if (!monitor)
        return;
    gst_device_monitor_add_filter(monitor.get(), "Audio/Sink", nullptr);
    if (!gst_device_monitor_start(monitor.get()))
        return;
    GList* devices = gst_device_monitor_get_devices(monitor.get());
    bool more = true;
    for (GList* l = devices; l && more; l = l->next)
        more = visit(GST_DEVICE(l->data));
    g_list_free_full(devices, gst_object_unref);
    gst_device_monitor_stop(monitor.get());
}

} // namespace

bool IsListedAudioDeviceName(const std::string& friendlyName)
{
    const std::string name = Upper(friendlyName);
    return name.rfind("DEFAULT", 0) != 0 && name.rfind("DIRECT", 0) != 0;
}

bool EnumerateAudioDevices(std::vector<AudioDevice>& audioDevices)
{
    ForEachAudioSinkDevice([&](GstDevice* device) {
        GCharHandle name(gst_device_get_display_name(device));
        if (!IsListedAudioDeviceName(name.get()))
            return true;
        GstElement* sink = gst_device_create_element(device, nullptr);
        if (!sink)
            return false; // the devices after it are not looked at
        audioDevices.push_back({name.get(), ElementHandle::Adopt(GST_ELEMENT(gst_object_ref_sink(sink)))});
        return true;
    });
    return false;
}

bool HasAnyAudioDevice()
{
    static std::once_flag once;
    static bool any = false;
    std::call_once(once, [] {
        ForEachAudioSinkDevice([](GstDevice*) {
            any = true;
            return false;
        });
    });
    return any;
}

ElementHandle MakeDefaultAudioSink()
{
    if (HasAnyAudioDevice())
        return MakeElement("autoaudiosink");
    ElementHandle sink = MakeElement("fakesink");
    if (sink)
        g_object_set(sink.get(), "sync", TRUE, nullptr);
    return sink;
}

void SelectAudioDevice(int id, std::vector<AudioDevice>& audioDevices, int32_t& selectedAudioDevice,
                       CDXGraph* audioGraph, CDXGraph* const channelSlots[4], void* owner)
{
    if (!audioGraph)
        return;
    const int i = id - kFirstAudioDeviceCommand;
    if (i < 0 || static_cast<size_t>(i) >= audioDevices.size())
        return;
    GstElement* renderer = audioDevices[static_cast<size_t>(i)].renderer.get();
    selectedAudioDevice = i;

    audioGraph->Destroy();
    if (!audioGraph->Create(owner))
        return;
    audioGraph->audioRenderer = renderer;
    audioGraph->RenderMediaFile(audioGraph->filePath, true);

    for (int k = 0; k < 4; ++k) {
        CDXGraph* g = channelSlots[k];
        if (g && !g->IsPaused())
            g->Pause();
    }
    if (!audioGraph->IsPaused())
        audioGraph->Pause();
    const double position = channelSlots[0] ? channelSlots[0]->GetPositionSeconds() : 0.0;
    audioGraph->SeekTo(position);
}

} // namespace vedra
