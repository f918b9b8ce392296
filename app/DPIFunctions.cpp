// Display-scaling arithmetic (see DPIFunctions.h). Pure; window thread.
#include "DPIFunctions.h"

#include <cmath>

namespace hg {

std::int32_t MulDiv(std::int32_t number, std::int32_t numerator, std::int32_t denominator)
{
    if (denominator == 0)
        return -1;
    const std::int64_t product = std::int64_t{number} * numerator;
    std::int64_t quotient = product / denominator;
    const std::int64_t remainder = product % denominator;
    // |remainder| < |denominator| <= 2^31, so doubling it stays in range.
    const std::int64_t twiceRest = 2 * (remainder < 0 ? -remainder : remainder);
    const std::int64_t absDenominator = denominator < 0 ? -std::int64_t{denominator} : denominator;
    if (twiceRest >= absDenominator)
        quotient += ((product < 0) != (denominator < 0)) ? -1 : 1;
    if (quotient < INT32_MIN || quotient > INT32_MAX)
        return -1;
    return static_cast<std::int32_t>(quotient);
}

std::int32_t FitScaleToMonitor(std::int32_t windowW, std::int32_t windowH, std::int32_t monitorW,
                               std::int32_t monitorH, std::int32_t ppi)
{
    const std::int64_t usableH = std::int64_t{monitorH} - kMonitorHeightReserve;
    if (ppi <= 0 || windowW <= 0 || windowH <= 0 || monitorW <= 0 || usableH <= 0)
        return ppi;
    // A scaled size that overflows (MulDiv gives -1) does not fit.
    const std::int32_t scaledW = MulDiv(windowW, ppi, kDesignPPI);
    const std::int32_t scaledH = MulDiv(windowH, ppi, kDesignPPI);
    if (scaledW >= 0 && scaledH >= 0 && monitorW >= scaledW && usableH >= scaledH)
        return ppi;
    const long double a = std::trunc(static_cast<long double>(monitorW) / windowW * kDesignPPI);
    const long double b = std::trunc(static_cast<long double>(usableH) / windowH * kDesignPPI);
    const long double fitted = b < a ? b : a;
    // Both are below the request here, which itself is an int32.
    return fitted < 1 ? 1 : static_cast<std::int32_t>(fitted);
}

std::int32_t UsableScalingSetting(std::int32_t value)
{
    return value >= kMinScalingPPI && value <= kMaxScalingPPI ? value : 0;
}

std::int32_t UsableDesktopPPI(std::int64_t value)
{
    return value >= kMinScalingPPI && value <= kMaxScalingPPI ? static_cast<std::int32_t>(value)
                                                              : kDesignPPI;
}

} // namespace hg
