// One-time scaling of a widget tree (see ScaleWidgets.h). Window thread, once,
// before the main window is first shown.
#include "ScaleWidgets.h"

#include "DPIFunctions.h"

#include <QFont>
#include <QLayout>
#include <QWidget>

#include <utility>
#include <vector>

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

// The fonts to scale, with their pixel sizes before any is changed: the
// root's, whatever its source, and those of widgets that set a font of their
// own (a widget that inherits its font follows its parent's). Point sizes
// follow the monitor's PPI in Qt itself and stay.
using FontSizes = std::vector<std::pair<QWidget *, int>>;

void CollectFonts(QWidget *w, bool isRoot, FontSizes &fonts)
{
    if (!isRoot && w->isWindow())
        return;
    if ((isRoot || w->testAttribute(Qt::WA_SetFont)) && w->font().pixelSize() > 0)
        fonts.emplace_back(w, w->font().pixelSize());
    for (QObject *object : w->children())
        if (auto *child = qobject_cast<QWidget *>(object))
            CollectFonts(child, false, fonts);
}

// Parents before children, so that a widget that sets only part of its font
// (say bold) sees its parent's new size and then gets its own scaled size,
// which is the same: scaled once.
void ScaleFonts(const FontSizes &fonts, int num, int den)
{
    for (const auto &[w, px] : fonts) {
        QFont font = w->font();
        const int scaled = Scaled(px, num, den);
        font.setPixelSize(scaled > 0 ? scaled : 1);
        w->setFont(font);
    }
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
    FontSizes fonts;
    CollectFonts(root, true, fonts);
    ScaleFonts(fonts, num, den);
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
