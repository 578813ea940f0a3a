// The seven Turnbox modes and what each does to the picture's axes.
#pragma once

namespace turnbox {

enum RotationMode : int {
    kNoRotation = 0,
    kClockwise90 = 1,
    kClockwise180 = 2,
    kClockwise270 = 3,
    kFlipVertical = 4,
    kFlipHorizontal = 5,
    kFlipDiagonal = 6,
};

inline constexpr int kModeCount = 7;

// Texts of the mode choices, in mode order.
inline constexpr const char* kModeLabels[kModeCount] = {
    "No rotation",
    "90 Deg Clockwise",
    "180 Deg Clockwise",
    "270 Deg Clockwise",
    "Flip Vertical (Upside down)",
    "Flip Horizontal (Mirror)",
    "Flip Diagonally",
};

// Where source pixel (x, y) of a W x H picture lands on screen (x to the
// right, y downward). Without swapsAxes it lands at (mirrorX ? W-1-x : x,
// mirrorY ? H-1-y : y); with swapsAxes the output is H x W and the pixel
// lands at (mirrorX ? H-1-y : y, mirrorY ? W-1-x : x).
struct ModeMapping {
    bool swapsAxes;
    bool mirrorX;
    bool mirrorY;
};

inline constexpr ModeMapping kModeMappings[kModeCount] = {
    {false, false, false}, // no rotation
    {true, true, false},   // quarter turn clockwise: (H-1-y, x)
    {false, true, true},   // half turn: (W-1-x, H-1-y)
    {true, false, true},   // quarter turn counter-clockwise: (y, W-1-x)
    {false, false, true},  // upside down: (x, H-1-y)
    {false, true, false},  // mirror: (W-1-x, y)
    {true, false, false},  // transpose about the main diagonal: (y, x)
};

constexpr bool IsRotationMode(int mode)
{
    return mode >= 0 && mode < kModeCount;
}

struct FrameSize {
    int width;
    int height;
    friend constexpr bool operator==(FrameSize, FrameSize) = default;
};

// Output size for an input of the given size; callers pass a valid mode.
constexpr FrameSize OutputSize(int mode, FrameSize in)
{
    return kModeMappings[mode].swapsAxes ? FrameSize{in.height, in.width} : in;
}

} // namespace turnbox
