// Tests of the scaling arithmetic: MulDiv, the fit of a requested PPI to a
// monitor and the usable PPI range. Pure; no display.
#include "DPIFunctions.h"

#include <gtest/gtest.h>

#include <climits>

TEST(MulDiv, RoundsHalfAwayFromZeroAndFlagsFailures)
{
    struct Case {
        std::int32_t number, numerator, denominator, expected;
    };
    const Case cases[] = {
        {1258, 144, 96, 1887},
        {408, 144, 96, 612},
        {11, 144, 96, 17}, // 16.5 goes up
        {11, 120, 96, 14}, // 13.75
        {13, 120, 96, 16}, // 16.25
        {-3, 1, 2, -2},    // -1.5 goes away from zero
        {3, 1, -2, -2},
        {-3, -1, 2, 2},
        {5, 1, 3, 2},
        {4, 1, 3, 1},
        {0, 7, 3, 0},
        {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX}, // the product needs 62 bits
        {INT32_MIN, 1, 1, INT32_MIN},
        {INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN},
        {INT32_MIN, -1, 1, -1},     // 2^31 is outside int32
        {INT32_MAX, 2, 1, -1},      // overflow
        {1274, INT32_MAX, 96, -1},  // overflow of a huge scale
        {5, 7, 0, -1},              // division by zero
        {-1, 1, 1, -1},             // a genuine -1
    };
    for (const Case &c : cases)
        EXPECT_EQ(hg::MulDiv(c.number, c.numerator, c.denominator), c.expected)
            << "MulDiv(" << c.number << ", " << c.numerator << ", " << c.denominator << ")";
}

TEST(FitScaleToMonitor, KeepsWhatFitsAndShrinksWhatDoesNot)
{
    struct Case {
        const char *what;
        std::int32_t windowW, windowH, monitorW, monitorH, ppi, expected;
    };
    const Case cases[] = {
        // The worked example of a 1274 x 467 window.
        {"150 % on full HD fits", 1274, 467, 1920, 1080, 144, 144},
        {"150 % on 1366 x 768: width limits", 1274, 467, 1366, 768, 144, 102},
        {"125 % on 1280 x 720: back to design size", 1274, 467, 1280, 720, 120, 96},
        {"75 % that fits stays", 1274, 467, 1366, 768, 72, 72},
        {"design size on a small monitor shrinks", 1274, 467, 1024, 600, 96, 77},
        {"exactly the width", 1274, 467, 1911, 1080, 144, 144},
        {"one pixel short of the width", 1274, 467, 1910, 1080, 144, 143},
        {"exactly the height less the reserve", 1274, 467, 1920, 701 + 48, 144, 144},
        {"one pixel short of the height", 1274, 467, 1920, 700 + 48, 144, 143},
        {"height limits", 1274, 467, 3840, 600, 192, 113},
        {"huge request fits nowhere", 1274, 467, 1920, 1080, 96000, 144},
        {"request beyond MulDiv's range", 1274, 467, 1920, 1080, INT32_MAX, 144},
        // Sizes that give nothing to fit to leave the request alone.
        {"monitor no higher than the reserve", 1274, 467, 1920, 48, 144, 144},
        {"no monitor width", 1274, 467, 0, 1080, 144, 144},
        {"empty window", 0, 467, 1920, 1080, 144, 144},
        {"negative window", 1274, -467, 1920, 1080, 144, 144},
        {"request that is no PPI", 1274, 467, 1920, 1080, -5, -5},
        // A fit never reaches 0, which would make the window vanish.
        {"tiny monitor", 100000, 467, 50, 1080, 144, 1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(hg::FitScaleToMonitor(c.windowW, c.windowH, c.monitorW, c.monitorH, c.ppi), c.expected)
            << c.what;
}

TEST(ScalingRange, SettingsAndDesktopValuesOutsideTheRange)
{
    const std::pair<std::int32_t, std::int32_t> settings[] = {
        {0, 0}, {96, 96}, {48, 48}, {47, 0}, {960, 960}, {961, 0}, {-5, 0}, {INT32_MIN, 0}, {INT32_MAX, 0}, {1, 0},
    };
    for (const auto &[value, expected] : settings)
        EXPECT_EQ(hg::UsableScalingSetting(value), expected) << "setting " << value;

    const std::pair<std::int64_t, std::int32_t> desktop[] = {
        {96, 96}, {144, 144}, {0, 96}, {30, 96}, {2000, 96}, {std::int64_t{1} << 40, 96},
    };
    for (const auto &[value, expected] : desktop)
        EXPECT_EQ(hg::UsableDesktopPPI(value), expected) << "desktop " << value;
}
