// Where the main window goes when it is first shown: centred on the primary
// screen, but never further left or up than the desktop. Pure logic, no Qt;
// used on the window thread.
#pragma once

namespace hg {

struct Rect {
    int x, y, w, h;
};
struct Point {
    int x, y;
};

// Top-left corner for a window of outer size w x h, centred on `screen`,
// its left and top edges kept at or right of / below the desktop's.
Point CenteredPlacement(Rect screen, Point desktopTopLeft, int w, int h);

} // namespace hg
