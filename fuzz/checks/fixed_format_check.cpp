// Checks of the readout's number texts against a rounding of their own: the
// 18 significant digits come from printf (not from the formatter's
// std::to_chars), the second rounding is integer arithmetic on them.
// Single-threaded.
#include "fuzz_checks.h"
#include "fuzz_input.h"

#include "measure/core/FixedFormat.h"
#include "measure/core/Readout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace hgfuzz {

namespace {

constexpr std::uint64_t kPow10[19] = {1ull,
                                      10ull,
                                      100ull,
                                      1000ull,
                                      10000ull,
                                      100000ull,
                                      1000000ull,
                                      10000000ull,
                                      100000000ull,
                                      1000000000ull,
                                      10000000000ull,
                                      100000000000ull,
                                      1000000000000ull,
                                      10000000000000ull,
                                      100000000000000ull,
                                      1000000000000000ull,
                                      10000000000000000ull,
                                      100000000000000000ull,
                                      1000000000000000000ull};

// A value rounded as the fixed format must round it: value = q x 10^(E - k),
// with E the number of integer digits of the unrounded value and k the
// digits kept. `zero` when nothing is left.
struct Rounded {
    bool zero = true;
    bool negative = false;
    std::uint64_t q = 0;
    int E = 0;
    int k = 0;

