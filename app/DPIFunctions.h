// Display-scaling arithmetic: the multiply-then-divide of all scaling, the
// fit of a requested PPI to a monitor and the usable range of PPI values.
// Pure (no Qt); used on the window thread at start-up.
#pragma once

#include <cstdint>

namespace hg {

// The PPI the main window is designed at (100 %).
inline constexpr std::int32_t kDesignPPI = 96;
// Pixels of monitor height kept free when the window is fitted to a monitor.
inline constexpr std::int32_t kMonitorHeightReserve = 48;
// The PPI values a setting or the desktop may ask for (50 % to 1000 %). A
// value outside them gives no usable window: a settings value outside counts
// as 0 (automatic), a desktop value outside as the design PPI.
inline constexpr std::int32_t kMinScalingPPI = 48;
inline constexpr std::int32_t kMaxScalingPPI = 960;

// number * numerator / denominator with a 64-bit intermediate, rounded half
// away from zero; -1 when denominator is 0 or the result leaves int32.
std::int32_t MulDiv(std::int32_t number, std::int32_t numerator, std::int32_t denominator);

// The PPI to lay out a window of outer size windowW x windowH (at design
// size) at, given the requested `ppi`, on a monitor of monitorW x monitorH:
// `ppi` itself when the scaled window fits the monitor with
// kMonitorHeightReserve pixels of height to spare, else the largest PPI at
// which it fits (it may be below 96). A request that is not positive, and
// sizes that leave nothing to fit to, give `ppi` unchanged; a fit never gives
// less than 1.
std::int32_t FitScaleToMonitor(std::int32_t windowW, std::int32_t windowH, std::int32_t monitorW,
                               std::int32_t monitorH, std::int32_t ppi);

// The "Display"/"Scaling" setting as start-up uses it: the value itself in
// kMinScalingPPI..kMaxScalingPPI, 0 (automatic) for everything else.
std::int32_t UsableScalingSetting(std::int32_t value);

// The desktop's PPI as start-up uses it: the value itself in
// kMinScalingPPI..kMaxScalingPPI, else kDesignPPI.
std::int32_t UsableDesktopPPI(std::int64_t value);

} // namespace hg
