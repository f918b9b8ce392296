// The peak hold of a capture channel (see PeakHold.h). Capture thread.
#include "measure/core/PeakHold.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace hg {

namespace {

// Four floats in one SSE (or NEON) register, through GCC's vector
// extensions, so the loop is vectorised with any optimisation level.
typedef float Float4 __attribute__((vector_size(16)));
typedef std::int32_t Int4 __attribute__((vector_size(16)));

// The larger of |x| and m, lane by lane, where a NaN |x| never wins: this is
// "if (|x| > m) m = |x|", which maps to one maxps with |x| as the first
// operand (maxps returns its second operand when the two do not compare).
inline Float4 RaiseByAbs(Float4 m, Float4 x)
{
    const Int4 absMask = {0x7fffffff, 0x7fffffff, 0x7fffffff, 0x7fffffff};
    const Float4 a = reinterpret_cast<Float4>(reinterpret_cast<Int4>(x) & absMask);
    return a > m ? a : m;
}

inline Float4 Load4(const unsigned char *p)
{
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline float LaneMax(Float4 v)
{
    // No lane holds a NaN here (they start at 0 and never take one).
    return std::max(std::max(v[0], v[1]), std::max(v[2], v[3]));
}

} // namespace

float BlockPeak(const void *samples, std::size_t count)
{
    const auto *p = static_cast<const unsigned char *>(samples);
    std::size_t i = 0;
    // Four independent accumulators keep four max operations in flight.
    Float4 m0 = {0, 0, 0, 0}, m1 = m0, m2 = m0, m3 = m0;
    for (; i + 16 <= count; i += 16) {
        m0 = RaiseByAbs(m0, Load4(p + 4 * i));
        m1 = RaiseByAbs(m1, Load4(p + 4 * (i + 4)));
        m2 = RaiseByAbs(m2, Load4(p + 4 * (i + 8)));
        m3 = RaiseByAbs(m3, Load4(p + 4 * (i + 12)));
    }
    for (; i + 4 <= count; i += 4)
        m0 = RaiseByAbs(m0, Load4(p + 4 * i));
    const Float4 m = RaiseByAbs(RaiseByAbs(m0, m1), RaiseByAbs(m2, m3));
    float peak = LaneMax(m);
    for (; i < count; ++i) {
        float x;
        std::memcpy(&x, p + 4 * i, sizeof x);
        const float a = x < 0 ? -x : x;
        if (a > peak)
            peak = a;
    }
    return peak;
}

void PeakHoldDSP(DWORD channel, HDSP handle, void *buffer, DWORD length, void *user)
{
    (void)channel;
    (void)handle;
    if (buffer == nullptr || user == nullptr)
        return;
    const float peak = BlockPeak(buffer, length / sizeof(float));
    auto *held = static_cast<std::atomic<float> *>(user);
    if (peak > held->load(std::memory_order_relaxed))
        held->store(peak, std::memory_order_relaxed);
}

BOOL RecordCallback(HRECORD handle, const void *buffer, DWORD length, void *user)
{
    (void)handle;
    (void)buffer;
    (void)length;
    (void)user;
    return -1; // all 32 bits set: go on
}

} // namespace hg
