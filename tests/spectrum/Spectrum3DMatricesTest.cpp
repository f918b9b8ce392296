// Tests of the grid's and the curve's matrices: the exact constants, the
// zoom and scroll cases, and where grid-space points land on screen.
#include "Spectrum3DMatrices.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>

namespace hg {
namespace {

uint32_t Bits(float f) { return std::bit_cast<uint32_t>(f); }

void ExpectRow(const _D3DMATRIX &m, int row, float a, float b, float c, float d)
{
    EXPECT_EQ(m.m[row][0], a) << "row " << row;
    EXPECT_EQ(m.m[row][1], b) << "row " << row;
    EXPECT_EQ(m.m[row][2], c) << "row " << row;
    EXPECT_EQ(m.m[row][3], d) << "row " << row;
}

// Normalised device x of a grid-space point (row vector times world, view,
// projection, then divided by w).
double ScreenX(const TViewMatrices &t, float x, float y, float z)
{
    double p[4] = {x, y, z, 1};
    for (const _D3DMATRIX *m : {&t.World, &t.View, &t.Projection}) {
        double q[4] = {};
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r)
                q[c] += p[r] * m->m[r][c];
        std::memcpy(p, q, sizeof p);
    }
    return p[0] / p[3];
}

TEST(Spectrum3DMatrices, GridMatricesHoldTheFixedValues)
{
    const TViewMatrices g = GridMatrices();
    ExpectRow(g.World, 0, 0.006394f, 0, 0, 0);
    ExpectRow(g.World, 1, 0, 11.3f, 0, 0);
    ExpectRow(g.World, 2, 0, 0, 1, 0);
    ExpectRow(g.World, 3, 0, 0, 0, 1);

    ExpectRow(g.View, 0, 1, 0, 0, 0);
    ExpectRow(g.View, 1, 0, 1, 0, 0);
    ExpectRow(g.View, 2, 0, 0, 1, 0);
    ExpectRow(g.View, 3, -5.99712f, -5.6f, 15, 1);

    EXPECT_EQ(Bits(g.Projection.m[0][0]), 0x401A8279u);
    EXPECT_EQ(Bits(g.Projection.m[1][1]), 0x401A8279u);
    EXPECT_EQ(Bits(g.Projection.m[2][2]), 0x3F8000A8u);
    EXPECT_EQ(Bits(g.Projection.m[3][2]), 0xBF8000A8u);
    const float s = std::bit_cast<float>(0x401A8279u), q = std::bit_cast<float>(0x3F8000A8u);
    ExpectRow(g.Projection, 0, s, 0, 0, 0);
    ExpectRow(g.Projection, 1, 0, s, 0, 0);
    ExpectRow(g.Projection, 2, 0, 0, q, 1);
    ExpectRow(g.Projection, 3, 0, 0, -q, 0);
}

TEST(Spectrum3DMatrices, DefaultSpectrumViewEqualsTheGridBitForBit)
{
    const TViewMatrices g = GridMatrices();
    const TViewMatrices s = SpectrumMatrices(1.0, 0.0);
    EXPECT_EQ(std::memcmp(&g, &s, sizeof g), 0);
}

TEST(Spectrum3DMatrices, ZoomScalesTheCurveAndScrollMovesTheCamera)
{
    struct TCase {
        double zoom, scroll;
        float sx, cameraX;
    };
    const TCase cases[] = {
        {2.0, 0.0, 0.012788f, 5.99712f},
        {2.0, 1.0, 0.012788f, 18.01362f},
        {4.0, 0.5, 0.025576f, 24.02187f},
    };
    for (const TCase &c : cases) {
        const TViewMatrices m = SpectrumMatrices(c.zoom, c.scroll);
        SCOPED_TRACE(testing::Message() << "zoom " << c.zoom << " scroll " << c.scroll);
        EXPECT_EQ(m.World.m[0][0], c.sx);
        EXPECT_EQ(m.World.m[1][1], 11.3f);
        ExpectRow(m.View, 3, -c.cameraX, -5.6f, 15, 1);
        const _D3DMATRIX gridProjection = GridMatrices().Projection;
        EXPECT_EQ(std::memcmp(&m.Projection, &gridProjection, sizeof m.Projection), 0);
    }
}

TEST(Spectrum3DMatrices, CurveEndsMeetTheGridEdgesAtBothEndsOfTheScroll)
{
    const TViewMatrices grid = GridMatrices();
    const double gridLeft = ScreenX(grid, 0.0f, 0.0f, 0.0f);
    const double gridRight = ScreenX(grid, 1879.38f, 0.0f, 0.0f);
    // The grid fills the view with a narrow margin (its right edge at about
    // 98.4 % of the panel's width).
    EXPECT_NEAR((gridRight + 1) / 2, 0.984, 0.001);

    const float first = 0.9175f, last = 1878.1225f;
    for (double zoom : {1.0, 2.0, 3.0, 10.0}) {
        SCOPED_TRACE(testing::Message() << "zoom " << zoom);
        // Scroll 0 keeps the curve's left end at the grid's left edge ...
        EXPECT_NEAR(ScreenX(SpectrumMatrices(zoom, 0.0), 0.0f, 0.0f, -0.01f), gridLeft, 0.002);
        // ... scroll 1 brings its right end to the grid's right edge.
        EXPECT_NEAR(ScreenX(SpectrumMatrices(zoom, 1.0), last, 0.0f, -0.01f), gridRight, 0.004 * zoom);
        EXPECT_LT(ScreenX(SpectrumMatrices(zoom, 1.0), first, 0.0f, -0.01f), gridRight);
    }
}

} // namespace
} // namespace hg
