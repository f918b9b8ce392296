// The spectrum curve's vertices and visible window (see Spectrum3DVertexes.h).
// Render thread; no state, no allocation.
#include "Spectrum3DVertexes.h"

#include "Spectrum3DMath.h"

#include <algorithm>
#include <cmath>

namespace hg {
namespace {

// v cut toward zero, held within +-2^30 first so that a view far outside
// the curve still gives a window (cut to the buffer below) instead of an
// integer overflow. Not-a-number is an invalid operation: EInvalidOp.
int32_t TruncWithin(long double v)
{
    constexpr long double kLimit = 1073741824.0L;
    if (std::isnan(v))
        throw EInvalidOp();
    return CheckedTrunc(std::clamp(v, -kLimit, kLimit));
}

} // namespace

int ConvertFFTValues(TConstValueBlock values, double amplitude, TSpectrumStaging staging)
{
    const long double gain = 1.0275L * static_cast<long double>(amplitude);
    int skipped = 0;
    std::size_t slot = 0;
    for (std::size_t i = 1; i < kValueBlockSize; ++i) {
        const float v = values[i];
        if (!std::isfinite(v) || v < 0.0f) {
            ++skipped;
            continue;
        }
        const long double h = std::sqrt(std::sqrt(static_cast<long double>(v))) * gain;
        TColorVertex &out = staging[slot++];
        out.Position = {static_cast<float>(static_cast<long double>(i) * 0.9175L), static_cast<float>(h), -0.01f};
        out.Color = {1.0f, static_cast<float>(1.0L - std::min(h, 1.0L)), 0.0f, 1.0f};
    }
    return skipped;
}

TVisibleWindow VisibleWindow(double zoom, double scroll)
{
    constexpr int32_t kLast = static_cast<int32_t>(kSpectrumVertexCount) - 1; // 2046
    if (zoom == 1.0 && scroll == 0.0)
        return TVisibleWindow{0, kLast};

    const long double z = zoom;
    int32_t count = TruncWithin(CheckedDiv(2046.0L, z));
    const long double next = static_cast<long double>(count) + 1.0L;
    const int32_t start = TruncWithin((next * z - next) * static_cast<long double>(scroll));
    if (static_cast<int64_t>(count) + start > static_cast<int64_t>(kSpectrumVertexCount))
        count = kLast - start;

    // Keep the window inside the buffer for views the display was not made
    // for (zoom below 1, scroll outside 0 ... 1).
    const int32_t first = std::clamp(start, int32_t{0}, kLast);
    const int32_t room = static_cast<int32_t>(kSpectrumVertexCount) - first;
    return TVisibleWindow{first, std::clamp(count, int32_t{0}, room)};
}

} // namespace hg
