// Tests of the curve's vertices (heights, colours, skipped values) and of
// the visible window for zoom and scroll.
#include "Spectrum3DMath.h"
#include "Spectrum3DVertexes.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace hg {
namespace {

// A staging block and a value block, the staging block filled with a
// marker so that untouched slots show.
struct TCurve : testing::Test {
    std::array<float, kValueBlockSize> values{};
    std::array<TColorVertex, kSpectrumVertexCount> staging{};
    static constexpr TColorVertex kMarker{{-7, -7, -7}, {-7, -7, -7, -7}};

    void SetUp() override { staging.fill(kMarker); }
    int Convert(double amplitude) { return ConvertFFTValues(values, amplitude, staging); }
};

bool Same(const TColorVertex &a, const TColorVertex &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST_F(TCurve, ValuesBecomeVertexesWithTheirHeightAndColour)
{
    struct TCase {
        int index;       // value index 1 ... 2047
        float value;
        double amplitude;
        float x, h, g;   // expected vertex index - 1
    };
    const TCase cases[] = {
        {1, 0.0625f, 1.0, 0.9175f, 0.51375f, 0.48625f},
        {2047, 1.0f, 2.0, 1878.1225f, 2.055f, 0.0f},     // above the top line: red
        {1000, 0.0f, 1.0, 917.5f, 0.0f, 1.0f},           // silence: yellow at the base line
        {100, 1e-4f, 1.0, 91.75f, 0.10275f, 0.89725f},  // -80 dB: 10^(-80/80)
        {500, 0.0625f, 0.0, 458.75f, 0.0f, 1.0f},       // amplitude 0 flattens the curve
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(testing::Message() << "value " << c.index << " = " << c.value << ", amplitude " << c.amplitude);
        values.fill(0.0f);
        values[c.index] = c.value;
        EXPECT_EQ(Convert(c.amplitude), 0);
        const TColorVertex &v = staging[c.index - 1];
        EXPECT_EQ(v.Position.x, c.x);
        EXPECT_FLOAT_EQ(v.Position.y, c.h);
        EXPECT_EQ(v.Position.z, -0.01f);
        EXPECT_EQ(v.Color.r, 1.0f);
        EXPECT_FLOAT_EQ(v.Color.g, c.g);
        EXPECT_EQ(v.Color.b, 0.0f);
        EXPECT_EQ(v.Color.a, 1.0f);
    }
}

TEST_F(TCurve, EverySlotIsWrittenAndValueZeroIsIgnored)
{
    for (std::size_t i = 0; i < kValueBlockSize; ++i)
        values[i] = static_cast<float>(i) / 4096.0f;
    EXPECT_EQ(Convert(1.0), 0);
    const auto first = staging;
    for (std::size_t s = 0; s < kSpectrumVertexCount; ++s)
        ASSERT_EQ(staging[s].Position.x, static_cast<float>(static_cast<long double>(s + 1) * 0.9175L)) << "slot " << s;

    // A second run over the same data gives the same block; value 0 changes
    // nothing, whatever it holds.
    values[0] = -5.0f;
    EXPECT_EQ(Convert(1.0), 0);
    EXPECT_EQ(std::memcmp(first.data(), staging.data(), sizeof first), 0);
}

TEST_F(TCurve, UnusableValuesAreSkippedAndLaterVertexesMoveDown)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : {-1.0f, -1e-30f, nan, inf, -inf}) {
        SCOPED_TRACE(testing::Message() << "bad value " << bad);
        staging.fill(kMarker);
        values.fill(0.0625f);
        values[10] = bad;
        values[2000] = bad;
        EXPECT_EQ(Convert(1.0), 2);
        // Before the first bad value: in place.
        EXPECT_EQ(staging[8].Position.x, 9 * 0.9175f);
        // Value 11 takes slot 9, value 2001 slot 1998, each with its own x.
        EXPECT_EQ(staging[9].Position.x, static_cast<float>(11 * 0.9175L));
        EXPECT_EQ(staging[1998].Position.x, static_cast<float>(2001 * 0.9175L));
        EXPECT_EQ(staging[2044].Position.x, static_cast<float>(2047 * 0.9175L));
        EXPECT_FLOAT_EQ(staging[2044].Position.y, 0.51375f);
        // The last two slots keep what they held.
        EXPECT_TRUE(Same(staging[2045], kMarker));
        EXPECT_TRUE(Same(staging[2046], kMarker));
        for (const TColorVertex &v : staging)
            ASSERT_TRUE(std::isfinite(v.Position.x) && std::isfinite(v.Position.y) && std::isfinite(v.Color.g));
    }
}

