// Caption number formats (see Spectrum3DNumberFormat.h). Any thread; no
// allocation for the values captions show.
#include "Spectrum3DNumberFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace hg {

void TShortText::append(std::string_view s)
{
    const std::size_t n = std::min(s.size(), kCapacity - len_);
    std::memcpy(buf_ + len_, s.data(), n);
    len_ += n;
    buf_[len_] = '\0';
}

namespace {

// A finite value as decimal digits: value = 0.d[0]d[1]...d[n-1] x 10^exp.
struct TDecimal {
    bool negative = false;
    char d[40] = {};
    int n = 0;
    int exp = 0;

    bool isZero() const
    {
        for (int i = 0; i < n; ++i)
            if (d[i] != '0')
                return false;
        return true;
    }
};

// 36 significant digits: far more than a long double holds, so rounding on
// them is rounding on the value itself.
constexpr int kDigits = 36;

TDecimal ToDecimal(long double v)
{
    TDecimal r;
    r.negative = std::signbit(v);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%.*Le", kDigits - 1, std::fabs(v));
    // buf is "D.DDDD...e[+-]XX"
    const char *p = buf;
    while (*p && *p != 'e') {
        if (*p >= '0' && *p <= '9' && r.n < kDigits)
            r.d[r.n++] = *p;
        ++p;
    }
    r.exp = (*p == 'e') ? std::atoi(p + 1) + 1 : 1;
    return r;
}

// Keeps the first `keep` digits, rounding half away from zero on the rest.
void RoundDigits(TDecimal &x, int keep)
{
    if (keep >= x.n)
        return;
    if (keep < 0) {
        x.n = 0;
        return;
    }
    const bool up = x.d[keep] >= '5';
    x.n = keep;
    if (!up)
        return;
    int i = keep - 1;
    while (i >= 0 && x.d[i] == '9') {
        x.d[i] = '0';
        --i;
    }
    if (i >= 0) {
        ++x.d[i];
    } else {
        // Every kept digit was 9 (or none was kept): the value becomes 1
        // followed by zeros, one decimal place higher.
        x.d[0] = '1';
        x.n = 1;
        ++x.exp;
    }
}

void StripTrailingZeros(TDecimal &x)
{
    while (x.n > 0 && x.d[x.n - 1] == '0')
        --x.n;
}

char DigitAt(const TDecimal &x, int i) { return (i >= 0 && i < x.n) ? x.d[i] : '0'; }

bool AppendNonFinite(TShortText &out, long double v)
{
    if (std::isnan(v)) {
        out.append("NAN");
        return true;
    }
    if (std::isinf(v)) {
        out.append(v < 0 ? "-INF" : "INF");
        return true;
    }
    return false;
}

// The integer digits of x, optionally grouped by thousands.
void AppendIntegerPart(TShortText &out, const TDecimal &x, std::string_view group)
{
    if (x.exp <= 0) {
        out.append('0');
        return;
    }
    for (int i = 0; i < x.exp; ++i) {
        if (!group.empty() && i > 0 && (x.exp - i) % 3 == 0)
            out.append(group);
        out.append(DigitAt(x, i));
    }
}

// Fixed notation with `decimals` digits after the separator.
void AppendFixed(TShortText &out, long double v, int decimals, std::string_view group,
                 const TNumberSeparators &sep)
{
    TDecimal x = ToDecimal(v);
    RoundDigits(x, x.exp + decimals);
    if (x.isZero())
        x.negative = false;
    if (x.negative)
        out.append('-');
    AppendIntegerPart(out, x, group);
    if (decimals > 0) {
        out.append(sep.decimal);
        for (int j = 0; j < decimals; ++j)
            out.append(DigitAt(x, x.exp + j));
    }
}

} // namespace

void AppendWhole(TShortText &out, long double value, const TNumberSeparators &sep)
{
    if (AppendNonFinite(out, value))
        return;
    if (std::fabs(value) >= 99999999.5L) {
        AppendGeneral(out, value, 8, sep);
        return;
    }
    AppendFixed(out, value, 0, {}, sep);
}

void AppendOneDecimal(TShortText &out, long double value, const TNumberSeparators &sep)
{
    if (AppendNonFinite(out, value))
        return;
    // Beyond 18 integer digits the digits say nothing any more.
    if (std::fabs(value) >= 1e18L) {
        AppendGeneral(out, value, 18, sep);
        return;
    }
    AppendFixed(out, value, 1, sep.group, sep);
}

void AppendGeneral(TShortText &out, long double value, int digits, const TNumberSeparators &sep)
{
    if (AppendNonFinite(out, value))
        return;
    digits = std::clamp(digits, 1, 18);
    TDecimal x = ToDecimal(value);
    RoundDigits(x, digits);
    StripTrailingZeros(x);
    if (x.n == 0) {
        out.append('0');
        return;
    }
    if (x.negative)
        out.append('-');
    // Scientific when the integer digits do not fit, or the value is below
    // 0.00001 (its first digit lies past the fifth decimal place).
    if (x.exp > digits || x.exp < -4) {
        out.append(x.d[0]);
        if (x.n > 1) {
            out.append(sep.decimal);
            out.append(std::string_view(x.d + 1, static_cast<std::size_t>(x.n - 1)));
        }
        char e[16];
        std::snprintf(e, sizeof e, "E%d", x.exp - 1);
        out.append(e);
        return;
    }
    AppendIntegerPart(out, x, {});
    if (x.n > x.exp) {
        out.append(sep.decimal);
        for (int i = x.exp; i < x.n; ++i)
            out.append(DigitAt(x, i));
    }
}

} // namespace hg
