#include "shell/deck_widgets.h"

#include <QCheckBox>
#include <QLabel>
#include <QSlider>

#include <cmath>

#include "resources/resource_ids.h"
#include "shell/VedraPlayerDlg.h"
#include "shell/marked_slider.h"
#include "view/video_pane.h"

namespace vedra {

QString TimeLabelText(float seconds)
{
    return QString::asprintf("%.*g", 6, static_cast<double>(seconds));
}

int DeckWidgets::BoxId(int box)
{
    return box == kAudioBox ? IDC_AUDIO : IDC_CHANNEL_1 + box;
}

bool DeckWidgets::IsBoxChecked(int box) const
{
    return dialog_.checkBox(BoxId(box))->isChecked();
}
void DeckWidgets::SetBoxChecked(int box, bool checked)
{
    dialog_.checkBox(BoxId(box))->setChecked(checked);
}
void DeckWidgets::SetBoxEnabled(int box, bool enabled)
{
    dialog_.checkBox(BoxId(box))->setEnabled(enabled);
}

// While the user drags, the thumb is ahead of value(); the thumb is what the user sees.
int DeckWidgets::ProgressPosition() const
{
    return dialog_.trackbar(IDC_PROGRESS)->sliderPosition();
}
void DeckWidgets::SetProgressPosition(int position)
{
    QSlider* slider = dialog_.trackbar(IDC_PROGRESS);
    // The user's thumb wins while it is held.
    if (slider->isSliderDown())
        return;
    slider->setValue(position);
    slider->setSliderPosition(position);
}
bool DeckWidgets::IsProgressDragged() const
{
    return dialog_.trackbar(IDC_PROGRESS)->isSliderDown();
}
int DeckWidgets::VolumePosition() const
{
    return dialog_.trackbar(IDC_VOLUME)->sliderPosition();
}
void DeckWidgets::SetVolumePosition(int position)
{
    QSlider* slider = dialog_.trackbar(IDC_VOLUME);
    slider->setValue(position);
    slider->setSliderPosition(position);
}

void DeckWidgets::ShowTimes(float current, float total)
{
    static_cast<QLabel*>(dialog_.control(IDC_CURRENT_TIME))->setText(TimeLabelText(current));
    static_cast<QLabel*>(dialog_.control(IDC_TOTAL_TIME))->setText(TimeLabelText(total));
}

// "1x", "2x", "1/8x".
QString SpeedText(double rate)
{
    if (rate >= 1.0)
        return QString::number(rate, 'g', 3) + 'x';
    return QStringLiteral("1/%1x").arg(std::lround(1.0 / rate));
}

void DeckWidgets::ShowSpeed(double rate)
{
    if (auto* label = dialog_.findChild<QLabel*>(QStringLiteral("speed")))
        label->setText(SpeedText(rate));
}

void DeckWidgets::ShowMarks(int in, int out)
{
    if (auto* slider = qobject_cast<MarkedSlider*>(dialog_.trackbar(IDC_PROGRESS)))
        slider->SetMarks(in, out);
}

CVideoPane* DeckWidgets::Pane(int pane) const
{
    return dialog_.pane(IDC_PANE_1 + pane);
}
void DeckWidgets::SetPaneShown(int pane, bool shown)
{
    dialog_.control(IDC_PANE_1 + pane)->setVisible(shown);
}
void DeckWidgets::SetPaneLabelsShown(bool shown)
{
    dialog_.SetPaneLabelsWanted(shown);
}
void DeckWidgets::ShowSoundOn()
{
    dialog_.SetButtonIcon(IDC_MUTE, IDI_SOUND_ON);
}
void DeckWidgets::Repaint()
{
    dialog_.show();
    dialog_.update();
}

} // namespace vedra
