// Plain records shared by the spectrum display's geometry: the 28-byte vertex
// and the 4x4 matrix. No Qt, no GL; usable on any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hg {

// One vertex of all drawn geometry: position (x, y, z) then colour (r, g, b,
// a), seven 32-bit floats, 28 bytes, no padding. The drawing layer reads it
// as attribute 0 (three floats at 0) and attribute 1 (four floats at 12).
struct TColorVertex {
    float x, y, z;
    float r, g, b, a;
};
static_assert(sizeof(TColorVertex) == 28);
static_assert(offsetof(TColorVertex, x) == 0);
static_assert(offsetof(TColorVertex, r) == 12);
static_assert(offsetof(TColorVertex, a) == 24);

// 16 single-precision floats row by row. Points are row vectors multiplied
// on the left, so a translation sits in the fourth row (m[3][0..2]).
struct D3DMATRIX {
    float m[4][4];
};
static_assert(sizeof(D3DMATRIX) == 64);

// The three matrices uploaded before one draw.
struct TViewMatrices {
    D3DMATRIX World;
    D3DMATRIX View;
    D3DMATRIX Projection;
};

// Sizes of the spectrum buffers.
inline constexpr std::size_t kValueBlockSize = 2048;       // floats in one value block
inline constexpr std::size_t kSpectrumVertexCount = 2047;  // vertices of the curve
inline constexpr std::size_t kGridVertexCount = 26;        // vertices of the grid (13 lines)
static_assert(kSpectrumVertexCount * sizeof(TColorVertex) == 57316);
static_assert(kGridVertexCount * sizeof(TColorVertex) == 728);

} // namespace hg
