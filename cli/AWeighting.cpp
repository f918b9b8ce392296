// The A-weighting filter and the RMS level meter (see AWeighting.h). The
// meter's Add runs on the capture thread; everything else on any thread.
#include "cli/AWeighting.h"

#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <numbers>

namespace hg {

namespace {

constexpr double kF1 = 20.598997;
constexpr double kF2 = 107.65265;
constexpr double kF3 = 737.86223;
constexpr double kF4 = 12194.217;

// The analogue section (n2 s^2 + n1 s + n0) / (s^2 + d1 s + d0) through the
// bilinear transform s = K (1 - z^-1) / (1 + z^-1), K = 2 fs.
Biquad Bilinear(double n2, double n1, double n0, double d1, double d0, double fs)
{
    const double K = 2.0 * fs;
    const double K2 = K * K;
    const double a0 = K2 + d1 * K + d0;
    Biquad q;
    q.b0 = (n2 * K2 + n1 * K + n0) / a0;
    q.b1 = (2.0 * n0 - 2.0 * n2 * K2) / a0;
    q.b2 = (n2 * K2 - n1 * K + n0) / a0;
    q.a1 = (2.0 * d0 - 2.0 * K2) / a0;
    q.a2 = (K2 - d1 * K + d0) / a0;
    return q;
}

std::complex<double> Response(const std::array<Biquad, 3> &sections, double frequency, double fs)
{
    const std::complex<double> zi = std::polar(1.0, -2.0 * std::numbers::pi * frequency / fs); // z^-1
    std::complex<double> h = 1.0;
    for (const Biquad &q : sections)
        h *= (q.b0 + zi * (q.b1 + zi * q.b2)) / (1.0 + zi * (q.a1 + zi * q.a2));
    return h;
}

double PowerToDb(double sumSquares, std::uint64_t count)
{
    if (count == 0 || !(sumSquares > 0))
        return -std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(sumSquares / static_cast<double>(count));
}

// Below this a filter state only decays towards 0 through subnormal
// numbers, which are slow on x86; it is 300 dB under full scale.
constexpr double kTiny = 1e-15;

} // namespace

AWeighting::AWeighting(double sampleRate)
    : FSampleRate(sampleRate)
{
    const double w1 = 2.0 * std::numbers::pi * kF1;
    const double w2 = 2.0 * std::numbers::pi * kF2;
    const double w3 = 2.0 * std::numbers::pi * kF3;
    const double w4 = 2.0 * std::numbers::pi * kF4;
    FSections[0] = Bilinear(1, 0, 0, 2 * w1, w1 * w1, sampleRate);
    FSections[1] = Bilinear(1, 0, 0, w2 + w3, w2 * w3, sampleRate);
    FSections[2] = Bilinear(0, 0, 1, 2 * w4, w4 * w4, sampleRate);
    const double g = 1.0 / std::abs(Response(FSections, 1000.0, sampleRate));
    FSections[2].b0 *= g;
    FSections[2].b1 *= g;
    FSections[2].b2 *= g;
}

double AWeighting::ResponseDb(double frequency) const
{
    const double m = std::abs(Response(FSections, frequency, FSampleRate));
    if (!(m > 0))
        return -std::numeric_limits<double>::infinity();
    return 20.0 * std::log10(m);
}

double AnalogueAWeightingDb(double f)
{
    const double f2 = f * f;
    const double ra = (kF4 * kF4 * f2 * f2) /
                      ((f2 + kF1 * kF1) * std::sqrt((f2 + kF2 * kF2) * (f2 + kF3 * kF3)) * (f2 + kF4 * kF4));
    return 20.0 * std::log10(ra) + 2.0;
}

LevelMeter::LevelMeter(unsigned channels, double sampleRate)
    : FFilter(sampleRate)
    , FChannels(channels == 0 ? 1 : (channels > kMaxChannels ? kMaxChannels : channels))
{
}

void LevelMeter::Add(const float *samples, std::size_t count)
{
    const std::array<Biquad, 3> &q = FFilter.Sections();
    double sum = 0, sumA = 0;
    std::uint64_t counted = 0;
    unsigned ch = FNextChannel;
    for (std::size_t i = 0; i < count; ++i) {
        const double x = samples[i];
        std::array<State, 3> &st = FState[ch];
        if (++ch == FChannels)
            ch = 0;
        if (!std::isfinite(x))
            continue;
        // Transposed direct form II, section by section.
        double y = x;
        for (int s = 0; s < 3; ++s) {
            const double in = y;
            y = q[s].b0 * in + st[s].z1;
            st[s].z1 = q[s].b1 * in - q[s].a1 * y + st[s].z2;
            st[s].z2 = q[s].b2 * in - q[s].a2 * y;
        }
        sum += x * x;
        sumA += y * y;
        ++counted;
    }
    FNextChannel = ch;
    for (std::array<State, 3> &chState : FState)
        for (State &s : chState) {
            if (std::fabs(s.z1) < kTiny)
                s.z1 = 0;
            if (std::fabs(s.z2) < kTiny)
                s.z2 = 0;
        }
    FSumSquares += sum;
    FSumSquaresA += sumA;
    FCount += counted;
    FPublishedSum.store(FSumSquares, std::memory_order_relaxed);
    FPublishedSumA.store(FSumSquaresA, std::memory_order_relaxed);
    FPublishedCount.store(FCount, std::memory_order_relaxed);
}

double LevelMeter::RmsDbfs() const
{
    return PowerToDb(FPublishedSum.load(std::memory_order_relaxed), FPublishedCount.load(std::memory_order_relaxed));
}

double LevelMeter::RmsADbfs() const
{
    return PowerToDb(FPublishedSumA.load(std::memory_order_relaxed), FPublishedCount.load(std::memory_order_relaxed));
}

void LevelMeterDSP(DWORD, HDSP, void *buffer, DWORD length, void *user)
{
    if (!buffer || !user)
        return;
    auto *meter = static_cast<LevelMeter *>(user);
    // The block is 32-bit floats; it is read through a copy of each chunk so
    // that an unaligned buffer is read correctly.
    const auto *bytes = static_cast<const unsigned char *>(buffer);
    std::size_t n = length / sizeof(float);
    float chunk[256];
    while (n > 0) {
        const std::size_t k = n < 256 ? n : 256;
        std::memcpy(chunk, bytes, k * sizeof(float));
        meter->Add(chunk, k);
        bytes += k * sizeof(float);
        n -= k;
    }
}

} // namespace hg
