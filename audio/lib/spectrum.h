// Spectrum of the latest frames of a FrameRing: mono average, periodic Hann
// window, real FFT (FFTW, single precision), N/2 scaled magnitudes.
// Any thread; any number of threads at once. Plans and windows are made once
// per size (under a lock, since FFTW's planner is not thread-safe); each
// thread gets its own work arrays on its first read, so later reads allocate
// nothing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hgcap {

class FrameRing;

// The FFT size N for a length code BASS_DATA_FFT256 ... BASS_DATA_FFT32768,
// or 0 for any other code.
unsigned fft_size_for_code(std::uint32_t code);

constexpr unsigned kMinFftSize = 256;
constexpr unsigned kMaxFftSize = 32768;

// Writes n/2 magnitudes |X[k]| * 4 / n (k = 0 ... n/2 - 1) of the latest n
// frames of `ring` into `out`: a full-scale sine centred on a bin reads 1.0.
// `n` must be a power of two from kMinFftSize to kMaxFftSize. Returns false
// only when FFTW cannot make a plan or the work arrays cannot be allocated.
bool latest_spectrum(const FrameRing &ring, unsigned n, float *out);

// The same over `n` mono samples given directly (for tests and benchmarks).
bool spectrum_of(const float *mono, unsigned n, float *out);

} // namespace hgcap
