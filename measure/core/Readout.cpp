// The level readout texts (see Readout.h). Pure functions, any thread.
#include "measure/core/Readout.h"

#include "measure/core/FixedFormat.h"

#include <cmath>

namespace hg {

namespace {

constexpr int kDbPrecision = 6;
constexpr int kDbDigits = 1;
constexpr int kPercentPrecision = 4;
constexpr int kPercentDigits = 4;

} // namespace

std::string Percentage2dBStr(double Value, std::string_view decimalSeparator)
{
    if (std::isnan(Value) || Value == 0)
        return "-inf dB";
    // 20 log10 in extended precision, then rounded to double once.
    const double d = static_cast<double>(20.0L * std::log10(std::fabs(static_cast<long double>(Value))));
    if (std::isinf(d))
        return d > 0 ? "+inf dB" : "-inf dB";
    std::string text = FormatFixed(d, kDbPrecision, kDbDigits, decimalSeparator);
    text += " dB";
    if (d > 0)
        text.insert(text.begin(), '+');
    return text;
}

std::string PeakPercentageStr(float PeakLevel, std::string_view decimalSeparator)
{
    // A float times 100 needs at most 24 + 7 bits: exact in long double.
    const long double percent = static_cast<long double>(PeakLevel) * 100.0L;
    const FixedDigits rounded = RoundFixed(percent, kPercentPrecision, kPercentDigits);
    if (!rounded.finite || rounded.zero || rounded.exponent <= kPercentPrecision)
        return WriteFixed(rounded, kPercentDigits, decimalSeparator);

    // 10000 % or more: d.ddd E+x with the 4 kept digits (see Readout.h).
    std::string text;
    if (rounded.negative)
        text += '-';
    text += rounded.digits[0];
    text += decimalSeparator;
    for (int i = 1; i < kPercentPrecision; ++i)
        text += i < rounded.count ? rounded.digits[i] : '0';
    text += "E+";
    text += std::to_string(rounded.exponent - 1);
    return text;
}

std::string ReadoutText(float PeakLevel, double AverageLevel, std::string_view decimalSeparator)
{
    std::string text = "Peak: ";
    text += PeakPercentageStr(PeakLevel, decimalSeparator);
    text += "% / ";
    text += Percentage2dBStr(PeakLevel, decimalSeparator);
    text += " | Avg: ";
    text += Percentage2dBStr(AverageLevel, decimalSeparator);
    return text;
}

} // namespace hg