    // Digits of the rounded value before the decimal point.
    int integerDigits() const
    {
        return zero ? 0 : static_cast<int>(std::to_string(q).size()) + E - k;
    }
    // The rounded value x 10^digits as a decimal integer without leading zeros.
    std::string scaled(int digits) const
    {
        if (zero)
            return "0";
        return std::to_string(q) + std::string(static_cast<std::size_t>(E - k + digits), '0');
    }
};

std::string Describe(long double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.21Lg", v);
    return buf;
}

// precision and digits already in 0..18; v finite.
Rounded RoundReference(long double v, int precision, int digits)
{
    Rounded out;
    if (v == 0)
        return out;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17Le", std::fabs(v));
    // "d.<17 digits>e<sign><digits>"
    std::uint64_t m = static_cast<std::uint64_t>(buf[0] - '0');
    for (int i = 2; i < 19; ++i)
        m = m * 10 + static_cast<std::uint64_t>(buf[i] - '0');
    const int E = std::atoi(buf + 20) + 1;
    if (E + digits < 0)
        return out;
    const int k = std::min(precision, E + digits);
    std::uint64_t q = m / kPow10[18 - k];
    const std::uint64_t r = m % kPow10[18 - k];
    if (k < 18 && r >= 5 * kPow10[17 - k])
        ++q;
    if (q == 0)
        return out;
    out.zero = false;
    out.negative = v < 0;
    out.q = q;
    out.E = E;
    out.k = k;
    return out;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Checks `text` as the fixed-format text of `v`; "" when it is right.
std::string CheckFixedText(std::string_view text, long double v, int precision, int digits,
                           std::string_view sep)
{
    const std::string where = "value " + Describe(v) + ", precision " + std::to_string(precision) +
                              ", digits " + std::to_string(digits) + ": \"" + std::string(text) +
                              "\"";
    if (!std::isfinite(v)) {
        const char *expected = std::isnan(v) ? "nan" : v < 0 ? "-inf" : "inf";
        return text == expected ? "" : where + " is not \"" + expected + "\"";
    }
    const Rounded ref = RoundReference(v, precision, digits);
    const std::size_t bound =
        1 + static_cast<std::size_t>(std::max(1, ref.zero ? 1 : ref.E + 1)) +
        (digits > 0 ? sep.size() : 0) + static_cast<std::size_t>(digits);
    if (text.size() > bound)
        return where + " is longer than " + std::to_string(bound);

    std::string_view t = text;
    const bool negative = !t.empty() && t.front() == '-';
    if (negative)
        t.remove_prefix(1);
    std::size_t n = 0;
    while (n < t.size() && IsDigit(t[n]))
        ++n;
    if (n == 0 || (n > 1 && t[0] == '0'))
        return where + " has no proper integer part";
    std::string all(t.substr(0, n));
    t.remove_prefix(n);
    if (digits > 0) {
        if (t.substr(0, sep.size()) != sep)
            return where + " lacks the separator";
        t.remove_prefix(sep.size());
        if (t.size() != static_cast<std::size_t>(digits) || !std::all_of(t.begin(), t.end(), IsDigit))
            return where + " has not exactly " + std::to_string(digits) + " digits after the separator";
        all += t;
    } else if (!t.empty()) {
        return where + " has something after its integer part";
    }
    const std::size_t first = all.find_first_not_of('0');
    all = first == std::string::npos ? "0" : all.substr(first);
    const std::string expected = ref.scaled(digits);
    if (all != expected)
        return where + " reads back as " + all + " x 10^-" + std::to_string(digits) + ", not " +
               expected;
    if (negative != ref.negative)
        return where + (negative ? " has a sign it must not have" : " lacks its minus sign");
    return "";
}

std::string Check2dB(std::string_view text, double value, std::string_view sep)
{
    const std::string where = "Percentage2dBStr(" + Describe(value) + ") \"" + std::string(text) + "\"";
    if (std::isnan(value) || value == 0)
        return text == "-inf dB" ? "" : where + " is not \"-inf dB\"";
    const double d = static_cast<double>(20.0L * std::log10(std::fabs(static_cast<long double>(value))));
    if (std::isinf(d)) {
        const char *expected = d > 0 ? "+inf dB" : "-inf dB";
        return text == expected ? "" : where + " is not " + expected;
    }
    // |d| <= 20 log10 of the smallest subnormal (6466): four integer digits.
    const std::size_t bound = 1 + 4 + sep.size() + 1 + 3;
    if (text.size() > bound)
        return where + " is longer than " + std::to_string(bound);
    if (text.size() < 3 || text.substr(text.size() - 3) != " dB")
        return where + " does not end in \" dB\"";
    std::string_view body = text.substr(0, text.size() - 3);
    const bool plus = !body.empty() && body.front() == '+';
    if (plus != (d > 0))
        return where + (plus ? " has a \"+\" for a level not above 0" : " lacks the \"+\"");
    if (plus)
        body.remove_prefix(1);
    const std::string fixed = CheckFixedText(body, d, 6, 1, sep);
    return fixed.empty() ? "" : where + ": " + fixed;
}

std::string CheckPercentage(std::string_view text, float peak, std::string_view sep)
{
    const long double percent = static_cast<long double>(peak) * 100.0L;
    const std::string where = "PeakPercentageStr(" + Describe(peak) + ") \"" + std::string(text) + "\"";
    // Four significant digits: at most "-dddd" or "-d" + separator + "dddE+dd"
    // (a float's percentage stays below 10^41), with the separator.
    const std::size_t bound = 9 + sep.size();
    if (text.size() > bound)
        return where + " is longer than " + std::to_string(bound);
    if (!std::isfinite(percent))
        return CheckFixedText(text, percent, 4, 4, sep);
    const Rounded ref = RoundReference(percent, 4, 4);
    if (ref.zero || ref.integerDigits() <= 4) {
        const std::string fixed = CheckFixedText(text, percent, 4, 4, sep);
        return fixed.empty() ? "" : where + ": " + fixed;
    }
    std::string significant = std::to_string(ref.q);
    const int exponent = static_cast<int>(significant.size()) + ref.E - ref.k - 1;
    significant.resize(4, '0');
    std::string expected = ref.negative ? "-" : "";
    expected += significant[0];
    expected += sep;
    expected += significant.substr(1, 3);
    expected += "E+" + std::to_string(exponent);
    return text == expected ? "" : where + " is not \"" + expected + "\"";
}

} // namespace

std::string CheckFixedFormatInput(const std::uint8_t *data, std::size_t size)
{
    ByteReader in(data, size);
    const std::uint8_t mode = in.take<std::uint8_t>();
    const double d = in.take<double>();
    const std::int16_t scale = in.take<std::int16_t>();
    const int precisionArg = in.take<std::int8_t>();
    const int digitsArg = in.take<std::int8_t>();
    const std::string_view sep = PickSeparator(in.take<std::uint8_t>());
    const float peak = in.take<float>();
    const double average = in.take<double>();

    // Mode bit 0: a long double beyond the range and precision of a double.
    const long double value =
        (mode & 1) ? std::ldexp(static_cast<long double>(d), scale % 16500) : static_cast<long double>(d);
    const int precision = std::clamp(precisionArg, 0, hg::kDecimalDigits);
    const int digits = std::clamp(digitsArg, 0, hg::kDecimalDigits);
    const std::string fixed = hg::FormatFixed(value, precisionArg, digitsArg, sep);
    if (std::string e = CheckFixedText(fixed, value, precision, digits, sep); !e.empty())
        return "FormatFixed: " + e;

    const std::string dbValue = hg::Percentage2dBStr(d, sep);
    if (std::string e = Check2dB(dbValue, d, sep); !e.empty())
        return e;

    const std::string percent = hg::PeakPercentageStr(peak, sep);
    if (std::string e = CheckPercentage(percent, peak, sep); !e.empty())
        return e;

    const std::string readout = hg::ReadoutText(peak, average, sep);
    const std::string dbPeak = hg::Percentage2dBStr(peak, sep);
    const std::string dbAverage = hg::Percentage2dBStr(average, sep);
    if (std::string e = Check2dB(dbPeak, peak, sep); !e.empty())
        return e;
    if (std::string e = Check2dB(dbAverage, average, sep); !e.empty())
        return e;
    const std::string expected = "Peak: " + percent + "% / " + dbPeak + " | Avg: " + dbAverage;
    if (readout != expected)
        return "ReadoutText \"" + readout + "\" is not \"" + expected + "\"";
    return "";
}

} // namespace hgfuzz
