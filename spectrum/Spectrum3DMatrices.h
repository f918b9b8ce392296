// World, view and projection matrices of the display's two draws: the fixed
// grid and the zoomed and scrolled spectrum curve. Pure functions; called on
// the render thread once per draw.
#pragma once

#include "Spectrum3DTypes.h"

namespace hg {

// Left-handed perspective, 45 degree vertical field of view, aspect 1 (the
// panel's shape does not matter: the picture is stretched), near plane 1 and
// a far plane of about 50000. The same for both draws.
_D3DMATRIX ProjectionMatrix();

// Camera x of the spectrum draw: 12.0165 x (zoom - 1) x scroll further right
// than the grid's camera, so that scroll 1 brings the curve's right end into
// view. Computed in extended precision and held as a double.
double SpectrumCameraX(double zoom, double scroll);

// Camera x of the grid draw.
inline constexpr double kGridCameraX = 5.99712;

// The grid's matrices: world diagonal (0.006394, 11.3, 1, 1), camera at
// (5.99712, 5.6, -15) looking along +z (the drawing layer's left-handed
// look-at). Zoom and scroll do not move the grid.
TViewMatrices GridMatrices();

// The curve's matrices: world x scale zoom x 92/100 x 0.00695 (the grid's
// value at zoom 1), camera x from SpectrumCameraX. At zoom 1 and scroll 0 the
// result equals GridMatrices() bit for bit.
TViewMatrices SpectrumMatrices(double zoom, double scroll);

} // namespace hg
