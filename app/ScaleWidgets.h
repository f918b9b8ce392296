// One-time scaling of a widget tree by num/den (the window's PPI over 96).
// Used on the window thread, once, before the main window is first shown.
#pragma once

class QWidget;

namespace hg {

// A widget that draws sizes of its own (tick widths, thumb size, ...) and so
// needs more than its geometry and font scaled. ScaleWidgetTree calls
// scaleBy on every such widget after scaling its geometry and font.
class IScalable {
public:
    virtual ~IScalable() = default;
    virtual void scaleBy(int num, int den) = 0;
};

// Multiplies the client size of `root` and the position, size and font pixel
// size of every widget below it by num/den, each rounded with MulDiv; the
// top-left corner of `root` stays where it is.
void ScaleWidgetTree(QWidget *root, int num, int den);

} // namespace hg
