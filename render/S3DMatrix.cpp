// Matrix construction for the drawing layer (see S3DMatrix.h). Pure
// functions; any thread.
#include "render/S3DMatrix.h"

#include <cmath>

namespace {

TVector3 Subtract(TVector3 a, TVector3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

TVector3 Cross(TVector3 a, TVector3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

long double Dot(TVector3 a, TVector3 b)
{
    return static_cast<long double>(a.x) * b.x + static_cast<long double>(a.y) * b.y +
           static_cast<long double>(a.z) * b.z;
}

// A zero vector stays zero instead of turning into NaNs.
TVector3 Normalise(TVector3 v)
{
    const long double length = std::sqrt(Dot(v, v));
    if (length == 0.0L)
        return v;
    return {static_cast<float>(v.x / length), static_cast<float>(v.y / length),
            static_cast<float>(v.z / length)};
}

} // namespace

_D3DMATRIX MatrixIdentity()
{
    _D3DMATRIX result{};
    for (int i = 0; i < 4; ++i)
        result.m[i][i] = 1.0f;
    return result;
}

float PerspectiveYScale(float aHalfAngle)
{
    return static_cast<float>(1.0L / std::tan(static_cast<long double>(aHalfAngle)));
}

_D3DMATRIX PerspectiveMatrixLH(float aXScale, float aYScale, float aQ)
{
    _D3DMATRIX result{};
    result.m[0][0] = aXScale;
    result.m[1][1] = aYScale;
    result.m[2][2] = aQ;
    result.m[2][3] = 1.0f;
    result.m[3][2] = -aQ;
    return result;
}

_D3DMATRIX DefaultProjectionMatrix(std::int32_t aWidth, std::int32_t aHeight)
{
    const float yScale = PerspectiveYScale(kHalfFieldOfView);
    const float aspect =
        static_cast<float>(static_cast<long double>(aWidth) / static_cast<long double>(aHeight));
    const float xScale = yScale / aspect;
    return PerspectiveMatrixLH(xScale, yScale, kDefaultProjectionQ);
}

_D3DMATRIX LookAtMatrixLH(TVector3 aEye, TVector3 aTarget, TVector3 aUp)
{
    const TVector3 z = Normalise(Subtract(aTarget, aEye));
    const TVector3 x = Normalise(Cross(aUp, z));
    const TVector3 y = Cross(z, x);
    _D3DMATRIX result{};
    result.m[0][0] = x.x;
    result.m[0][1] = y.x;
    result.m[0][2] = z.x;
    result.m[1][0] = x.y;
    result.m[1][1] = y.y;
    result.m[1][2] = z.y;
    result.m[2][0] = x.z;
    result.m[2][1] = y.z;
    result.m[2][2] = z.z;
    // 0 - dot rather than -dot: an eye on an axis gives +0, not -0.
    result.m[3][0] = static_cast<float>(0.0L - Dot(x, aEye));
    result.m[3][1] = static_cast<float>(0.0L - Dot(y, aEye));
    result.m[3][2] = static_cast<float>(0.0L - Dot(z, aEye));
    result.m[3][3] = 1.0f;
    return result;
}

_D3DMATRIX DefaultViewMatrix()
{
    return LookAtMatrixLH({0.0f, 0.0f, -3.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
}

_D3DMATRIX MatrixTranspose(const _D3DMATRIX &aMatrix)
{
    _D3DMATRIX result;
    WriteTransposed(aMatrix, &result.m[0][0]);
    return result;
}

void WriteTransposed(const _D3DMATRIX &aMatrix, float *aOut)
{
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row)
            aOut[column * 4 + row] = aMatrix.m[row][column];
}

TVector4 TransformRow(TVector4 aPoint, const _D3DMATRIX &aMatrix)
{
    const float p[4] = {aPoint.x, aPoint.y, aPoint.z, aPoint.w};
    float out[4];
    for (int j = 0; j < 4; ++j)
        out[j] = p[0] * aMatrix.m[0][j] + p[1] * aMatrix.m[1][j] + p[2] * aMatrix.m[2][j] +
                 p[3] * aMatrix.m[3][j];
    return {out[0], out[1], out[2], out[3]};
}

TVector4 ClipPosition(TVector3 aPoint, const _D3DMATRIX &aModel, const _D3DMATRIX &aView,
                      const _D3DMATRIX &aProjection)
{
    TVector4 p{aPoint.x, aPoint.y, aPoint.z, 1.0f};
    p = TransformRow(p, aModel);
    p = TransformRow(p, aView);
    return TransformRow(p, aProjection);
}
