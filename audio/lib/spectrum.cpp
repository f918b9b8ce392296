// Spectrum computation over FFTW (fftw3f): shared plans and Hann windows per
// size, per-thread work arrays. Used on any reading thread.
#include "spectrum.h"

#include "frame_ring.h"

#include <fftw3.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>

namespace hgcap {
namespace {

constexpr int kSizes = 8; // 256 ... 32768

struct SizePlan {
    std::atomic<bool> ready{false};
    fftwf_plan plan = nullptr; // written once under g_plan_mutex, before `ready`
    float *window = nullptr;
};

SizePlan g_plans[kSizes];
std::mutex g_plan_mutex;

int size_index(unsigned n) {
    for (int i = 0; i < kSizes; ++i)
        if ((kMinFftSize << i) == n)
            return i;
    return -1;
}

// Per-thread arrays of the largest size; FFTW's own allocator gives them the
// alignment that the plans were made for.
struct Work {
    float *in = nullptr;
    fftwf_complex *out = nullptr;
    ~Work() {
        fftwf_free(in);
        fftwf_free(out);
    }
    bool ensure() {
        if (!in)
            in = static_cast<float *>(fftwf_malloc(sizeof(float) * kMaxFftSize));
        if (!out)
            out = static_cast<fftwf_complex *>(fftwf_malloc(sizeof(fftwf_complex) * (kMaxFftSize / 2 + 1)));
        return in && out;
    }
};

thread_local Work t_work;

const SizePlan *plan_for(unsigned n) {
    const int i = size_index(n);
    if (i < 0)
        return nullptr;
    SizePlan &p = g_plans[i];
    if (p.ready.load(std::memory_order_acquire))
        return &p;
    std::lock_guard<std::mutex> lock(g_plan_mutex);
    if (p.ready.load(std::memory_order_relaxed))
        return &p;
    float *window = static_cast<float *>(fftwf_malloc(sizeof(float) * n));
    float *in = static_cast<float *>(fftwf_malloc(sizeof(float) * n));
    fftwf_complex *out = static_cast<fftwf_complex *>(fftwf_malloc(sizeof(fftwf_complex) * (n / 2 + 1)));
    fftwf_plan plan = nullptr;
    if (window && in && out)
        plan = fftwf_plan_dft_r2c_1d(static_cast<int>(n), in, out, FFTW_ESTIMATE);
    fftwf_free(in);
    fftwf_free(out);
    if (!plan) {
        fftwf_free(window);
        return nullptr;
    }
    // Periodic Hann window: w[i] = 0.5 - 0.5 cos(2 pi i / n); its mean is 0.5.
    for (unsigned k = 0; k < n; ++k)
        window[k] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * M_PI * k / n));
    p.plan = plan;
    p.window = window;
    p.ready.store(true, std::memory_order_release);
    return &p;
}

// Windows t_work.in in place, transforms it and writes the scaled magnitudes.
void transform(const SizePlan &p, unsigned n, float *out) {
    float *in = t_work.in;
    for (unsigned k = 0; k < n; ++k)
        in[k] *= p.window[k];
    fftwf_execute_dft_r2c(p.plan, in, t_work.out);
    // A sine of amplitude A centred on bin k gives |X[k]| = A * n/2 * mean(w)
    // = A * n / 4, hence the factor 4 / n.
    const float scale = 4.0f / static_cast<float>(n);
    for (unsigned k = 0; k < n / 2; ++k) {
        const float re = t_work.out[k][0];
        const float im = t_work.out[k][1];
        out[k] = std::sqrt(re * re + im * im) * scale;
    }
}

} // namespace

unsigned fft_size_for_code(std::uint32_t code) {
    if (code < 0x80000000u || code > 0x80000007u)
        return 0;
    return kMinFftSize << (code - 0x80000000u);
}

bool latest_spectrum(const FrameRing &ring, unsigned n, float *out) {
    const SizePlan *p = plan_for(n);
    if (!p || !t_work.ensure())
        return false;
    ring.read_latest_mono(t_work.in, n);
    transform(*p, n, out);
    return true;
}

bool spectrum_of(const float *mono, unsigned n, float *out) {
    const SizePlan *p = plan_for(n);
    if (!p || !t_work.ensure())
        return false;
    std::memcpy(t_work.in, mono, sizeof(float) * n);
    transform(*p, n, out);
    return true;
}

} // namespace hgcap
