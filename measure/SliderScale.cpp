// Value arithmetic of the amplify slider (see SliderScale.h). Pure logic.
#include "SliderScale.h"

#include <cmath>

namespace hg {

int ClampSliderValue(long long v, SliderRange r)
{
    if (v < r.min)
        return r.min;
    if (v > r.max)
        return r.max;
    return static_cast<int>(v);
}

double SliderValueToOffset(int value, SliderRange r, int length)
{
    const int v = ClampSliderValue(value, r);
    return static_cast<double>(v - r.min) * length / (r.max - r.min);
}

int SliderOffsetToValue(double offset, SliderRange r, int length)
{
    if (length <= 0 || !std::isfinite(offset))
        return offset > 0 && length > 0 ? r.max : r.min;
    const double steps = offset * (r.max - r.min) / length;
    // Clamp in floating point first: a pointer far outside the widget must
    // not overflow the integer conversion.
    if (steps <= 0)
        return r.min;
    if (steps >= static_cast<double>(r.max - r.min))
        return r.max;
    return ClampSliderValue(r.min + std::llround(steps), r);
}

int WheelNotches::add(int delta)
{
    if ((delta > 0 && rest_ < 0) || (delta < 0 && rest_ > 0))
        rest_ = 0;
    // Keep the sum in a wider type: a driver may send huge deltas.
    const long long sum = static_cast<long long>(rest_) + delta;
    const long long notches = sum / 120;
    rest_ = static_cast<int>(sum % 120);
    if (notches > 1000000)
        return 1000000;
    if (notches < -1000000)
        return -1000000;
    return static_cast<int>(notches);
}

} // namespace hg
