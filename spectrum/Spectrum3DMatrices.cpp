// Matrices of the grid and spectrum draws (see Spectrum3DMatrices.h). Render
// thread; no state.
#include "Spectrum3DMatrices.h"

#include <bit>
#include <cmath>
#include <cstdint>

namespace hg {
namespace {

constexpr float kWorldY = 11.3f;
constexpr float kGridScaleX = 0.006394f;
constexpr float kCameraY = 5.6f;
constexpr float kCameraZ = -15.0f;
// pi/8, the half of the vertical field of view, as a single.
constexpr float kHalfAngle = std::bit_cast<float>(uint32_t{0x3EC90FDB});
// far / (far - near) of the projection, as a single (about 1.00002).
constexpr float kQ = std::bit_cast<float>(uint32_t{0x3F8000A8});

D3DMATRIX Diagonal(float sx, float sy, float sz, float sw)
{
    D3DMATRIX r{};
    r.m[0][0] = sx;
    r.m[1][1] = sy;
    r.m[2][2] = sz;
    r.m[3][3] = sw;
    return r;
}

void Normalise(float v[3])
{
    const float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len > 0.0f) {
        v[0] /= len;
        v[1] /= len;
        v[2] /= len;
    }
}

void Cross(const float a[3], const float b[3], float out[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

float Dot(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

D3DMATRIX ViewFromCameraX(double cx)
{
    const float eye[3] = {static_cast<float>(cx), kCameraY, kCameraZ};
    const float target[3] = {static_cast<float>(cx), kCameraY, 0.0f};
    const float up[3] = {0.0f, 1.0f, 0.0f};
    return LookAtLH(eye, target, up);
}

} // namespace

D3DMATRIX LookAtLH(const float eye[3], const float target[3], const float up[3])
{
    float z[3] = {target[0] - eye[0], target[1] - eye[1], target[2] - eye[2]};
    Normalise(z);
    float x[3];
    Cross(up, z, x);
    Normalise(x);
    float y[3];
    Cross(z, x, y);
    D3DMATRIX r{};
    for (int i = 0; i < 3; ++i) {
        r.m[i][0] = x[i];
        r.m[i][1] = y[i];
        r.m[i][2] = z[i];
        r.m[i][3] = 0.0f;
    }
    r.m[3][0] = -Dot(x, eye);
    r.m[3][1] = -Dot(y, eye);
    r.m[3][2] = -Dot(z, eye);
    r.m[3][3] = 1.0f;
    return r;
}

D3DMATRIX ProjectionMatrix()
{
    const float yScale = static_cast<float>(1.0L / std::tan(static_cast<long double>(kHalfAngle)));
    const float xScale = yScale / 1.0f;
    D3DMATRIX r{};
    r.m[0][0] = xScale;
    r.m[1][1] = yScale;
    r.m[2][2] = kQ;
    r.m[2][3] = 1.0f;
    r.m[3][2] = -kQ;
    return r;
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
