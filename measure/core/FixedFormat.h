// Decimal number texts of the readout: the fixed format (a given number of
// significant digits, a given number of digits after the separator). Pure
// functions, no state: any thread may call them.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace hg {

// How many significant decimal digits a value is first taken to, before the
// fixed format rounds it again to its own precision.
inline constexpr int kDecimalDigits = 18;

// A value rounded for the fixed format: `digits[0 .. count-1]` ('0'..'9',
// never all zero) are its kept significant digits and `exponent` is the
// number of digits before the decimal point (a value in [10^(E-1), 10^E) has
// E = exponent; 0.0123 has -1). `zero` is set when nothing is left, and then
// nothing else matters (0 is never negative). `finite` is false for an
// infinity or a NaN (then `nan` tells which, and `negative` the sign of an
// infinity).
struct FixedDigits {
    bool finite = true;
    bool nan = false;
    bool zero = true;
    bool negative = false;
    int exponent = 0;
    int count = 0;
    std::array<char, kDecimalDigits> digits{};
};

// Rounds `value` the way the fixed format does:
//  1. its decimal digits to 18 significant digits, rounded to nearest with
//     ties to even on the exact binary value, and its decimal exponent E;
//  2. k = min(precision, E + digits) of them are kept (none when E + digits
//     < 0); when digit k+1 is 5 or more the kept digits are rounded up away
//     from zero (a carry out of all nines, or a round-up of k = 0 digits,
//     gives the single digit 1 and E + 1).
// `precision` is clamped to 0..18 and `digits` to 0..18.
FixedDigits RoundFixed(long double value, int precision, int digits);

// The fixed-format text of `value`: "-" when negative, the integer digits
// ("0" when there are none), `decimalSeparator`, then exactly `digits`
// digits. No thousands separator. Kept digits run out into zeros, so
// 123456 with precision 4 and 2 digits is "123500.00". With 0 digits there
// is no separator either ("12"). An infinity is "inf" or "-inf", a NaN "nan".
// Examples with "." and precision 4, 4 digits: 1.23450001 -> "1.2350",
// 12.3456 -> "12.3500", 0.003999 -> "0.0040".
std::string FormatFixed(long double value, int precision, int digits,
                        std::string_view decimalSeparator);

// Writes `rounded` as FormatFixed does; `digits` is the number of digits
// after the separator that RoundFixed was given.
std::string WriteFixed(const FixedDigits &rounded, int digits,
                       std::string_view decimalSeparator);

} // namespace hg
