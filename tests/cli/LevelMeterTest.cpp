// The A-weighting filter against the weighting table of IEC 61672-1, and the
// RMS level meter on known signals. Pure, no server.
#include "cli/AWeighting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>
#include <numbers>
#include <vector>

// Counts every allocation of this test program (AllocationCounter.cpp).
extern std::atomic<long> gAllocations;

namespace {

// Interleaved stereo frames of amplitude * sin(2 pi f t), both channels alike.
std::vector<float> Sine(double f, double amplitude, std::size_t frames, unsigned channels = 2)
{
    std::vector<float> s;
    s.reserve(frames * channels);
    for (std::size_t i = 0; i < frames; ++i) {
        const float x = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * f * i / 48000.0));
        for (unsigned c = 0; c < channels; ++c)
            s.push_back(x);
    }
    return s;
}

// Nominal A-weighting of the standard's table, with the class-1 acceptance
// limits (IEC 61672-1:2013, table 3). The digital filter must keep inside
// them at 48 kHz. Above 8 kHz the bilinear transform's frequency warping
// takes it below the analogue curve (it reaches 0 at 24 kHz), which is why
// the lower limit there is what it checks against, not the nominal value.
// The table is given at nominal frequencies; its values are those of the
// exact base-ten frequencies 1000 x 10^(band / 10) Hz (31.5 Hz is 31.62 Hz).
struct TableRow {
    double nominal;
    int band;
    double nominalDb, upper, lower;
    double frequency() const { return 1000.0 * std::pow(10.0, band / 10.0); }
};
constexpr TableRow kTable[] = {
    {31.5, -15, -39.4, 2.0, 2.0}, {63, -12, -26.2, 1.5, 1.5},   {125, -9, -16.1, 1.5, 1.5},
    {250, -6, -8.6, 1.4, 1.4},    {500, -3, -3.2, 1.4, 1.4},    {1000, 0, 0.0, 1.1, 1.1},
    {2000, 3, 1.2, 1.6, 1.6},     {4000, 6, 1.0, 1.6, 1.6},     {8000, 9, -1.1, 2.1, 3.1},
    {10000, 10, -2.5, 2.6, 3.6},  {12500, 11, -4.3, 3.0, 6.0},  {16000, 12, -6.6, 3.5, 17.0},
};

TEST(AWeighting, ResponseKeepsInsideTheClassOneLimitsOfTheTable)
{
    const hg::AWeighting a(48000.0);
    for (const TableRow &row : kTable) {
        const double db = a.ResponseDb(row.frequency());
        EXPECT_LE(db, row.nominalDb + row.upper) << row.nominal << " Hz";
        EXPECT_GE(db, row.nominalDb - row.lower) << row.nominal << " Hz";
    }
}

TEST(AWeighting, FollowsTheAnalogueCurveClosely)
{
    // Where warping is negligible the filter is the analogue curve itself:
    // a wrong pole or a section left out shows here as tenths of a dB.
    const hg::AWeighting a(48000.0);
    for (double f : {10.0, 20.0, 50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0, 3150.0})
        EXPECT_NEAR(a.ResponseDb(f), hg::AnalogueAWeightingDb(f), 0.05) << f << " Hz";
    EXPECT_NEAR(a.ResponseDb(1000.0), 0.0, 1e-9);
    // Above 8 kHz the warping makes the filter fall faster; it never rises above the curve.
    for (double f : {8000.0, 12500.0, 16000.0, 20000.0})
        EXPECT_LT(a.ResponseDb(f), hg::AnalogueAWeightingDb(f)) << f << " Hz";
    EXPECT_EQ(a.ResponseDb(24000.0), -std::numeric_limits<double>::infinity());
}

TEST(AWeighting, AnalogueCurveMatchesTheTable)
{
    for (const TableRow &row : kTable)
        EXPECT_NEAR(hg::AnalogueAWeightingDb(row.frequency()), row.nominalDb, 0.05) << row.nominal << " Hz";
}

// Sines through the meter: the sample loop (state per channel, transposed
// sections) must give the same weighting as the coefficients say.
TEST(LevelMeter, SinesReadTheirRmsAndTheirWeighting)
{
    for (double f : {31.5, 100.0, 1000.0, 4000.0, 12500.0}) {
        hg::LevelMeter m(2, 48000.0);
        // Ten seconds of a low tone, so the start-up transient of the
        // 20 Hz poles weighs nothing; the level is computed over all of it.
        const std::vector<float> s = Sine(f, 0.5, f < 200 ? 480000 : 96000);
        m.Add(s.data(), s.size());
        const double rms = 20 * std::log10(0.5 / std::sqrt(2.0));
        EXPECT_NEAR(m.RmsDbfs(), rms, 0.01) << f << " Hz";
        EXPECT_NEAR(m.RmsADbfs(), rms + hg::AWeighting(48000.0).ResponseDb(f), 0.05) << f << " Hz";
        EXPECT_EQ(m.Samples(), s.size());
    }
}