TEST_F(TCurve, NegativeZeroIsSilence)
{
    values.fill(-0.0f);
    EXPECT_EQ(Convert(1.0), 0);
    EXPECT_EQ(staging[0].Position.y, 0.0f);
    EXPECT_EQ(staging[0].Color.g, 1.0f);
}

TEST(Spectrum3DVisibleWindow, ZoomAndScrollSelectTheVertexesInView)
{
    struct TCase {
        double zoom, scroll;
        int32_t start, count;
    };
    const TCase cases[] = {
        {1.0, 0.0, 0, 2046},    // default view: the last vertex is not drawn
        {1.0, 0.5, 0, 2046},    // zoom 1 has nothing to scroll
        {1.0, 1.0, 0, 2046},
        {2.0, 0.0, 0, 1023},
        {2.0, 1.0, 1024, 1023},
        {3.0, 1.0, 1366, 680},  // 682 + 1366 would run past the buffer
        {4.0, 0.5, 768, 511},
        {10.0, 1.0, 1845, 201},
        {2046.0, 1.0, 2046, 0},
    };
    for (const TCase &c : cases)
        EXPECT_EQ(VisibleWindow(c.zoom, c.scroll), (TVisibleWindow{c.start, c.count}))
            << "zoom " << c.zoom << " scroll " << c.scroll;
}

TEST(Spectrum3DVisibleWindow, OutOfRangeViewsStayInsideTheBuffer)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double zooms[] = {1e-300, 0.25, 0.5, 0.999, 1.0, 1.5, 3.0, 100.0, 5000.0, 1e9, -1.0, -3.0, -1e300};
    const double scrolls[] = {-inf, -1e12, -1.0, -0.25, 0.0, 0.5, 1.0, 1.5, 3.0, 1e12, inf};
    for (double zoom : zooms) {
        for (double scroll : scrolls) {
            if (std::isinf(scroll) && zoom == 1.0)
                continue; // (zoom - 1) x infinite scroll: no number, see below
            const TVisibleWindow w = VisibleWindow(zoom, scroll);
            EXPECT_GE(w.start, 0) << zoom << " " << scroll;
            EXPECT_LE(w.start, 2046) << zoom << " " << scroll;
            EXPECT_GE(w.count, 0) << zoom << " " << scroll;
            EXPECT_LE(w.start + w.count, 2047) << zoom << " " << scroll;
        }
    }
    // A view wider than the curve shows all of it, no more.
    EXPECT_EQ(VisibleWindow(0.5, 0.0), (TVisibleWindow{0, 2046}));
    // Scrolled past the left end: the window starts at the first vertex.
    EXPECT_EQ(VisibleWindow(2.0, -0.5), (TVisibleWindow{0, 1023}));
}

TEST(Spectrum3DVisibleWindow, ZoomZeroAndNonNumbersFailTheFrame)
{
    EXPECT_THROW(VisibleWindow(0.0, 0.0), EZeroDivide);
    EXPECT_THROW(VisibleWindow(-0.0, 1.0), EZeroDivide);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_THROW(VisibleWindow(nan, 0.0), EInvalidOp);
    EXPECT_THROW(VisibleWindow(2.0, nan), EInvalidOp);
    EXPECT_THROW(VisibleWindow(inf, 0.0), EInvalidOp);
    EXPECT_THROW(VisibleWindow(1.0, inf), EInvalidOp); // 0 x infinity
}

} // namespace
} // namespace hg
