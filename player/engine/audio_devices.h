// The machine's audio outputs and moving the audio graph to one of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gst_handles.h"

namespace vedra {

class CDXGraph;

// Menu command identifiers of the devices: entry i is kFirstAudioDeviceCommand + i.
inline constexpr int kFirstAudioDeviceCommand = 1740;
inline constexpr int kLastAudioDeviceCommand = 1750;

struct AudioDevice {
    std::string friendlyName; // label for the Audio Device menu
    ElementHandle renderer;   // the device's sink element, held for the life of the list
};

// False for names that begin with "DEFAULT" or "DIRECT" in any letter case:
// those are aliases of other devices.
bool IsListedAudioDeviceName(const std::string& friendlyName);

// Fills `audioDevices` with one entry per accepted audio output, in the
// monitor's order; stops at the first device that cannot give a sink element.
// Nothing found leaves the list empty. Always returns false (callers ignore it).
bool EnumerateAudioDevices(std::vector<AudioDevice>& audioDevices);

// Whether the machine has any audio output at all; asked once per process.
bool HasAnyAudioDevice();

// The sink of a graph whose user chose no device: the system's default output,
// or with no output at all a fake sink that still keeps the graph in real time.
ElementHandle MakeDefaultAudioSink();

// The device command's engine side: rebuild the audio graph on device
// (id - kFirstAudioDeviceCommand), pause every channel graph and place the audio
// at the position of the graph in channel slot 0. Playback is not resumed.
// `channelSlots` holds the four channel slots (entries may be null).
void SelectAudioDevice(int id, std::vector<AudioDevice>& audioDevices, int32_t& selectedAudioDevice,
                       CDXGraph* audioGraph, CDXGraph* const channelSlots[4], void* owner);

} // namespace vedra
