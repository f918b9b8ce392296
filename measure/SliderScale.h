// Value arithmetic of the vertical amplify slider: clamping, value <-> pixel
// offset along the track, and wheel notches. Pure logic, no Qt; used by
// TAmplifySlider on the window thread and by the tests without a display.
#pragma once

namespace hg {

// A slider's whole-step range [min, max], min < max.
struct SliderRange {
    int min;
    int max;
};

// v clamped into the range.
int ClampSliderValue(long long v, SliderRange r);

// Distance in pixels of `value` from the minimum end of a track `length`
// pixels long (0 at min, length at max). Fractions are kept.
double SliderValueToOffset(int value, SliderRange r, int length);

// The whole-step value nearest to `offset` pixels from the minimum end of a
// track `length` pixels long, clamped into the range. A track of no length
// gives the minimum.
int SliderOffsetToValue(double offset, SliderRange r, int length);

// Collects wheel deltas (120 a notch, high-resolution wheels send parts of
// it) and hands out whole notches. Positive notches raise the value.
class WheelNotches {
public:
    // Adds `delta` and returns the whole notches that are complete now; the
    // rest is kept for the next call. A change of direction drops the rest.
    int add(int delta);
    void reset() { rest_ = 0; }

private:
    int rest_ = 0;
};

} // namespace hg
