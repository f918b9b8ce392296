// The desktop side of display scaling: the monitor under the mouse cursor and
// the first monitor's PPI, read through Qt. Window thread, at start-up, after
// the application object exists.
#pragma once

#include <cstdint>

class QWidget;

namespace hg {

// The PPI to use for `window` (still at its design size) given the requested
// `ppi`: the pure FitScaleToMonitor with the window's frame geometry and the
// whole geometry of the monitor under the mouse cursor (the primary monitor
// when the cursor is on none). `ppi` unchanged when there is no monitor.
std::int32_t FitScaleToMonitor(const QWidget *window, std::int32_t ppi);

// The desktop's PPI as the first monitor of the list reports it: the smaller
// of its logical x and y PPI, or the primary monitor's logical y PPI when the
// x value is 0. Rounded to whole PPI; 0 when there is no monitor.
std::int64_t FirstMonitorPPI();

} // namespace hg
