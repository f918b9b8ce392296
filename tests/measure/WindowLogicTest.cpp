// Tests of the main window's pure logic: the amplify slider's arithmetic, the
// first placement of the window and the device error texts. No display.
#include "DeviceErrors.h"
#include "SliderScale.h"
#include "WindowPlacement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr hg::SliderRange kAmplify{1000, 10000};

TEST(SliderScale, OffsetToValueSnapsToWholeStepsAndStaysInRange)
{
    struct Case {
        double offset;
        int length;
        int value;
    } const cases[] = {
        {0, 270, 1000},       {270, 270, 10000},     {135, 270, 5500},
        {0.015, 270, 1001},   {0.014, 270, 1000},    // 0.015 px is 0.5 step: rounds up
        {-1, 270, 1000},      {-1e12, 270, 1000},    {271, 270, 10000},
        {1e12, 270, 10000},   {240, 270, 9000},      // the top of the lime section
        {100, 0, 1000},       {-5, 0, 1000},         // a track of no length
        {std::numeric_limits<double>::infinity(), 270, 10000},
        {-std::numeric_limits<double>::infinity(), 270, 1000},
        {std::numeric_limits<double>::quiet_NaN(), 270, 1000},
    };
    for (const Case &c : cases)
        EXPECT_EQ(hg::SliderOffsetToValue(c.offset, kAmplify, c.length), c.value)
            << "offset " << c.offset << " on a track of " << c.length;
}

TEST(SliderScale, ValueAndOffsetRoundTripForEveryValue)
{
    // Every value maps to an offset that maps back to it, on a track shorter
    // than the range (many values per pixel) and on one longer than it.
    for (int length : {270, 405, 20000})
        for (int v = kAmplify.min; v <= kAmplify.max; ++v)
            ASSERT_EQ(hg::SliderOffsetToValue(hg::SliderValueToOffset(v, kAmplify, length), kAmplify, length), v)
                << "track " << length;
}

TEST(SliderScale, ClampKeepsValuesInRange)
{
    EXPECT_EQ(hg::ClampSliderValue(999, kAmplify), 1000);
    EXPECT_EQ(hg::ClampSliderValue(10001, kAmplify), 10000);
    EXPECT_EQ(hg::ClampSliderValue(std::numeric_limits<long long>::min(), kAmplify), 1000);
    EXPECT_EQ(hg::ClampSliderValue(std::numeric_limits<long long>::max(), kAmplify), 10000);
    EXPECT_EQ(hg::ClampSliderValue(4321, kAmplify), 4321);
    EXPECT_DOUBLE_EQ(hg::SliderValueToOffset(-5, kAmplify, 270), 0.0);
    EXPECT_DOUBLE_EQ(hg::SliderValueToOffset(20000, kAmplify, 270), 270.0);
}

TEST(WheelNotches, CountsWholeNotchesAndKeepsTheRest)
{
    struct Step {
        int delta;
        int notches;
    };
    struct Case {
        const char *name;
        std::vector<Step> steps;
    } const cases[] = {
        {"one notch towards", {{120, 1}}},
        {"one notch away", {{-120, -1}}},
        {"two notches at once", {{240, 2}}},
        {"high-resolution parts add up", {{40, 0}, {40, 0}, {40, 1}, {40, 0}}},
        {"a turn back drops the rest", {{100, 0}, {-100, 0}, {-20, -1}}},
        {"rest carries over a notch", {{150, 1}, {90, 1}}},
        {"huge deltas do not overflow", {{std::numeric_limits<int>::max(), 1000000}}},
    };
    for (const Case &c : cases) {
        hg::WheelNotches w;
        for (const Step &s : c.steps)
            EXPECT_EQ(w.add(s.delta), s.notches) << c.name << ", delta " << s.delta;
    }
}

TEST(CenteredPlacement, CentresOnTheScreenWithinTheDesktop)
{
    struct Case {
        const char *name;
        hg::Rect screen;
        hg::Point desktop;
        int w, h;
        hg::Point at;
    } const cases[] = {
        {"fits", {0, 0, 1920, 1200}, {0, 0}, 1258, 433, {331, 383}},
        {"odd rest cut toward zero", {0, 0, 1921, 1201}, {0, 0}, 1258, 433, {331, 384}},
        {"screen right of another", {1920, 0, 1920, 1080}, {0, 0}, 1000, 500, {2380, 290}},
        {"wider than the screen", {0, 0, 1024, 768}, {0, 0}, 1274, 467, {0, 150}},
        {"taller than the screen", {0, 0, 1920, 400}, {0, 0}, 1274, 467, {323, 0}},
        {"desktop left of the primary", {0, 0, 800, 600}, {-1280, -200}, 1274, 700, {-237, -50}},
    };
    for (const Case &c : cases) {
        const hg::Point p = hg::CenteredPlacement(c.screen, c.desktop, c.w, c.h);
        EXPECT_EQ(p.x, c.at.x) << c.name;
        EXPECT_EQ(p.y, c.at.y) << c.name;
    }
}

TEST(DeviceErrorText, NamesTheDeviceAndTheCodeOnTwoLines)
{
    EXPECT_EQ(hg::DeviceErrorText(hg::DeviceError::Init, QStringLiteral("Hushgauge Test Input 1"), 3),
              QStringLiteral("Error while initializing input device: Hushgauge Test Input 1\r\nBASS error code: 3"));
    EXPECT_EQ(hg::DeviceErrorText(hg::DeviceError::Start, QStringLiteral("Mikrofon «Küche»"), 8),
              QStringLiteral("Error while starting input device: Mikrofon «Küche»\r\nBASS error code: 8"));
    EXPECT_EQ(hg::DeviceErrorText(hg::DeviceError::Init, QString(), -1),
              QStringLiteral("Error while initializing input device: \r\nBASS error code: -1"));
}

} // namespace