TEST(LevelMeter, ChannelsKeepTheirOwnFilterAcrossOddBlocks)
{
    // A loud low tone on the left and silence on the right, fed in blocks
    // that end mid-frame: if the channel order slipped at a block edge, or
    // both channels shared one filter, the right channel's silence would be
    // filtered with the left's state and the weighted level would change.
    const std::size_t frames = 96000;
    std::vector<float> s(frames * 2, 0.0f);
    for (std::size_t i = 0; i < frames; ++i)
        s[2 * i] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 100.0 * i / 48000.0));
    hg::LevelMeter whole(2), pieces(2);
    whole.Add(s.data(), s.size());
    for (std::size_t at = 0; at < s.size();) {
        const std::size_t n = std::min<std::size_t>(s.size() - at, 333);
        pieces.Add(s.data() + at, n);
        at += n;
    }
    EXPECT_NEAR(pieces.RmsADbfs(), whole.RmsADbfs(), 1e-9);
    EXPECT_NEAR(pieces.RmsDbfs(), whole.RmsDbfs(), 1e-9);
    // Half the samples are silent: 3 dB under the left channel's own level.
    const double leftAlone = 20 * std::log10(0.5 / std::sqrt(2.0)) - 10 * std::log10(2.0);
    EXPECT_NEAR(whole.RmsDbfs(), leftAlone, 0.01);
    EXPECT_NEAR(whole.RmsADbfs(), leftAlone + hg::AWeighting().ResponseDb(100.0), 0.05);
}

TEST(LevelMeter, NothingAndSilenceHaveNoLevel)
{
    hg::LevelMeter m;
    EXPECT_EQ(m.RmsDbfs(), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(m.Samples(), 0u);
    const std::vector<float> zeros(4800, 0.0f);
    m.Add(zeros.data(), zeros.size());
    EXPECT_EQ(m.RmsDbfs(), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(m.RmsADbfs(), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(m.Samples(), 4800u);
}

TEST(LevelMeter, SamplesThatAreNotNumbersAreLeftOut)
{
    // One NaN or infinity would otherwise make every later level NaN: the
    // filter state keeps it for ever.
    std::vector<float> s = Sine(1000.0, 0.5, 48000);
    s[1001] = std::numeric_limits<float>::quiet_NaN();
    s[2002] = std::numeric_limits<float>::infinity();
    hg::LevelMeter m;
    m.Add(s.data(), s.size());
    EXPECT_EQ(m.Samples(), s.size() - 2);
    EXPECT_NEAR(m.RmsDbfs(), 20 * std::log10(0.5 / std::sqrt(2.0)), 0.01);
    EXPECT_NEAR(m.RmsADbfs(), 20 * std::log10(0.5 / std::sqrt(2.0)), 0.05);
}

TEST(LevelMeter, DspRoutineReadsUnalignedBlocksAndIgnoresPartSamples)
{
    const std::vector<float> s = Sine(1000.0, 0.25, 4800);
    std::vector<unsigned char> bytes(s.size() * sizeof(float) + 3);
    std::memcpy(bytes.data() + 1, s.data(), s.size() * sizeof(float));
    hg::LevelMeter m;
    // Two bytes of a trailing part sample are not a sample.
    hg::LevelMeterDSP(1, 1, bytes.data() + 1, static_cast<DWORD>(s.size() * sizeof(float) + 2), &m);
    EXPECT_EQ(m.Samples(), s.size());
    EXPECT_NEAR(m.RmsDbfs(), 20 * std::log10(0.25 / std::sqrt(2.0)), 0.01);
    hg::LevelMeterDSP(1, 1, nullptr, 16, &m); // no block: nothing happens
    EXPECT_EQ(m.Samples(), s.size());
}

TEST(LevelMeter, AllocatesNothingPerBlock)
{
    const std::vector<float> s = Sine(1000.0, 0.25, 4800);
    hg::LevelMeter m;
    const long before = gAllocations.load();
    for (int i = 0; i < 100; ++i)
        hg::LevelMeterDSP(1, 1, const_cast<float *>(s.data()), static_cast<DWORD>(s.size() * sizeof(float)), &m);
    EXPECT_EQ(gAllocations.load(), before);
    EXPECT_EQ(m.Samples(), 100 * s.size());
}

} // namespace
