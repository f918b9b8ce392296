// Tests of the fixed number format: the 18-digit decimal step (with its
// ties), the rounding to the kept digits, and the layout of the text.
#include "measure/core/FixedFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

struct FixedCase {
    long double value;
    int precision;
    int digits;
    const char *text;
};

void PrintTo(const FixedCase &c, std::ostream *os)
{
    *os << "FormatFixed(" << static_cast<double>(c.value) << ", " << c.precision << ", "
        << c.digits << ") -> \"" << c.text << "\"";
}

class FixedFormatCase : public ::testing::TestWithParam<FixedCase> {};

TEST_P(FixedFormatCase, WritesTheText)
{
    const FixedCase &c = GetParam();
    EXPECT_EQ(hg::FormatFixed(c.value, c.precision, c.digits, "."), c.text);
}

// The percentage (precision 4, 4 digits) and the dB value (precision 6, 1 digit).
INSTANTIATE_TEST_SUITE_P(Readout, FixedFormatCase, ::testing::Values(
    FixedCase{1.23450001L, 4, 4, "1.2350"},
    FixedCase{12.3456L, 4, 4, "12.3500"},
    FixedCase{0.003999L, 4, 4, "0.0040"},
    FixedCase{0.0L, 4, 4, "0.0000"},
    FixedCase{100.0L, 4, 4, "100.0000"},
    FixedCase{1234.5L, 4, 4, "1235.0000"},   // half goes away from zero
    FixedCase{1234.4999L, 4, 4, "1234.0000"},
    FixedCase{-38.17L, 6, 1, "-38.2"},
    FixedCase{-0.04L, 6, 1, "0.0"},          // rounds to zero: no "-"
    FixedCase{-0.05L, 6, 1, "-0.1"},
    FixedCase{3.5218L, 6, 1, "3.5"},
    FixedCase{-130.457L, 6, 1, "-130.5"},
    FixedCase{-6463.6L, 6, 1, "-6463.6"}));

INSTANTIATE_TEST_SUITE_P(Rounding, FixedFormatCase, ::testing::Values(
    // A carry through nines gives 10^E.
    FixedCase{99.99999L, 4, 4, "100.0000"},
    FixedCase{9.9996L, 4, 4, "10.0000"},
    FixedCase{-9.9996L, 4, 4, "-10.0000"},
    FixedCase{0.99995L, 4, 4, "1.0000"},
    FixedCase{0.000096L, 4, 4, "0.0001"},
    FixedCase{19.996L, 4, 4, "20.0000"},
    // E + n = 0: no digit is kept, the first one decides (k = 0 rounds up to 1).
    FixedCase{0.00005L, 4, 4, "0.0001"},
    FixedCase{0.00004999L, 4, 4, "0.0000"},
    FixedCase{-0.00006L, 4, 4, "-0.0001"},
    FixedCase{0.06L, 6, 1, "0.1"},
    // E + n < 0: the value is 0, even where digit 1 is a 9.
    FixedCase{0.000009L, 4, 4, "0.0000"},
    FixedCase{-0.000009L, 4, 4, "0.0000"},
    FixedCase{-0.009L, 6, 1, "0.0"},
    FixedCase{1e-300L, 4, 4, "0.0000"},
    // Kept digits limited by the digits after the separator, not the precision.
    FixedCase{0.012345L, 6, 4, "0.0123"},
    FixedCase{0.01235L, 6, 4, "0.0124"}));

INSTANTIATE_TEST_SUITE_P(Layout, FixedFormatCase, ::testing::Values(
    FixedCase{-0.0L, 4, 4, "0.0000"},                       // 0 is never negative
    FixedCase{123456.0L, 4, 2, "123500.00"},               // kept digits run out into zeros
    FixedCase{1234567.0L, 4, 0, "1235000"},                // no digits: no separator
    FixedCase{0.5L, 4, 0, "1"},
    FixedCase{1e20L, 4, 1, "100000000000000000000.0"},     // no thousands separator
    FixedCase{0.0123L, 4, 6, "0.012300"},                   // E = -1: one zero first
    FixedCase{7.0L, 25, 20, "7.000000000000000000"},       // precision and digits clamp to 18
    FixedCase{1.5L, -3, -2, "0"},                           // precision 0 keeps no digit
    FixedCase{0.5L, 0, 0, "1"},
    FixedCase{std::numeric_limits<long double>::infinity(), 4, 4, "inf"},
    FixedCase{-std::numeric_limits<long double>::infinity(), 4, 4, "-inf"},
    FixedCase{std::numeric_limits<long double>::quiet_NaN(), 4, 4, "nan"}));

