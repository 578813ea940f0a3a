// The widgets the channel deck drives, as the deck sees them: the channel and Audio boxes,
// the two trackbars, the time labels and the panes. The window implements it over its
// controls; tests implement it without a window.
#pragma once

namespace vedra {

class CVideoPane;

class IDeckControls {
public:
    static constexpr int kAudioBox = 4;  // boxes 0..3 are channels 1..4
    static constexpr int kLargePane = 4; // panes 0..3 are the quad panes
    static constexpr int kProgressRange = 1000;
    static constexpr int kVolumeRange = 10000;

    virtual ~IDeckControls() = default;

    virtual bool IsBoxChecked(int box) const = 0;
    virtual void SetBoxChecked(int box, bool checked) = 0;
    virtual void SetBoxEnabled(int box, bool enabled) = 0;

    // The progress thumb as the user sees it (ahead of the value while dragged), 0..1000.
    virtual int ProgressPosition() const = 0;
    virtual void SetProgressPosition(int position) = 0;
    virtual bool IsProgressDragged() const = 0;
    virtual int VolumePosition() const = 0;
    virtual void SetVolumePosition(int position) = 0;

    // The current and total time labels.
    virtual void ShowTimes(float current, float total) = 0;
    // The playback speed beside them (1 normal).
    virtual void ShowSpeed(double rate) = 0;
    // The in and out marks on the progress trackbar, as its positions; -1: unset.
    virtual void ShowMarks(int in, int out) = 0;

    virtual CVideoPane* Pane(int pane) const = 0;
    virtual void SetPaneShown(int pane, bool shown) = 0;
    // The labels "1" to "4" beside the quad panes.
    virtual void SetPaneLabelsShown(bool shown) = 0;
    // The mute button's image back to "sound on".
    virtual void ShowSoundOn() = 0;
    // Shows the window and repaints it with its background.
    virtual void Repaint() = 0;
};

} // namespace vedra
