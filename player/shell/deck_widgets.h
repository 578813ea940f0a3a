// The main window's controls as the channel deck sees them (boxes 1021-1025, trackbars 1029
// and 1034, labels 1027 and 1028, panes 1011-1015 with labels 1006-1009, the mute button).
#pragma once

#include <QString>

#include "view/deck_controls.h"

namespace vedra {

class CVedraPlayerDlg;

// How the time labels show seconds: "%.*g" with six significant digits.
QString TimeLabelText(float seconds);
// How the speed shows beside them: "1x", "16x", "1/8x".
QString SpeedText(double rate);

class DeckWidgets : public IDeckControls {
public:
    explicit DeckWidgets(CVedraPlayerDlg& dialog) : dialog_(dialog) {}

    bool IsBoxChecked(int box) const override;
    void SetBoxChecked(int box, bool checked) override;
    void SetBoxEnabled(int box, bool enabled) override;
    int ProgressPosition() const override;
    void SetProgressPosition(int position) override;
    bool IsProgressDragged() const override;
    int VolumePosition() const override;
    void SetVolumePosition(int position) override;
    void ShowTimes(float current, float total) override;
    void ShowSpeed(double rate) override;
    void ShowMarks(int in, int out) override;
    CVideoPane* Pane(int pane) const override;
    void SetPaneShown(int pane, bool shown) override;
    void SetPaneLabelsShown(bool shown) override;
    void ShowSoundOn() override;
    void Repaint() override;

private:
    static int BoxId(int box);
    CVedraPlayerDlg& dialog_;
};

} // namespace vedra
