// The fixed format (see FixedFormat.h). Pure functions, any thread.
#include "measure/core/FixedFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace hg {

namespace {

// The value's first 18 significant digits, correctly rounded (nearest, ties
// to even, on the exact binary value), and its exponent E. std::to_chars
// with a precision is exact and never looks at the C locale, so the
// separator it writes is always '.', which this parser relies on.
struct Decimal18 {
    std::array<char, kDecimalDigits> digits{};
    int exponent = 0;
};

Decimal18 ToDecimal18(long double magnitude)
{
    // "d.<17 digits>e<sign><up to 4 digits>": 26 characters at most.
    char text[48];
    const auto result = std::to_chars(text, text + sizeof text, magnitude,
                                      std::chars_format::scientific, kDecimalDigits - 1);
    Decimal18 out;
    // An error cannot happen with this buffer size, but an unparsable text
    // must not run past the buffer: it reads as zero then.
    if (result.ec != std::errc{} || result.ptr - text < kDecimalDigits + 4) {
        out.digits.fill('0');
        return out;
    }
    out.digits[0] = text[0];
    std::copy(text + 2, text + 1 + kDecimalDigits, out.digits.begin() + 1);
    int exponent10 = 0;
    const char *e = text + 1 + kDecimalDigits; // at 'e', then always a sign
    std::from_chars(e + 2, result.ptr, exponent10);
    if (e[1] == '-')
        exponent10 = -exponent10;
    // d.ddd x 10^x lies in [10^x, 10^(x+1)): x + 1 digits before the point.
    out.exponent = exponent10 + 1;
    return out;
}

} // namespace

FixedDigits RoundFixed(long double value, int precision, int digits)
{
    FixedDigits out;
    if (!std::isfinite(value)) {
        out.finite = false;
        out.zero = false;
        out.nan = std::isnan(value);
        out.negative = !out.nan && value < 0;
        return out;
    }
    if (value == 0)
        return out;
    precision = std::clamp(precision, 0, kDecimalDigits);
    digits = std::clamp(digits, 0, kDecimalDigits);

    const Decimal18 decimal = ToDecimal18(std::fabs(value));
    int exponent = decimal.exponent;
    if (exponent + digits < 0)
        return out;
    int kept = std::min(precision, exponent + digits);
    const char next = kept < kDecimalDigits ? decimal.digits[kept] : '0';
    std::copy(decimal.digits.begin(), decimal.digits.begin() + kept, out.digits.begin());
    if (next >= '5') {
        int i = kept - 1;
        while (i >= 0 && out.digits[i] == '9') {
            out.digits[i] = '0';
            --i;
        }
        if (i >= 0) {
            ++out.digits[i];
        } else {
            // All nines (or no digit at all) carried out: 10^E.
            out.digits[0] = '1';
            kept = 1;
            ++exponent;
        }
    }
    // Trailing zeros carry no information; dropping them makes "all zero"
    // the same as "no digit".
    while (kept > 0 && out.digits[kept - 1] == '0')
        --kept;
    if (kept == 0)
        return out;
    out.zero = false;
    out.negative = value < 0;
    out.exponent = exponent;
    out.count = kept;
    return out;
}

std::string WriteFixed(const FixedDigits &rounded, int digits, std::string_view decimalSeparator)
{
    if (!rounded.finite)
        return rounded.nan ? "nan" : rounded.negative ? "-inf" : "inf";
    digits = std::clamp(digits, 0, kDecimalDigits);
    std::string text;
    const int integerDigits = rounded.zero ? 0 : std::max(rounded.exponent, 0);
    text.reserve(2 + static_cast<std::size_t>(integerDigits) + decimalSeparator.size() +
                 static_cast<std::size_t>(digits));
    // Digit i of the kept digits has the place value 10^(E-1-i), so the
    // j-th digit after the separator is kept digit E + j.
    auto digitAt = [&rounded](int i) {
        return !rounded.zero && i >= 0 && i < rounded.count ? rounded.digits[i] : '0';
    };
    if (rounded.negative && !rounded.zero)
        text += '-';
    if (integerDigits == 0)
        text += '0';
    for (int i = 0; i < integerDigits; ++i)
        text += digitAt(i);
    if (digits > 0) {
        text += decimalSeparator;
        for (int j = 0; j < digits; ++j)
            text += digitAt(rounded.exponent + j);
    }
    return text;
}

std::string FormatFixed(long double value, int precision, int digits,
                        std::string_view decimalSeparator)
{
    return WriteFixed(RoundFixed(value, precision, digits), digits, decimalSeparator);
}

} // namespace hg
