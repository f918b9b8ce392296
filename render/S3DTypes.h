// Plain types of the drawing layer: result codes, the vertex record, the
// matrix record and the clear colour. No Qt and no GL, so geometry code and
// its tests use them without a display. Any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>

// Result codes of the drawing layer, kept as signed 32-bit values: negative
// means failure.
using HRESULT = std::int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr bool Failed(HRESULT aResult) { return aResult < 0; }
constexpr bool Succeeded(HRESULT aResult) { return aResult >= 0; }

// A 4x4 matrix of single floats stored row by row (m[0] = m11 m12 m13 m14).
// Points are row vectors multiplied on the left: p' = p x M, so a
// translation sits in the fourth row.
struct _D3DMATRIX {
    float m[4][4];
};
static_assert(sizeof(_D3DMATRIX) == 64);

// Clear colour: r, g, b, a.
using TFourSingleArray = std::array<float, 4>;
static_assert(sizeof(TFourSingleArray) == 16);

struct TVertexPosition {
    float x, y, z;
};
struct TVertexColor {
    float r, g, b, a;
};

// The one vertex record of all drawn geometry: position (three floats at
// byte 0) and colour (four floats at byte 12), 28 bytes, tightly packed.
struct TColorVertex {
    TVertexPosition Position;
    TVertexColor Color;
};
static_assert(std::is_standard_layout_v<TColorVertex>);
static_assert(sizeof(TColorVertex) == 28);
static_assert(offsetof(TColorVertex, Position) == 0);
static_assert(offsetof(TColorVertex, Color) == 12);

// Raised when the renderer cannot be made ("Failed to initialize Direct3D
// 11!") or the shader cannot be made ("Failed to initialize shader(s).").
class EDrawingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Raised when a shader program is missing from the program's resources; the
// message names the resource.
class EResNotFound : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char *kRendererFailedText = "Failed to initialize Direct3D 11!";
inline constexpr const char *kShaderFailedText = "Failed to initialize shader(s).";
