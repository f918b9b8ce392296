// Number formats of the display's caption texts: whole, one decimal and
// general with at most N significant digits, with the decimal and group
// separators passed in (the caller reads them from the user's locale). Pure;
// any thread. Writes into a fixed-size text, so a frame allocates nothing.
#pragma once

#include <cstddef>
#include <string_view>

namespace hg {

// Separators as UTF-8 text (a locale's group separator may be several bytes,
// a narrow no-break space for example).
struct TNumberSeparators {
    std::string_view decimal = ".";
    std::string_view group = ",";
};

// A short text of fixed capacity. Appending past the capacity drops the rest
// (caption texts are far shorter).
class TShortText {
public:
    static constexpr std::size_t kCapacity = 63;

    void clear() { len_ = 0; buf_[0] = '\0'; }
    void append(std::string_view s);
    void append(char c) { append(std::string_view(&c, 1)); }
    std::string_view view() const { return std::string_view(buf_, len_); }
    const char *c_str() const { return buf_; }
    friend bool operator==(const TShortText &a, const TShortText &b) { return a.view() == b.view(); }

private:
    char buf_[kCapacity + 1] = {};
    std::size_t len_ = 0;
};

// Rounded to the nearest integer, halves away from zero, no grouping: 918,
// 12, 0. A value with more than 8 digits before the separator is written in
// the general format with 8 digits instead. Appends to `out`.
void AppendWhole(TShortText &out, long double value, const TNumberSeparators &sep);

// Exactly one digit after the decimal separator, halves away from zero, the
// integer part grouped by thousands: 2.8, 16.5, 1,234.5. Appends to `out`.
void AppendOneDecimal(TShortText &out, long double value, const TNumberSeparators &sep);

// At most `digits` significant digits (1 ... 18), halves away from zero,
// trailing zeros and a trailing separator dropped: -6.02, -26, 0.5. Values
// with more than `digits` digits before the separator, or below 0.00001, in
// scientific form: 1.23E5, 4.5E-7. Appends to `out`.
void AppendGeneral(TShortText &out, long double value, int digits, const TNumberSeparators &sep);

// Not-a-number and infinities, in every format, are written "NAN", "INF"
// and "-INF".

} // namespace hg
