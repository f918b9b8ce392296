// Checks of the display's caption numbers (whole, one decimal, general) and
// caption texts: each fits its fixed text and reads back as the value
// rounded the format's way, worked out here with exact long double
// arithmetic (fmal) rather than decimal digits. Single-threaded.
#include "fuzz_checks.h"
#include "fuzz_input.h"

#include "Spectrum3DCaptions.h"
#include "Spectrum3DMath.h"
#include "Spectrum3DNumberFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace hgfuzz {

namespace {

// Group separators; a locale never has the same text for both.
constexpr std::string_view kGroups[] = {",", ".", "\xE2\x80\xAF", "'", "\xC2\xA0"};

std::string Describe(long double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.21Lg", v);
    return buf;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view NonFiniteText(long double v) { return std::isnan(v) ? "NAN" : v < 0 ? "-INF" : "INF"; }

// A text that reached the capacity may have lost its end.
std::string CheckFits(const hg::TShortText &t, const std::string &where)
{
    if (t.view().size() >= hg::TShortText::kCapacity)
        return where + " fills its fixed text (" + std::to_string(t.view().size()) + " bytes): cut off";
    if (t.c_str()[t.view().size()] != '\0')
        return where + " is not terminated";
    return "";
}

// The general format: at most `digits` significant digits, the value within
// half a unit of the last of them; scientific exactly when the integer digits
// do not fit or the value is below 0.00001.
std::string CheckGeneral(std::string_view text, long double v, int digits, const hg::TNumberSeparators &sep,
                         const std::string &where)
{
    if (!std::isfinite(v))
        return text == NonFiniteText(v) ? "" : where + " is not " + std::string(NonFiniteText(v));
    if (v == 0)
        return text == "0" ? "" : where + " is not \"0\"";
    std::string_view t = text;
    const bool negative = !t.empty() && t.front() == '-';
    if (negative)
        t.remove_prefix(1);
    if (negative != (v < 0))
        return where + " has the wrong sign";
    std::string integer, fraction;
    while (!t.empty() && IsDigit(t.front())) {
        integer += t.front();
        t.remove_prefix(1);
    }
    if (integer.empty() || (integer.size() > 1 && integer[0] == '0'))
        return where + " has no proper integer part";
    if (t.starts_with(sep.decimal)) {
        t.remove_prefix(sep.decimal.size());
        while (!t.empty() && IsDigit(t.front())) {
            fraction += t.front();
            t.remove_prefix(1);
        }
        if (fraction.empty() || fraction.back() == '0')
            return where + " has a fraction that is empty or ends in 0";
    }
    bool scientific = false;
    long exponent10 = 0;
    if (!t.empty() && t.front() == 'E') {
        scientific = true;
        t.remove_prefix(1);
        std::string e(t);
        char *end = nullptr;
        exponent10 = std::strtol(e.c_str(), &end, 10);
        if (e.empty() || end != e.c_str() + e.size())
            return where + " has a broken exponent";
        t = {};
        if (integer.size() != 1 || integer == "0")
            return where + " is scientific without one leading digit";
    }
    if (!t.empty())
        return where + " has something after its number";

    // The exponent of the first significant digit of the rounded value.
    long lead;
    std::string significant;
    if (scientific) {
        lead = exponent10;
        significant = integer + fraction;
    } else if (integer != "0") {
        lead = static_cast<long>(integer.size()) - 1;
        significant = integer + fraction;
        // Trailing zeros of the integer part are places, not digits.
        while (fraction.empty() && significant.size() > 1 && significant.back() == '0')
            significant.pop_back();
    } else {
        const std::size_t first = fraction.find_first_not_of('0');
        if (first == std::string::npos)
            return where + " is 0 for a value that is not";
        lead = -static_cast<long>(first) - 1;
        significant = fraction.substr(first);
    }
    if (significant.size() > static_cast<std::size_t>(digits))
        return where + " has more than " + std::to_string(digits) + " significant digits";
    const bool shouldBeScientific = lead >= digits || lead < -5;
    if (scientific != shouldBeScientific)
        return where + (scientific ? " is scientific, but fits" : " is not scientific, but must be");

    std::string plain = std::string(negative ? "-" : "") + integer + (fraction.empty() ? "" : "." + fraction);
    if (scientific)
        plain += "e" + std::to_string(exponent10);
    const long double back = std::strtold(plain.c_str(), nullptr);
    // Half a unit of the last kept digit, with room for strtold's own
    // rounding of the text.
    const long double halfUnit = 0.5L * std::pow(10.0L, static_cast<long double>(lead - digits + 1));
    if (!(std::fabs(back - v) <= halfUnit * (1 + 1e-15L) + std::fabs(v) * 1e-18L))
        return where + " reads back as " + Describe(back) + ", more than half a unit from the value";
    return "";
}

std::string CheckWhole(const hg::TShortText &out, long double v, const hg::TNumberSeparators &sep)
{
    const std::string where = "AppendWhole(" + Describe(v) + ") \"" + std::string(out.view()) + "\"";
    if (std::string e = CheckFits(out, where); !e.empty())
        return e;
    const std::string_view text = out.view();
    if (!std::isfinite(v))
        return text == NonFiniteText(v) ? "" : where + " is not " + std::string(NonFiniteText(v));
    if (std::fabs(v) >= 99999999.5L)
        return CheckGeneral(text, v, 8, sep, where);
    // roundl rounds halves away from zero, exactly.
    const long double expected = std::round(v);
    std::string_view t = text;
    const bool negative = !t.empty() && t.front() == '-';
    if (negative)
        t.remove_prefix(1);
    if (t.empty() || t.size() > 8 || !std::all_of(t.begin(), t.end(), IsDigit) || (t.size() > 1 && t[0] == '0'))
        return where + " is not a whole number of at most 8 digits";
    const long double back = std::strtold(std::string(t).c_str(), nullptr);
    if (back != std::fabs(expected) || negative != (expected < 0))
        return where + " is not " + Describe(expected);
    return "";
}

std::string CheckOneDecimal(const hg::TShortText &out, long double v, const hg::TNumberSeparators &sep)
{
    const std::string where = "AppendOneDecimal(" + Describe(v) + ") \"" + std::string(out.view()) + "\"";
    if (std::string e = CheckFits(out, where); !e.empty())
        return e;
    const std::string_view text = out.view();
    if (!std::isfinite(v))
        return text == NonFiniteText(v) ? "" : where + " is not " + std::string(NonFiniteText(v));
    if (std::fabs(v) >= 1e18L)
        return CheckGeneral(text, v, 18, sep, where);

    // Tenths of |v|, halves away from zero: whole part, its tenth c and the
    // round-up, each decided by the exact sign of an fmal.
    const long double a = std::fabs(v);
    const long double whole = std::trunc(a);
    const long double frac = a - whole; // exact
    int c = static_cast<int>(frac * 10);
    while (c > 0 && std::fma(frac, 10.0L, -static_cast<long double>(c)) < 0)
        --c;
    while (c < 9 && std::fma(frac, 10.0L, -static_cast<long double>(c + 1)) >= 0)
        ++c;
    const bool up = std::fma(frac, 20.0L, -static_cast<long double>(2 * c + 1)) >= 0;
    const std::uint64_t tenths =
        static_cast<std::uint64_t>(whole) * 10 + static_cast<std::uint64_t>(c) + (up ? 1 : 0);

    std::string_view t = text;
    const bool negative = !t.empty() && t.front() == '-';
    if (negative)
        t.remove_prefix(1);
    if (negative != (v < 0 && tenths != 0))
        return where + " has the wrong sign";
    // The last decimal separator, then exactly one digit.
    if (t.size() < sep.decimal.size() + 2 || !IsDigit(t.back()) ||
        t.substr(t.size() - 1 - sep.decimal.size(), sep.decimal.size()) != sep.decimal)
        return where + " does not end in the decimal separator and one digit";
    const char tenth = t.back();
    std::string_view integer = t.substr(0, t.size() - 1 - sep.decimal.size());
    // Integer part: 1 to 3 digits, then a group separator before each
    // further group of exactly 3.
    std::string digits;
    std::size_t run = 0;
    while (run < integer.size() && IsDigit(integer[run]))
        ++run;
    if (run == 0 || run > 3 || (run > 1 && integer[0] == '0'))
        return where + " has a badly grouped integer part";
    digits += integer.substr(0, run);
    integer.remove_prefix(run);
    while (!integer.empty()) {
        if (!integer.starts_with(sep.group))
            return where + " has a badly grouped integer part";
        integer.remove_prefix(sep.group.size());
        if (integer.size() < 3 || !IsDigit(integer[0]) || !IsDigit(integer[1]) || !IsDigit(integer[2]) ||
            (integer.size() > 3 && IsDigit(integer[3])))
            return where + " has a badly grouped integer part";
        digits += integer.substr(0, 3);
        integer.remove_prefix(3);
    }
    digits += tenth;
    const std::uint64_t back = std::strtoull(digits.c_str(), nullptr, 10);
    if (back != tenths)
        return where + " reads back as " + std::to_string(back) + " tenths, not " + std::to_string(tenths);
    return "";
}

// Frequency and level captions: the documented exceptions only, and texts
// that fit and end in their unit.
std::string CheckCaptions(std::int64_t rate, double zoom, double scroll, double amplitude,
                          const hg::TNumberSeparators &sep)
{
    const std::string args = "(rate " + std::to_string(rate) + ", zoom " + Describe(zoom) + ", scroll " +
                             Describe(scroll) + ")";
    hg::TFreqCaptionTexts freq;
    bool threw = false;
    try {
        hg::FrequencyCaptionTexts(rate, zoom, scroll, sep, freq);
    } catch (const hg::EZeroDivide &) {
        threw = true;
    }
    if (threw != (zoom == 0))
        return "FrequencyCaptionTexts" + args + (threw ? " threw for a zoom that is not 0" : " did not throw for zoom 0");
    for (int i = 0; !threw && i < hg::kFreqCaptionCount; ++i) {
        const std::string where = "frequency caption " + std::to_string(i + 1) + args + " \"" +
                                  std::string(freq[i].view()) + "\"";
        if (std::string e = CheckFits(freq[i], where); !e.empty())
            return e;
        const std::string_view t = freq[i].view();
        const bool hz = t.ends_with(" Hz") && !t.ends_with(" KHz");
        const std::size_t unit = hz ? 3 : 4;
        if (!(hz || t.ends_with(" KHz")) || t.size() <= unit)
            return where + " has no number and unit";
    }

    hg::TLevelCaptionTexts level;
    threw = false;
    try {
        hg::LevelCaptionTexts(amplitude, sep, level);
    } catch (const hg::EInvalidOp &) {
        threw = true;
    }
    if (threw != (amplitude < 0))
        return "LevelCaptionTexts(" + Describe(amplitude) + ")" +
               (threw ? " threw for a level that is not negative" : " did not throw for a negative level");
    for (int i = 0; !threw && i < hg::kLevelCaptionCount; ++i) {
        const std::string where = "level caption " + std::to_string(i + 1) + " of amplitude " + Describe(amplitude) +
                                  " \"" + std::string(level[i].view()) + "\"";
        if (std::string e = CheckFits(level[i], where); !e.empty())
            return e;
        if (!level[i].view().ends_with(" dB") || level[i].view().size() <= 3)
            return where + " has no number and unit";
    }
    return "";
}

} // namespace

std::string CheckCaptionFormatInput(const std::uint8_t *data, std::size_t size)
{
    ByteReader in(data, size);
    const std::uint8_t mode = in.take<std::uint8_t>();
    const double d = in.take<double>();
    const std::int16_t scale = in.take<std::int16_t>();
    const int digitsArg = in.take<std::int8_t>();
    const std::uint8_t decimalChoice = in.take<std::uint8_t>();
    const std::uint8_t groupChoice = in.take<std::uint8_t>();
    const std::int64_t rate = in.take<std::int64_t>();
    const double zoom = in.take<double>();
    const double scroll = in.take<double>();
    const double amplitude = in.take<double>();

    hg::TNumberSeparators sep;
    sep.decimal = PickSeparator(decimalChoice);
    sep.group = kGroups[groupChoice % std::size(kGroups)];
    if (sep.group == sep.decimal)
        sep.group = kGroups[(groupChoice + 1u) % std::size(kGroups)];
    if (sep.group == sep.decimal)
        sep.group = kGroups[(groupChoice + 2u) % std::size(kGroups)];

    // Mode bit 0: a long double beyond the range and precision of a double.
    const long double v =
        (mode & 1) ? std::ldexp(static_cast<long double>(d), scale % 16500) : static_cast<long double>(d);

    hg::TShortText out;
    hg::AppendWhole(out, v, sep);
    if (std::string e = CheckWhole(out, v, sep); !e.empty())
        return e;
    out.clear();
    hg::AppendOneDecimal(out, v, sep);
    if (std::string e = CheckOneDecimal(out, v, sep); !e.empty())
        return e;
    out.clear();
    hg::AppendGeneral(out, v, digitsArg, sep);
    const int digits = std::clamp(digitsArg, 1, 18);
    const std::string where = "AppendGeneral(" + Describe(v) + ", " + std::to_string(digitsArg) + ") \"" +
                              std::string(out.view()) + "\"";
    if (std::string e = CheckFits(out, where); !e.empty())
        return e;
    if (std::string e = CheckGeneral(out.view(), v, digits, sep, where); !e.empty())
        return e;
    return CheckCaptions(rate, zoom, scroll, amplitude, sep);
}

} // namespace hgfuzz
