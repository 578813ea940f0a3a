#include "dialog_template.h"

#include "resource_ids.h"

namespace vedra {
namespace {

using K = ControlKind;

// In template order: later controls lie above earlier ones.
constexpr ControlTemplate kTemplate[] = {
    {1011, K::kPane, "", 12, 6, 219, 150, true, true},
    {1012, K::kPane, "", 231, 6, 219, 150, true, true},
    {1013, K::kPane, "", 12, 156, 219, 150, true, true},
    {1014, K::kPane, "", 231, 156, 219, 150, true, true},
    {1015, K::kPaneSunken, "", 12, 6, 438, 300, true, true},
    {1006, K::kLabel, "1", 2, 12, 8, 8, true, true},
    {1007, K::kLabel, "2", 452, 12, 8, 8, true, true},
    {1008, K::kLabel, "3", 2, 162, 8, 8, true, true},
    {1009, K::kLabel, "4", 452, 162, 8, 8, true, true},
    {1029, K::kTrackbar, "", 5, 316, 348, 15, true, true},
    {1027, K::kLabelCentred, "0.0", 355, 320, 37, 8, true, true},
    {1018, K::kLabel, "/", 395, 320, 8, 8, true, true},
    {1028, K::kLabelCentred, "0.0", 406, 320, 36, 8, true, true},
    {1010, K::kLabel, "s", 444, 320, 9, 8, true, true},
    {0, K::kGroupBox, "Control", 19, 331, 178, 34, true, true},
    {1016, K::kIconButton, "Play", 26, 341, 31, 20, true, true},
    {1017, K::kIconButton, "Pause", 59, 341, 31, 20, true, true},
    {1020, K::kIconButton, "Stop", 92, 341, 30, 20, true, true},
    {1030, K::kIconButton, "Pre", 132, 341, 30, 20, true, true},
    {1026, K::kIconButton, "Next", 163, 341, 30, 20, true, true},
    {1003, K::kGroupBox, "Tool", 19, 356, 111, 31, true, true},
    {1035, K::kButton, "BMP", 26, 365, 31, 19, true, true},
    {1036, K::kIconButton, "JPG", 59, 365, 31, 19, true, true},
    {1031, K::kButton, "Avi", 92, 365, 31, 19, true, true},
    {0, K::kGroupBox, "Setting", 202, 331, 46, 33, true, true},
    {1000, K::kButton, "Load", 210, 341, 29, 19, true, true},
    {1001, K::kButton, "Replay", 210, 360, 29, 19, false, true},
    {0, K::kGroupBox, "Channel", 258, 331, 139, 33, true, true},
    {1025, K::kCheckBox, "Audio", 268, 345, 30, 10, true, false},
    {1021, K::kCheckBox, "1", 303, 345, 16, 10, true, false},
    {1022, K::kCheckBox, "2", 325, 345, 16, 10, true, false},
    {1023, K::kCheckBox, "3", 348, 345, 16, 10, true, false},
    {1024, K::kCheckBox, "4", 371, 345, 16, 10, true, false},
    {0, K::kGroupBox, "Audio Control", 258, 354, 140, 30, false, true},
    {1034, K::kTrackbar, "", 259, 365, 104, 15, false, true},
    {1002, K::kIconButton, "Button", 366, 365, 28, 15, false, true},
    {1032, K::kBitmapButton, "1", 412, 337, 25, 20, false, true},
    {0, K::kGroupBox, "", 408, 332, 31, 26, false, true},
};

constexpr ToolTipText kToolTips[] = {
    {1016, "Play Video File"},    {1017, "Pause Video File"},  {1020, "Stop Video File"},
    {1035, "Snap Video File"},    {1031, "Video File To Avi"}, {1034, "Audio Volume Control"},
    {1029, "Video Progress Bar"}, {1026, "Next Video File"},   {1030, "Previous Video File"},
    {1032, "Play List"},
};

} // namespace

std::span<const ControlTemplate> DialogTemplate()
{
    return kTemplate;
}
std::span<const ToolTipText> DialogToolTips()
{
    return kToolTips;
}

} // namespace vedra
