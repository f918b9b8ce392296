// Tests of the level readout: the whole label text, the dB text at its
// limits, percentages beyond 4 significant digits, and the arrows.
#include "measure/core/Readout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct ReadoutCase {
    float peak;      // held peak, single precision as the peak hold keeps it
    double average;  // held spectrum average
    const char *separator;
    const char *text;
};

void PrintTo(const ReadoutCase &c, std::ostream *os)
{
    *os << "peak " << c.peak << ", average " << c.average << ", separator \"" << c.separator
        << "\" -> \"" << c.text << "\"";
}

class ReadoutLabel : public ::testing::TestWithParam<ReadoutCase> {};

TEST_P(ReadoutLabel, IsTheWholeText)
{
    const ReadoutCase &c = GetParam();
    EXPECT_EQ(hg::ReadoutText(c.peak, c.average, c.separator), c.text);
}

INSTANTIATE_TEST_SUITE_P(Table, ReadoutLabel, ::testing::Values(
    ReadoutCase{0.0f, 0.0, ".", "Peak: 0.0000% / -inf dB | Avg: -inf dB"},
    // 0.012345f is 0.0123450001701...: the percentage rounds up to 1.2350.
    ReadoutCase{0.012345f, 0.000015, ".", "Peak: 1.2350% / -38.2 dB | Avg: -96.5 dB"},
    ReadoutCase{0.00004f, 0.0000003, ".", "Peak: 0.0040% / -88.0 dB | Avg: -130.5 dB"},
    ReadoutCase{0.123456f, 0.0, ".", "Peak: 12.3500% / -18.2 dB | Avg: -inf dB"},
    ReadoutCase{1.0f, 0.001, ".", "Peak: 100.0000% / 0.0 dB | Avg: -60.0 dB"},
    ReadoutCase{0.99999f, 0.000002, ".", "Peak: 100.0000% / 0.0 dB | Avg: -114.0 dB"},
    ReadoutCase{1.5f, 0.01, ".", "Peak: 150.0000% / +3.5 dB | Avg: -40.0 dB"},
    ReadoutCase{0.0f, 0.0, ",", "Peak: 0,0000% / -inf dB | Avg: -inf dB"},
    ReadoutCase{0.012345f, 0.000015, ",", "Peak: 1,2350% / -38,2 dB | Avg: -96,5 dB"},
    ReadoutCase{0.00004f, 0.0000003, ",", "Peak: 0,0040% / -88,0 dB | Avg: -130,5 dB"},
    ReadoutCase{0.123456f, 0.0, ",", "Peak: 12,3500% / -18,2 dB | Avg: -inf dB"},
    ReadoutCase{1.0f, 0.001, ",", "Peak: 100,0000% / 0,0 dB | Avg: -60,0 dB"},
    ReadoutCase{0.99999f, 0.000002, ",", "Peak: 100,0000% / 0,0 dB | Avg: -114,0 dB"},
    ReadoutCase{1.5f, 0.01, ",", "Peak: 150,0000% / +3,5 dB | Avg: -40,0 dB"},
    // Beyond 4 significant digits of per cent, and the values a float
    // capture can still deliver.
    ReadoutCase{100.0f, 1.0, ".", "Peak: 1.000E+4% / +40.0 dB | Avg: 0.0 dB"},
    ReadoutCase{123.46f, 0.5, ",", "Peak: 1,235E+4% / +41,8 dB | Avg: -6,0 dB"},
    ReadoutCase{kInf, kInf, ".", "Peak: inf% / +inf dB | Avg: +inf dB"},
    ReadoutCase{kNaN, std::nan(""), ".", "Peak: nan% / -inf dB | Avg: -inf dB"}));

struct PercentCase {
    float peak;
    const char *text;
};

void PrintTo(const PercentCase &c, std::ostream *os)
{
    *os << "peak " << c.peak << " -> \"" << c.text << "\"";
}

class PeakPercentage : public ::testing::TestWithParam<PercentCase> {};

