// The held spectrum average of an input: the mean of one 2048-bin spectrum
// block of its channel, and the raise of the held value. The window thread
// calls CalculateAverageFFT on every timer tick; the pure parts need no
// sound server.
#pragma once

#include "audio/hushcapture.h"

#include <cstddef>
#include <span>

namespace hg {

// Magnitudes in one spectrum block (a BASS_DATA_FFT4096 read).
inline constexpr std::size_t kSpectrumBins = 2048;

// The mean of the block: the bins added in order, bin 0 first, in double
// (rounded to double after every addition), divided by 2048.
double SpectrumAverage(std::span<const float, kSpectrumBins> block);

// Raises Value to `average` when that is larger; a NaN average never
// replaces it.
inline void RaiseAverage(double average, double &Value)
{
    if (average > Value)
        Value = average;
}

// Reads one spectrum block of `Channel` and raises Value to its mean. When
// the read fails (channel 0, a released or lost channel, the library not
// started) Value stays as it was. The block lives on the stack: nothing is
// allocated. Window thread (any thread the capture library allows).
void CalculateAverageFFT(DWORD Channel, double &Value);

} // namespace hg
