// Tests of the held spectrum average: the mean of a block (in order, in
// double) and the raise of the held value.
#include "measure/core/AverageFFT.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

namespace {

using Block = std::array<float, hg::kSpectrumBins>;

TEST(SpectrumAverage, AddsInBinOrderInDouble)
{
    // 2^53 first and then 2047 ones: in double, every 2^53 + 1 rounds back
    // to 2^53 (ties to even), so the sum stays 2^53 and the mean is 2^42.
    // A sum in long double, or in another order (pairwise, vector lanes,
    // reversed), would keep some of the ones.
    Block block;
    block.fill(1.0f);
    block[0] = 0x1p53f;
    EXPECT_EQ(hg::SpectrumAverage(block), 0x1p42);

    // The same ones before the large bin are all kept: 2047 + 2^53 is exact.
    Block reversed;
    reversed.fill(1.0f);
    reversed[hg::kSpectrumBins - 1] = 0x1p53f;
    EXPECT_EQ(hg::SpectrumAverage(reversed), (0x1p53 + 2047) / 2048);
}

TEST(SpectrumAverage, OfAFlatBlockIsItsLevel)
{
    Block block;
    block.fill(0.001f);
    EXPECT_DOUBLE_EQ(hg::SpectrumAverage(block), static_cast<double>(0.001f));
    block.fill(0.0f);
    EXPECT_EQ(hg::SpectrumAverage(block), 0.0);
}

TEST(RaiseAverage, OnlyALargerMeanReplacesTheHeldValue)
{
    struct Case {
        double held;
        double average;
        double expected;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {0.0, 0.25, 0.25},
        {0.5, 0.25, 0.5},
        {0.5, 0.5, 0.5},
        {0.5, nan, 0.5},   // NaN never replaces it
        {0.0, inf, inf},
        {inf, 1.0, inf},
    };
    for (const Case &c : cases) {
        double value = c.held;
        hg::RaiseAverage(c.average, value);
        EXPECT_EQ(value, c.expected) << "held " << c.held << ", average " << c.average;
    }
}

TEST(RaiseAverage, ANaNBinMakesTheBlockCountForNothing)
{
    Block block;
    block.fill(0.5f);
    block[1000] = std::numeric_limits<float>::quiet_NaN();
    double value = 0.125;
    hg::RaiseAverage(hg::SpectrumAverage(block), value);
    EXPECT_EQ(value, 0.125);
}

} // namespace
