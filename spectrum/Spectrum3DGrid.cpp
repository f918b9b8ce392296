// The two fixed background grids (see Spectrum3DGrid.h). Constant tables,
// built at compile time.
#include "Spectrum3DGrid.h"

namespace hg {
namespace {

constexpr float kGrey = 0.12f;

constexpr TColorVertex V(float x, float y, float grey)
{
    return TColorVertex{{x, y, 0.0f}, {grey, grey, grey, 1.0f}};
}

// Heights of the level lines (the levels -75, -60, -40, -20 and 0 dB at
// amplitude 1) and places of the frequency lines (1/48 ... 1/2 of the sample
// rate), in grid space: 0.9175 per spectrum bin, 1 = top level line.
constexpr float kLevel1 = 0.095022626f;
constexpr float kLevel2 = 0.18367347f;
constexpr float kLevel3 = 0.3220339f;
constexpr float kLevel4 = 0.5555556f;
constexpr float kFreq1 = 79.5f;
constexpr float kFreq2 = 235.55556f;
constexpr float kFreq3 = 471.1111f;
constexpr float kFreq4 = 942.2222f;
constexpr float kFreq5 = 1407.0796f;
constexpr float kRight = 1879.38f;

constexpr TGridVertexes kPlain = {{
    V(0, 0, kGrey),       V(kRight, 0, kGrey),        // level line 0 (base line)
    V(0, kLevel1, kGrey), V(kRight, kLevel1, kGrey),  // level line 1
    V(0, kLevel2, kGrey), V(kRight, kLevel2, kGrey),  // level line 2
    V(0, kLevel3, kGrey), V(kRight, kLevel3, kGrey),  // level line 3
    V(0, kLevel4, kGrey), V(kRight, kLevel4, kGrey),  // level line 4
    V(0, 1, kGrey),       V(kRight, 1, kGrey),        // level line 5 (top line)
    V(0, 0, kGrey),       V(0, 1, kGrey),             // left edge
    V(kFreq1, 0, kGrey),  V(kFreq1, 1, kGrey),        // frequency line 1
    V(kFreq2, 0, kGrey),  V(kFreq2, 1, kGrey),        // frequency line 2
    V(kFreq3, 0, kGrey),  V(kFreq3, 1, kGrey),        // frequency line 3
    V(kFreq4, 0, kGrey),  V(kFreq4, 1, kGrey),        // frequency line 4
    V(kFreq5, 0, kGrey),  V(kFreq5, 1, kGrey),        // frequency line 5
    V(kRight, 0, kGrey),  V(kRight, 1, kGrey),        // frequency line 6
}};

// Level lines 0 to 3 run past the right edge of the view and are cut by it.
constexpr float kBeyond = 2003.4f;

constexpr TGridVertexes kGradient = {{
    V(0, 0, kGrey),       V(kBeyond, 0, kGrey),
    V(0, kLevel1, kGrey), V(kBeyond, kLevel1, 0),
    V(0, kLevel2, kGrey), V(kBeyond, kLevel2, 0),
    V(0, kLevel3, kGrey), V(kBeyond, kLevel3, 0),
    V(0, kLevel4, kGrey), V(1144.8f, kLevel4, 0),
    V(0, 1, kGrey),       V(954.0f, 1, 0),
    V(0, 0, kGrey),       V(0, 1, kGrey),
    V(kFreq1, 0, kGrey),  V(kFreq1, 1, 0.08f),
    V(kFreq2, 0, kGrey),  V(kFreq2, 1, 0),
    V(kFreq3, 0, kGrey),  V(kFreq3, 0.9f, 0),
    V(kFreq4, 0, kGrey),  V(kFreq4, 0.6f, 0),
    V(kFreq5, 0, kGrey),  V(kFreq5, 0.4f, 0),
    V(kRight, 0, kGrey),  V(kRight, 0.2f, 0),
}};

} // namespace

const TGridVertexes &GridVertexes() { return kPlain; }
const TGridVertexes &GradientGridVertexes() { return kGradient; }

} // namespace hg