TEST_P(PeakPercentage, KeepsFourSignificantDigits)
{
    EXPECT_EQ(hg::PeakPercentageStr(GetParam().peak, "."), GetParam().text)
        << "peak " << GetParam().peak;
}

INSTANTIATE_TEST_SUITE_P(Table, PeakPercentage, ::testing::Values(
    PercentCase{99.99f, "9999.0000"},         // still 4 integer digits
    PercentCase{99.994f, "9999.0000"},
    PercentCase{99.996f, "1.000E+4"},         // rounds to 10000: scientific
    PercentCase{1000.0f, "1.000E+5"},
    PercentCase{std::numeric_limits<float>::max(), "3.403E+40"},
    PercentCase{-123.46f, "-1.235E+4"},
    PercentCase{123.45f, "1.234E+4"},          // 123.45f is 123.4499969...,
    PercentCase{-0.5f, "-50.0000"},
    PercentCase{-0.0f, "0.0000"},
    PercentCase{std::numeric_limits<float>::denorm_min(), "0.0000"},
    PercentCase{0.0000006f, "0.0001"},        // 0.00006 %: k = 0 rounds up
    PercentCase{0.0000004f, "0.0000"}));

struct DbCase {
    double value;
    const char *text;
};

void PrintTo(const DbCase &c, std::ostream *os)
{
    *os << "value " << c.value << " -> \"" << c.text << "\"";
}

class DbText : public ::testing::TestWithParam<DbCase> {};

TEST_P(DbText, Reads)
{
    EXPECT_EQ(hg::Percentage2dBStr(GetParam().value, "."), GetParam().text)
        << "value " << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(Table, DbText, ::testing::Values(
    DbCase{0.0, "-inf dB"},
    DbCase{-0.0, "-inf dB"},
    DbCase{std::nan(""), "-inf dB"},
    DbCase{1.0, "0.0 dB"},                      // exactly 0: no sign
    DbCase{0.9999999, "0.0 dB"},                // negative, rounds to zero: sign lost
    DbCase{1.0000001, "+0.0 dB"},               // positive keeps its "+"
    DbCase{0.5, "-6.0 dB"},
    DbCase{2.0, "+6.0 dB"},
    DbCase{1e-6, "-120.0 dB"},
    DbCase{std::numeric_limits<double>::denorm_min(), "-6466.1 dB"},
    DbCase{std::numeric_limits<double>::max(), "+6165.1 dB"},
    // Not levels: a negative value reads by its magnitude, infinities as +inf.
    DbCase{-0.5, "-6.0 dB"},
    DbCase{-2.0, "+6.0 dB"},
    DbCase{std::numeric_limits<double>::infinity(), "+inf dB"},
    DbCase{-std::numeric_limits<double>::infinity(), "+inf dB"}));

struct ArrowCase {
    float peak1;
    float peak2;
    hg::BetterArrows arrows;
};

TEST(BetterArrows, PointToTheLowerHeldPeak)
{
    const ArrowCase cases[] = {
        {0.0f, 0.0f, {true, true}},
        {0.25f, 0.25f, {true, true}},
        {0.001f, 0.002f, {true, false}},   // Input 1 quieter: only the left arrow
        {0.002f, 0.0f, {false, true}},     // Input 2 reset: only the right arrow
        {0.0f, -0.0f, {true, true}},
        {kNaN, 0.5f, {true, true}},        // does not compare
        {0.5f, kNaN, {true, true}},
        {kInf, 1.0f, {false, true}},
        {1.0f, kInf, {true, false}},
    };
    for (const ArrowCase &c : cases) {
        const hg::BetterArrows got = hg::BetterArrowsFor(c.peak1, c.peak2);
        EXPECT_EQ(got, c.arrows) << "peaks " << c.peak1 << " and " << c.peak2 << ": left "
                                 << got.LeftVisible << ", right " << got.RightVisible;
    }
}

} // namespace
