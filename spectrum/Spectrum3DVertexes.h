// The spectrum curve's geometry: one value block turned into the 2047
// vertices of a line strip, and the part of it that zoom and scroll leave in
// view. Pure functions; called on the render thread once per frame (and once
// on the window thread when a device is made). Nothing here allocates.
#pragma once

#include "Spectrum3DTypes.h"

#include <cstdint>
#include <span>

namespace hg {

using TValueBlock = std::span<float, kValueBlockSize>;
using TConstValueBlock = std::span<const float, kValueBlockSize>;
using TSpectrumStaging = std::span<TColorVertex, kSpectrumVertexCount>;

// Box text for a value that cannot be turned into a vertex.
inline constexpr const char *kCreateFFTVertexesError = "Error: Exception: Create FFT vertexes";

// Writes values 1 ... 2047 of `values` into consecutive slots of `staging`,
// from slot 0: x = i x 0.9175, height h = v^(1/4) x 1.0275 x amplitude (the
// fourth root as two square roots, in extended precision), z = -0.01, colour
// (1, 1 - min(h, 1), 0, 1), so yellow at 0 and red from height 1 up.
// Value 0 is not used.
//
// A value that has no real fourth root (negative), or that is not a finite
// number (NaN, infinity, which would put a vertex at no place on screen), is
// skipped: it takes no slot, so the later values land one slot lower, each
// with its own x, and the last slots keep what they held. Returns the number
// of values skipped; the display reports each one.
int ConvertFFTValues(TConstValueBlock values, double amplitude, TSpectrumStaging staging);

// The part of the curve that one draw covers: vertices start ... start +
// count - 1.
struct TVisibleWindow {
    int32_t start;
    int32_t count;
    friend bool operator==(const TVisibleWindow &, const TVisibleWindow &) = default;
};

// The visible window for a zoom (1 = the whole spectrum) and a scroll (0 =
// left end, 1 = right end). The default view (zoom exactly 1, scroll exactly
// 0) draws vertices 0 ... 2045. Otherwise count = trunc(2046 / zoom), start =
// trunc(((count + 1) x zoom - (count + 1)) x scroll), and when the window
// would end past vertex 2046 the count is cut to 2046 - start.
//
// A zoom below 1 or a scroll outside 0 ... 1 can put the window partly
// outside the buffer; it is then cut to the buffer (start 0 ... 2046, count
// at most the vertices left after start), so a draw never reads past it.
//
// Throws EZeroDivide for zoom 0 and EInvalidOp when the arithmetic gives
// no number (a zoom or scroll that is not a number, an infinite zoom): the
// frame reports these as its own failure.
TVisibleWindow VisibleWindow(double zoom, double scroll);

} // namespace hg
