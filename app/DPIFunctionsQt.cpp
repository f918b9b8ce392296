// Monitor queries for display scaling through QGuiApplication/QScreen.
// Window thread only.
#include "DPIFunctionsQt.h"

#include "DPIFunctions.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace hg {

namespace {

std::int64_t WholePPI(qreal dpi)
{
    if (!std::isfinite(dpi) || dpi <= 0 || dpi > 1e9)
        return 0;
    return std::llround(dpi);
}

} // namespace

std::int32_t FitScaleToMonitor(const QWidget *window, std::int32_t ppi)
{
    QScreen *monitor = QGuiApplication::screenAt(QCursor::pos());
    if (monitor == nullptr)
        monitor = QGuiApplication::primaryScreen();
    if (window == nullptr || monitor == nullptr)
        return ppi;
    const QSize outer = window->frameGeometry().size();
    const QSize area = monitor->geometry().size();
    return FitScaleToMonitor(outer.width(), outer.height(), area.width(), area.height(), ppi);
}

std::int64_t FirstMonitorPPI()
{
    const QList<QScreen *> monitors = QGuiApplication::screens();
    if (monitors.isEmpty())
        return 0;
    const std::int64_t x = WholePPI(monitors.first()->logicalDotsPerInchX());
    const std::int64_t y = WholePPI(monitors.first()->logicalDotsPerInchY());
    if (x == 0) {
        const QScreen *primary = QGuiApplication::primaryScreen();
        return primary != nullptr ? WholePPI(primary->logicalDotsPerInchY()) : 0;
    }
    // The desktop reports both as unsigned: compare them so.
    return static_cast<std::uint64_t>(x) < static_cast<std::uint64_t>(y) ? x : y;
}

} // namespace hg
