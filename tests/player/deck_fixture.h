// The channel deck without a window: controls kept as plain values, panes that are never shown,
// and a recording of scripted graphs for the channels a mask names.
#pragma once

#include <array>
#include <memory>

#include "fake_graph.h"
#include "view/channel_deck.h"
#include "view/video_pane.h"

namespace vedra::test {

class FakeDeckControls : public IDeckControls {
public:
    FakeDeckControls()
    {
        for (auto& pane : panes)
            pane = std::make_unique<CVideoPane>(CVideoPane::Style::kBordered, nullptr);
    }

    bool IsBoxChecked(int box) const override { return checked[box]; }
    void SetBoxChecked(int box, bool on) override { checked[box] = on; }
    void SetBoxEnabled(int box, bool on) override { enabled[box] = on; }
    int ProgressPosition() const override { return progress; }
    void SetProgressPosition(int p) override { progress = p; }
    bool IsProgressDragged() const override { return dragged; }
    int VolumePosition() const override { return volume; }
    void SetVolumePosition(int p) override { volume = p; }
    void ShowTimes(float current, float total) override
    {
        shownCurrent = current;
        shownTotal = total;
    }
    void ShowSpeed(double rate) override { shownSpeed = rate; }
    void ShowMarks(int in, int out) override { marks = {in, out}; }
    CVideoPane* Pane(int pane) const override { return panes[pane].get(); }
    void SetPaneShown(int pane, bool on) override { shown[pane] = on; }
    void SetPaneLabelsShown(bool on) override { labels = on; }
    void ShowSoundOn() override {}
    void Repaint() override {}

    // The user ticking or unticking box i: the box toggles, then the deck hears of it.
    void Click(ChannelDeck& deck, int box)
    {
        checked[box] = !checked[box];
        deck.OnChannelBox(box);
    }

    std::array<bool, 5> checked{};
    std::array<bool, 5> enabled{};
    std::array<bool, 5> shown{};
    bool labels = false;
    int progress = 0;
    bool dragged = false;
    int volume = 0;
    float shownCurrent = -1;
    float shownTotal = -1;
    double shownSpeed = 1;
    std::pair<int, int> marks{-1, -1};
    std::array<std::unique_ptr<CVideoPane>, 5> panes;
};

// A recording whose present channels (bits of mask) last durations[i] seconds, with audio when
// asked, shown by a deck on fake controls.
struct DeckFixture {
    explicit DeckFixture(uint8_t mask, std::array<double, 4> durations = {10, 10, 10, 10}, bool audio = true,
                         int audioChannel = 4)
    {
        for (int i = 0; i < 4; ++i) {
            if ((mask & (1u << i)) == 0)
                continue;
            const std::string name = "Video" + std::to_string(i + 1) + ".krv";
            world.files[name] = {true, durations[i], 0};
            recording.channelGraphs.push_back(MakeGraph(name));
        }
        if (audio) {
            world.files["Audio1.wav"] = {true, 10, 0};
            recording.audioGraph = MakeGraph("Audio1.wav");
        }
        recording.channelMask = mask;
        recording.visibleCount = static_cast<int>(recording.channelGraphs.size());
        recording.audioChannel = audioChannel;
    }

    std::unique_ptr<PlaybackGraph> MakeGraph(const std::string& name)
    {
        auto graph = std::make_unique<FakeGraph>(&world);
        graph->RenderMediaFile("/work/" + name, true);
        return graph;
    }
    FakeGraph* Channel(int k) const { return Fake(recording.channelGraphs[k].get()); }
    FakeGraph* Audio() const { return Fake(recording.audioGraph.get()); }

    FakeWorld world;
    Recording recording;
    FakeDeckControls controls;
    ChannelDeck deck{controls, nullptr};
};

} // namespace vedra::test
