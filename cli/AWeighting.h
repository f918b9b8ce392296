// The A frequency weighting of sound level meters (IEC 61672-1) as a digital
// filter for the capture rate, and the RMS level meter that runs it over every
// captured sample. Pure code, no Qt and no audio-server type. A LevelMeter is
// fed on the capture thread and read on the main thread (see LevelMeter).
#pragma once

#include "audio/hushcapture.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace hg {

// One second-order section, normalised so that a0 = 1:
// H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2).
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

// The A-weighting filter's coefficients for one sample rate.
//
// How it is made: the analogue weighting of IEC 61672-1 is
//   H(s) = k s^4 / ((s + w1)^2 (s + w2) (s + w3) (s + w4)^2)
// with the pole frequencies w = 2 pi f, f1 = 20.598997 Hz, f2 = 107.65265 Hz,
// f3 = 737.86223 Hz and f4 = 12194.217 Hz. It is split into three analogue
// second-order sections, s^2/(s + w1)^2, s^2/((s + w2)(s + w3)) and
// 1/(s + w4)^2, each mapped to the z-plane with the bilinear transform
// s = 2 fs (1 - z^-1)/(1 + z^-1) (no pre-warping), and the whole cascade is
// scaled so that its digital response is exactly 0 dB at 1 kHz. In double
// precision, as a cascade, it stays stable down to the 20.6 Hz poles at 48 kHz.
//
// The bilinear transform squeezes the analogue axis into 0 ... fs/2, so the
// digital filter falls off faster than the analogue curve towards Nyquist:
// at 48 kHz it is about 0.5 dB low at 8 kHz, 1.2 dB at 10 kHz, 2.7 dB at
// 12.5 kHz and 6.4 dB at 16 kHz, inside the class-1 limits (-3.1, -3.6, -6.0
// and -17 dB there), and it is 0 at fs/2 (the limit at 20 kHz is -inf).
class AWeighting {
public:
    explicit AWeighting(double sampleRate = 48000.0);

    // The sections in the order they are applied, the third one carrying
    // the 1 kHz normalisation in its numerator.
    const std::array<Biquad, 3> &Sections() const { return FSections; }
    double SampleRate() const { return FSampleRate; }

    // The digital response at `frequency` Hz in dB (20 log10 |H|), from the
    // coefficients; -inf at fs/2.
    double ResponseDb(double frequency) const;

private:
    std::array<Biquad, 3> FSections{};
    double FSampleRate;
};

// The analogue A-weighting curve of IEC 61672-1 in dB at `frequency` Hz
// (0 dB at 1 kHz to within 0.001 dB): the reference the filter is made from.
double AnalogueAWeightingDb(double frequency);

// RMS levels of all samples of a capture, unweighted and A-weighted: the sum
// of the squares of every sample of both channels, through one A-weighting
// filter per channel for the weighted sum.
//
// Threads: Add (and the DSP routine LevelMeterDSP) runs on the capture
// thread only; the filter state is its own. The totals are published after
// every block as relaxed atomics, so the main thread may read them at any
// time (whole values, each total possibly one block behind another) and
// reads them exactly once the capture has stopped (BASS_Free).
class LevelMeter {
public:
    explicit LevelMeter(unsigned channels = 2, double sampleRate = 48000.0);

    // Adds `count` interleaved float samples. The channel of the first one
    // follows on from the last sample of the previous block. Samples that
    // are not finite (NaN, infinities) are not counted and do not reach the
    // filters, whose state they would spoil for the rest of the capture.
    // Allocates nothing. Capture thread.
    void Add(const float *samples, std::size_t count);

    // Any thread.
    std::uint64_t Samples() const { return FPublishedCount.load(std::memory_order_relaxed); }
    // 20 log10(RMS) with 1.0 = full scale (so a full-scale sine reads
    // -3.01 dBFS); -inf when nothing was counted or everything was 0.
    double RmsDbfs() const;
    double RmsADbfs() const;

    static constexpr unsigned kMaxChannels = 8;

private:
    struct State {
        double z1 = 0, z2 = 0;
    };
    AWeighting FFilter;
    unsigned FChannels;
    unsigned FNextChannel = 0;
    std::array<std::array<State, 3>, kMaxChannels> FState{};
    // Capture thread only.
    double FSumSquares = 0, FSumSquaresA = 0;
    std::uint64_t FCount = 0;
    // Published copies for other threads.
    std::atomic<double> FPublishedSum{0}, FPublishedSumA{0};
    std::atomic<std::uint64_t> FPublishedCount{0};
};

// DSPPROC that feeds a capture's samples (32-bit floats) to the LevelMeter
// that `user` points to; the samples are not changed. Capture thread.
void LevelMeterDSP(DWORD channel, HDSP handle, void *buffer, DWORD length, void *user);

} // namespace hg
