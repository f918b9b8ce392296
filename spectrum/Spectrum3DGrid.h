// The two fixed background grids of the spectrum display (13 lines, 26
// vertices, drawn as a line list). Pure data; read on any thread.
#pragma once

#include "Spectrum3DTypes.h"

#include <array>

namespace hg {

using TGridVertexes = std::array<TColorVertex, kGridVertexCount>;

// Plain grid: six level lines across the whole spectrum and seven frequency
// lines from the base line to the top line, all grey 0.12.
const TGridVertexes &GridVertexes();

// Gradient grid: the same lines, most of them fading to black towards their
// right or top end, some shorter, so the grid fades out to the upper right.
const TGridVertexes &GradientGridVertexes();

// The grid the display builds for a device: the gradient one when asked for.
inline const TGridVertexes &GridVertexesFor(bool gradient)
{
    return gradient ? GradientGridVertexes() : GridVertexes();
}

} // namespace hg
