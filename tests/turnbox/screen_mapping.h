// The on-screen mapping of each mode written out plainly, the reference the
// kernel and the element are checked against.
#pragma once

namespace turnbox_test {

struct Point {
    int x;
    int y;
};

// Where source pixel (x, y) of a w x h picture shows on screen in `mode`.
Point ScreenMapping(int mode, int x, int y, int w, int h);

} // namespace turnbox_test
