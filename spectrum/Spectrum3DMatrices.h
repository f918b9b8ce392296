// World, view and projection matrices of the display's two draws: the fixed
// grid and the zoomed and scrolled spectrum curve. Pure functions; called on
// the render thread once per draw.
#pragma once

#include "Spectrum3DTypes.h"

namespace hg {

// A left-handed look-at matrix (single-precision components): z = the unit
// vector from eye to target, x = unit(up x z), y = z x x; rows (x.x, y.x,
// z.x, 0), (x.y, y.y, z.y, 0), (x.z, y.z, z.z, 0), (-x.eye, -y.eye, -z.eye, 1).
D3DMATRIX LookAtLH(const float eye[3], const float target[3], const float up[3]);

// Left-handed perspective, 45 degree vertical field of view, aspect 1, near
// plane 1 and a far plane of about 50000. The same for both draws.
D3DMATRIX ProjectionMatrix();

// Camera x of the spectrum draw: 12.0165 x (zoom - 1) x scroll further right
// than the grid's camera, so that scroll 1 brings the curve's right end into
// view. Computed in extended precision and held as a double.
double SpectrumCameraX(double zoom, double scroll);

// Camera x of the grid draw.
inline constexpr double kGridCameraX = 5.99712;

// The grid's matrices: world diagonal (0.006394, 11.3, 1, 1), camera at
// (5.99712, 5.6, -15) looking along +z. Zoom and scroll do not move the grid.
TViewMatrices GridMatrices();

// The curve's matrices: world x scale zoom x 92/100 x 0.00695 (the grid's
// value at zoom 1), camera x from SpectrumCameraX. At zoom 1 and scroll 0 the
// result equals GridMatrices() bit for bit.
TViewMatrices SpectrumMatrices(double zoom, double scroll);

} // namespace hg
