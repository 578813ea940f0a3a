// Template 130: every control of the main window with its id, kind, text, place in dialog
// units and initial state. The dialog builds itself from this table.
#pragma once

#include <span>

namespace vedra {

enum class ControlKind {
    kPane,       // static video pane, black, bordered
    kPaneSunken, // the single large pane
    kLabel,
    kLabelCentred,
    kTrackbar,
    kGroupBox,
    kIconButton,  // shows its icon only
    kButton,      // shows text (and an icon when one is set)
    kCheckBox,    // auto check box
    kBitmapButton // owner-drawn play-list button
};

struct ControlTemplate {
    int id; // 0: a group box without id
    ControlKind kind;
    const char* text;
    int x, y, width, height; // dialog units
    bool visible;            // as in the template (OnInitDialog hides a few more)
    bool enabled;
};

// Dialog size in dialog units and the conversion to pixels ("MS Shell Dlg" 8 at 96 dpi).
inline constexpr int kDialogWidthDu = 466;
inline constexpr int kDialogHeightDu = 394;
inline constexpr double kPixelsPerDuX = 1.5;
inline constexpr double kPixelsPerDuY = 1.625;

inline int DuToPixelsX(int du)
{
    return static_cast<int>(du * kPixelsPerDuX + 0.5);
}
inline int DuToPixelsY(int du)
{
    return static_cast<int>(du * kPixelsPerDuY + 0.5);
}

std::span<const ControlTemplate> DialogTemplate();

// The ten tooltips: control id and text.
struct ToolTipText {
    int id;
    const char* text;
};
std::span<const ToolTipText> DialogToolTips();

} // namespace vedra
