// Tests of the two background grids: every vertex, bit for bit, and the
// buffer layout the drawing layer uploads.
#include "Spectrum3DGrid.h"

#include <gtest/gtest.h>

#include <cstring>

namespace hg {
namespace {

// Single-precision bit patterns of the grid's values, worked out apart from
// the code (nearest single of each decimal).
constexpr uint32_t k0 = 0x00000000, k1 = 0x3F800000, kGrey = 0x3DF5C28F, kGrey08 = 0x3DA3D70A;
constexpr uint32_t kRight = 0x44EAEC29 /* 1879.38 */, kBeyond = 0x44FA6CCD /* 2003.4 */;
constexpr uint32_t kL1 = 0x3DC29B39, kL2 = 0x3E3C14E6, kL3 = 0x3EA4E1A1, kL4 = 0x3F0E38E4;
constexpr uint32_t kF1 = 0x429F0000, kF2 = 0x436B8E39, kF3 = 0x43EB8E39, kF4 = 0x446B8E39, kF5 = 0x44AFE28C;

struct TRow {
    uint32_t x, y, grey;
};

constexpr TRow kPlainRows[26] = {
    {k0, k0, kGrey},     {kRight, k0, kGrey},  {k0, kL1, kGrey},     {kRight, kL1, kGrey}, {k0, kL2, kGrey},
    {kRight, kL2, kGrey}, {k0, kL3, kGrey},    {kRight, kL3, kGrey}, {k0, kL4, kGrey},     {kRight, kL4, kGrey},
    {k0, k1, kGrey},     {kRight, k1, kGrey},  {k0, k0, kGrey},      {k0, k1, kGrey},      {kF1, k0, kGrey},
    {kF1, k1, kGrey},    {kF2, k0, kGrey},     {kF2, k1, kGrey},     {kF3, k0, kGrey},     {kF3, k1, kGrey},
    {kF4, k0, kGrey},    {kF4, k1, kGrey},     {kF5, k0, kGrey},     {kF5, k1, kGrey},     {kRight, k0, kGrey},
    {kRight, k1, kGrey},
};

constexpr TRow kGradientRows[26] = {
    {k0, k0, kGrey},      {kBeyond, k0, kGrey},            {k0, kL1, kGrey},     {kBeyond, kL1, k0},
    {k0, kL2, kGrey},     {kBeyond, kL2, k0},              {k0, kL3, kGrey},     {kBeyond, kL3, k0},
    {k0, kL4, kGrey},     {0x448F199A /* 1144.8 */, kL4, k0}, {k0, k1, kGrey},   {0x446E8000 /* 954 */, k1, k0},
    {k0, k0, kGrey},      {k0, k1, kGrey},                 {kF1, k0, kGrey},     {kF1, k1, kGrey08},
    {kF2, k0, kGrey},     {kF2, k1, k0},                   {kF3, k0, kGrey},     {kF3, 0x3F666666 /* 0.9 */, k0},
    {kF4, k0, kGrey},     {kF4, 0x3F19999A /* 0.6 */, k0}, {kF5, k0, kGrey},     {kF5, 0x3ECCCCCD /* 0.4 */, k0},
    {kRight, k0, kGrey},  {kRight, 0x3E4CCCCD /* 0.2 */, k0},
};

void ExpectGrid(const TGridVertexes &grid, const TRow (&rows)[26])
{
    // The buffer as the device receives it: 728 bytes, 7 words per vertex.
    static_assert(sizeof(TGridVertexes) == 728);
    uint32_t words[182];
    std::memcpy(words, grid.data(), sizeof words);
    for (int v = 0; v < 26; ++v) {
        const TRow &r = rows[v];
        const uint32_t expected[7] = {r.x, r.y, k0, r.grey, r.grey, r.grey, k1};
        for (int w = 0; w < 7; ++w)
            EXPECT_EQ(words[v * 7 + w], expected[w]) << "vertex " << v << " word " << w;
    }
}

TEST(Spectrum3DGrid, PlainGridHoldsTheTableBitForBit)
{
    ExpectGrid(GridVertexes(), kPlainRows);
}

TEST(Spectrum3DGrid, GradientGridHoldsTheTableBitForBit)
{
    ExpectGrid(GradientGridVertexes(), kGradientRows);
}

TEST(Spectrum3DGrid, VertexesSitAtTheirByteOffsets)
{
    const TGridVertexes &grid = GridVertexes();
    const auto *base = reinterpret_cast<const unsigned char *>(grid.data());
    EXPECT_EQ(reinterpret_cast<const unsigned char *>(&grid[0]) - base, 0);
    EXPECT_EQ(reinterpret_cast<const unsigned char *>(&grid[25]) - base, 700);
    EXPECT_EQ(sizeof grid, 728u);
}

TEST(Spectrum3DGrid, TheFlagChoosesTheBuilder)
{
    EXPECT_EQ(&GridVertexesFor(false), &GridVertexes());
    EXPECT_EQ(&GridVertexesFor(true), &GradientGridVertexes());
}

} // namespace
} // namespace hg