// The first step keeps 18 significant digits, rounded to nearest with ties
// to even on the exact binary value; only after that do the kept digits
// round half up. Values whose exact expansion has 19 significant digits
// ending in 5 are ties at the 18th digit.
INSTANTIATE_TEST_SUITE_P(Ties18, FixedFormatCase, ::testing::Values(
    // doubles m / 8 with m odd near 2^53: 1000000000000000.125 and .375
    FixedCase{static_cast<double>(8000000000000001.0 / 8), 18, 3, "1000000000000000.120"},
    FixedCase{static_cast<double>(8000000000000003.0 / 8), 18, 3, "1000000000000000.380"},
    FixedCase{static_cast<double>(8000000000000005.0 / 8), 18, 3, "1000000000000000.620"},
    FixedCase{static_cast<double>(8000000000000007.0 / 8), 18, 3, "1000000000000000.880"},
    // long doubles with a 64-bit significand
    FixedCase{123456789012345678.5L, 18, 1, "123456789012345678.0"},
    FixedCase{123456789012345677.5L, 18, 1, "123456789012345678.0"},
    FixedCase{-123456789012345677.5L, 18, 1, "-123456789012345678.0"},
    // 1 + 2^-56 is 1.0000000000000000138...: its 18 digits end in ...01,
    // and what follows them is gone (not ...014).
    FixedCase{1.0L + 0x1p-56L, 18, 18, "1.000000000000000010"},
    // 18 digits first, then the half-up of the kept digits: 0.12345 - 1e-19
    // is 0.123450000000000000 after the first step, and so rounds up;
    // 0.12345 - 1e-17 keeps its nines and rounds down.
    FixedCase{0.12345L - 1e-19L, 4, 4, "0.1235"},
    FixedCase{0.12345L - 1e-17L, 4, 4, "0.1234"},
    // The kept-digit step rounds half up, not to even.
    FixedCase{0.125L, 2, 2, "0.13"},
    FixedCase{0.625L, 2, 2, "0.63"}));

// 2.675 as a double is 2.67499999999999982236431605997495353221893310546875;
// at 18 digits that is 2.67499999999999982, which the half-up of the third
// digit does not reach. As a long double literal it is nearer: 2.675000...
TEST(FixedFormat, DoubleInputIsTakenAtItsExactValue)
{
    EXPECT_EQ(hg::FormatFixed(2.675, 3, 2, "."), "2.67");
    EXPECT_EQ(hg::FormatFixed(2.675L, 3, 2, "."), "2.68");
    // A float widened exactly: 0.012345f is 0.0123450001701712608...
    EXPECT_EQ(hg::FormatFixed(static_cast<long double>(0.012345f) * 100, 4, 4, "."), "1.2350");
    EXPECT_EQ(hg::FormatFixed(static_cast<long double>(0.00004f) * 100, 4, 4, "."), "0.0040");
}

TEST(FixedFormat, LargestLongDoubleWritesAllItsIntegerDigits)
{
    // 1.18973149535723176502e+4932: 4933 integer digits, 4 of them kept.
    EXPECT_EQ(hg::FormatFixed(std::numeric_limits<long double>::max(), 4, 0, "."),
              "1190" + std::string(4929, '0'));
    EXPECT_EQ(hg::FormatFixed(std::numeric_limits<long double>::denorm_min(), 18, 18, "."),
              "0.000000000000000000");
}

TEST(FixedFormat, WritesTheGivenSeparator)
{
    EXPECT_EQ(hg::FormatFixed(1.2345L, 4, 4, ","), "1,2350");
    EXPECT_EQ(hg::FormatFixed(-96.478L, 6, 1, ","), "-96,5");
    // A separator of more than one byte (U+066B ARABIC DECIMAL SEPARATOR).
    EXPECT_EQ(hg::FormatFixed(0.5L, 4, 2, "\u066B"), "0\u066B50");
    EXPECT_EQ(hg::FormatFixed(0.0L, 4, 2, ","), "0,00");
}

TEST(FixedFormat, RoundFixedReportsDigitsAndExponent)
{
    const hg::FixedDigits r = hg::RoundFixed(0.0123L, 4, 4);
    ASSERT_TRUE(r.finite);
    ASSERT_FALSE(r.zero);
    EXPECT_EQ(r.exponent, -1);
    EXPECT_EQ(std::string(r.digits.data(), r.count), "123");

    const hg::FixedDigits carried = hg::RoundFixed(9999.5L, 4, 4);
    EXPECT_EQ(carried.exponent, 5);
    EXPECT_EQ(std::string(carried.digits.data(), carried.count), "1");

    const hg::FixedDigits nothing = hg::RoundFixed(-0.00001L, 4, 4);
    EXPECT_TRUE(nothing.zero);
    EXPECT_FALSE(nothing.negative);
}

} // namespace
