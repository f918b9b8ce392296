// Matrix construction for the drawing layer: identity, left-handed
// perspective and look-at, the renderer's default matrices, the transpose
// that the shader's uniform block reads, and row-vector transforms. Pure
// functions, no Qt and no GL; any thread.
#pragma once

#include "render/S3DTypes.h"

#include <bit>
#include <cstdint>

struct TVector3 {
    float x, y, z;
};
struct TVector4 {
    float x, y, z, w;
};

// pi/8 as a single float (0x3EC90FDB): half of the 45 degree field of view.
inline constexpr float kHalfFieldOfView = std::bit_cast<float>(0x3EC90FDBu);
// far / (far - near) for near 1 and far 100 (0x3F814AFD): the renderer's
// default projection.
inline constexpr float kDefaultProjectionQ = std::bit_cast<float>(0x3F814AFDu);

_D3DMATRIX MatrixIdentity();

// 1 / tan(aHalfAngle), taken in extended precision, as a single float.
float PerspectiveYScale(float aHalfAngle);

// Left-handed perspective that maps depth to 0..1 for near plane 1: rows
// (xScale,0,0,0) (0,yScale,0,0) (0,0,Q,1) (0,0,-Q,0).
_D3DMATRIX PerspectiveMatrixLH(float aXScale, float aYScale, float aQ);

// The renderer's default projection for a drawing size: 45 degree vertical
// field of view, aspect aWidth / aHeight (as a single float), near 1, far
// 100. aHeight must not be 0.
_D3DMATRIX DefaultProjectionMatrix(std::int32_t aWidth, std::int32_t aHeight);

// Left-handed look-at: z = normalise(target - eye), x = normalise(up x z),
// y = z x x; rows (x.x,y.x,z.x,0) (x.y,y.y,z.y,0) (x.z,y.z,z.z,0)
// (-x.eye,-y.eye,-z.eye,1). Square roots and dot products in extended
// precision, every component stored as a single float.
_D3DMATRIX LookAtMatrixLH(TVector3 aEye, TVector3 aTarget, TVector3 aUp);

// The renderer's default view: eye (0,0,-3) looking at the origin, up +y.
_D3DMATRIX DefaultViewMatrix();

// The transpose: element [r][c] of the result is [c][r] of aMatrix. Written
// into a uniform block this is the column-major layout that the vertex
// program reads, so the program works with the caller's matrix unchanged.
_D3DMATRIX MatrixTranspose(const _D3DMATRIX &aMatrix);

// Writes the 16 floats of the transpose of aMatrix to aOut (m11, m21, m31,
// m41, m12, ...): column k of aMatrix is the k-th group of four.
void WriteTransposed(const _D3DMATRIX &aMatrix, float *aOut);

// Row vector times matrix: component j is the dot product of aPoint with
// column j of aMatrix (single precision, as the vertex program does it).
TVector4 TransformRow(TVector4 aPoint, const _D3DMATRIX &aMatrix);

// The vertex program's transform: (x, y, z, 1) x model x view x projection.
TVector4 ClipPosition(TVector3 aPoint, const _D3DMATRIX &aModel, const _D3DMATRIX &aView,
                      const _D3DMATRIX &aProjection);
