// The level readout of an input: its label text (held peak in per cent and
// dB, held spectrum average in dB) and the arrows that point to the quieter
// input. Pure functions: the window thread calls them on every timer tick
// with the held values it has just read, and the decimal separator of the
// user's locale (CurrentDecimalSeparator() in DecimalSeparator.h).
#pragma once

#include <string>
#include <string_view>

namespace hg {

// The dB text of a linear level (1.0 = full scale): d = 20 log10(Value)
// rounded to double, written with 6 significant digits and 1 digit after the
// separator, then " dB". Negative d carries its "-" (and loses it when it
// rounds to zero: "0.0 dB"), exactly 0 is "0.0 dB", positive d gets a "+".
// 0 and NaN have no level: "-inf dB". A negative Value (not a level; it
// cannot come from the held values) is taken by its magnitude, as the dB of
// a signed sample is. An infinite Value is "+inf dB".
std::string Percentage2dBStr(double Value, std::string_view decimalSeparator);

// The held peak in per cent of full scale, without the "%": PeakLevel x 100,
// exact in long double, with 4 significant digits and 4 digits after the
// separator ("1.2350", "100.0000", "0.0040").
// A percentage that rounds to 10000 or more has more integer digits than it
// has significant ones, and the fixed format would pad it with zeros that
// look measured ("12350.0000"). It is written in scientific form with its 4
// significant digits instead: "1.235E+4" (a held peak of 123.45 x full
// scale), "1.000E+4" (100 x full scale). An infinite peak is "inf", a NaN
// "nan" (the peak hold never stores one).
std::string PeakPercentageStr(float PeakLevel, std::string_view decimalSeparator);

// The whole label text of an input:
// "Peak: " + percentage + "% / " + dB of the peak + " | Avg: " + dB of the
// average, e.g. "Peak: 1.2350% / -38.2 dB | Avg: -96.5 dB".
std::string ReadoutText(float PeakLevel, double AverageLevel, std::string_view decimalSeparator);

// Which of the two "Better" arrows show: "◀" (LabelLeftBetter, Input 1 is
// quieter) and "▶" (LabelRightBetter, Input 2 is quieter).
struct BetterArrows {
    bool LeftVisible = true;
    bool RightVisible = true;
    friend bool operator==(const BetterArrows &, const BetterArrows &) = default;
};

// From the held peaks (not the averages): the lower peak is the better
// input; equal peaks, or peaks that do not compare (a NaN), show both.
constexpr BetterArrows BetterArrowsFor(float PeakLevel1, float PeakLevel2)
{
    if (PeakLevel1 < PeakLevel2)
        return {true, false};
    if (PeakLevel1 > PeakLevel2)
        return {false, true};
    return {true, true};
}

} // namespace hg
