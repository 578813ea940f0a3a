#include "screen_mapping.h"

#include <gtest/gtest.h>

namespace turnbox_test {

Point ScreenMapping(int mode, int x, int y, int w, int h)
{
    switch (mode) {
    case 0: return {x, y};
    case 1: return {h - 1 - y, x};         // quarter turn clockwise
    case 2: return {w - 1 - x, h - 1 - y}; // half turn
    case 3: return {y, w - 1 - x};         // quarter turn counter-clockwise
    case 4: return {x, h - 1 - y};         // upside down
    case 5: return {w - 1 - x, y};         // mirror
    case 6: return {y, x};                 // transposition
    }
    ADD_FAILURE() << "no mode " << mode;
    return {-1, -1};
}

} // namespace turnbox_test
