// Matrices of the grid and spectrum draws (see Spectrum3DMatrices.h). Render
// thread; no state.
#include "Spectrum3DMatrices.h"

#include "render/S3DMatrix.h"

#include <bit>
#include <cstdint>

namespace hg {
namespace {

constexpr float kWorldY = 11.3f;
constexpr float kGridScaleX = 0.006394f;
constexpr float kCameraY = 5.6f;
constexpr float kCameraZ = -15.0f;
// far / (far - near) of the projection, as a single (about 1.00002).
constexpr float kQ = std::bit_cast<float>(uint32_t{0x3F8000A8});

_D3DMATRIX Diagonal(float sx, float sy, float sz, float sw)
{
    _D3DMATRIX r{};
    r.m[0][0] = sx;
    r.m[1][1] = sy;
    r.m[2][2] = sz;
    r.m[3][3] = sw;
    return r;
}

// The camera stands at (cx, 5.6, -15) and looks straight along +z.
_D3DMATRIX ViewFromCameraX(double cx)
{
    const float x = static_cast<float>(cx);
    return LookAtMatrixLH({x, kCameraY, kCameraZ}, {x, kCameraY, 0.0f}, {0.0f, 1.0f, 0.0f});
}

} // namespace

_D3DMATRIX ProjectionMatrix()
{
    // Half of the 45 degree field of view is pi/8 as a single (0x3EC90FDB).
    const float yScale = PerspectiveYScale(kHalfFieldOfView);
    const float xScale = yScale / 1.0f;
    return PerspectiveMatrixLH(xScale, yScale, kQ);
}

double SpectrumCameraX(double zoom, double scroll)
{
    const long double z = zoom;
    return static_cast<double>((12.0165L * z - 12.0165L) * static_cast<long double>(scroll) + 5.99712L);
}

TViewMatrices GridMatrices()
{
    return TViewMatrices{Diagonal(kGridScaleX, kWorldY, 1.0f, 1.0f), ViewFromCameraX(kGridCameraX),
                         ProjectionMatrix()};
}

TViewMatrices SpectrumMatrices(double zoom, double scroll)
{
    const float sx = static_cast<float>(static_cast<long double>(zoom) * 92.0L / 100.0L * 0.00695L);
    return TViewMatrices{Diagonal(sx, kWorldY, 1.0f, 1.0f), ViewFromCameraX(SpectrumCameraX(zoom, scroll)),
                         ProjectionMatrix()};
}

} // namespace hg
