// One-time scaling of a widget tree (see ScaleWidgets.h). Window thread, once,
// before the main window is first shown.
#include "ScaleWidgets.h"

#include "DPIFunctions.h"

#include <QFont>
#include <QLayout>
#include <QWidget>

namespace hg {

namespace {

int Scaled(int value, int num, int den)
{
    return MulDiv(value, num, den);
}

QSize Scaled(QSize size, int num, int den)
{
    return {Scaled(size.width(), num, den), Scaled(size.height(), num, den)};
}

// A size limit scaled, except the "no limit" ends (0 and QWIDGETSIZE_MAX),
// which stay what they are.
int ScaledLimit(int value, int num, int den)
{
    if (value <= 0 || value >= QWIDGETSIZE_MAX)
        return value;
    const int scaled = Scaled(value, num, den);
    return scaled < 0 || scaled > QWIDGETSIZE_MAX ? QWIDGETSIZE_MAX : scaled;
}

// Minimum and maximum sizes first, so that a fixed-size widget may take its
// scaled size.
void ScaleSizeLimits(QWidget *w, int num, int den)
{
    const QSize min = w->minimumSize();
    const QSize max = w->maximumSize();
    w->setMinimumSize(0, 0);
    w->setMaximumSize(ScaledLimit(max.width(), num, den), ScaledLimit(max.height(), num, den));
    w->setMinimumSize(ScaledLimit(min.width(), num, den), ScaledLimit(min.height(), num, den));
}

// Only a font size that the widget sets itself is scaled (and the root's,
// whatever its source): a widget that takes its size from its parent follows
// the parent's scaled font. Point sizes follow the monitor's PPI in Qt itself
// and stay.
void ScaleFont(QWidget *w, int num, int den, bool isRoot)
{
    const bool ownSize = w->testAttribute(Qt::WA_SetFont) && (w->font().resolveMask() & QFont::SizeResolved);
    if (!isRoot && !ownSize)
        return;
    QFont font = w->font();
    if (font.pixelSize() <= 0)
        return;
    const int px = Scaled(font.pixelSize(), num, den);
    font.setPixelSize(px > 0 ? px : 1);
    w->setFont(font);
}

void ScaleLayout(QLayout *layout, int num, int den)
{
    if (layout == nullptr)
        return;
    const QMargins m = layout->contentsMargins();
    layout->setContentsMargins(Scaled(m.left(), num, den), Scaled(m.top(), num, den),
                               Scaled(m.right(), num, den), Scaled(m.bottom(), num, den));
    if (layout->spacing() > 0)
        layout->setSpacing(Scaled(layout->spacing(), num, den));
}

void ScaleChildren(QWidget *parent, int num, int den)
{
    for (QObject *object : parent->children()) {
        auto *child = qobject_cast<QWidget *>(object);
        // Windows of their own (popups, dialogs) keep their size.
        if (child == nullptr || child->isWindow())
            continue;
        ScaleFont(child, num, den, false);
        ScaleSizeLimits(child, num, den);
        const QRect g = child->geometry();
        child->setGeometry(Scaled(g.x(), num, den), Scaled(g.y(), num, den), Scaled(g.width(), num, den),
                           Scaled(g.height(), num, den));
        ScaleLayout(child->layout(), num, den);
        ScaleChildren(child, num, den);
        if (auto *scalable = dynamic_cast<IScalable *>(child))
            scalable->scaleBy(num, den);
    }
}

} // namespace

void ScaleWidgetTree(QWidget *root, int num, int den)
{
    if (root == nullptr || num <= 0 || den <= 0 || num == den)
        return;
    ScaleFont(root, num, den, true);
    ScaleChildren(root, num, den);
    ScaleSizeLimits(root, num, den);
    ScaleLayout(root->layout(), num, den);
    // A resize keeps the top-left corner; no move, so that a window not yet
    // placed keeps its first placement.
    root->resize(Scaled(root->size(), num, den));
    if (auto *scalable = dynamic_cast<IScalable *>(root))
        scalable->scaleBy(num, den);
}

} // namespace hg
