// Records shared by the spectrum display's geometry: the drawing layer's
// 28-byte vertex and 4x4 matrix (render/S3DTypes.h), the three matrices of
// one draw, and the sizes of the display's buffers. No Qt, no GL; any thread.
#pragma once

#include "render/S3DTypes.h"

#include <cstddef>

namespace hg {

// The three matrices uploaded before one draw.
struct TViewMatrices {
    _D3DMATRIX World;
    _D3DMATRIX View;
    _D3DMATRIX Projection;
};

// Sizes of the spectrum buffers.
inline constexpr std::size_t kValueBlockSize = 2048;       // floats in one value block
inline constexpr std::size_t kSpectrumVertexCount = 2047;  // vertices of the curve
inline constexpr std::size_t kGridVertexCount = 26;        // vertices of the grid (13 lines)
static_assert(kSpectrumVertexCount * sizeof(TColorVertex) == 57316);
static_assert(kGridVertexCount * sizeof(TColorVertex) == 728);

} // namespace hg
