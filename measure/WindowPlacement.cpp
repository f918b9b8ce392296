// First placement of the main window (see WindowPlacement.h). Pure logic.
#include "WindowPlacement.h"

#include <algorithm>

namespace hg {

Point CenteredPlacement(Rect screen, Point desktopTopLeft, int w, int h)
{
    // Halves cut toward zero; a window larger than the screen starts left of
    // or above it, which the desktop clamp then pulls back.
    const long long x = screen.x + (static_cast<long long>(screen.w) - w) / 2;
    const long long y = screen.y + (static_cast<long long>(screen.h) - h) / 2;
    return {static_cast<int>(std::max<long long>(x, desktopTopLeft.x)),
            static_cast<int>(std::max<long long>(y, desktopTopLeft.y))};
}

} // namespace hg
