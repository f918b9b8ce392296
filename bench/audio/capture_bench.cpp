// Benchmarks of the capture library's spectrum read: one 4096-point
// BASS_ChannelGetData FFT read (a live capture on the private sound server,
// when one is reachable), the same computation on the sample path alone,
// and a bare FFTW r2c execute of the same size as the reference, all in one
// run. Single thread.
#include "frame_ring.h"
#include "hg_test_signals.h"
#include "hushcapture.h"
#include "spectrum.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <vector>

namespace {

constexpr unsigned kN = 4096;

void BM_BareFftwR2C4096(benchmark::State &state) {
    float *in = static_cast<float *>(fftwf_malloc(sizeof(float) * kN));
    auto *out = static_cast<fftwf_complex *>(fftwf_malloc(sizeof(fftwf_complex) * (kN / 2 + 1)));
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(kN, in, out, FFTW_ESTIMATE);
    const auto noise = hg::signals::noise(0.1, kN, 1, true, 1);
    for (auto _ : state) {
        std::copy(noise.begin(), noise.end(), in); // FFTW's r2c may destroy its input
        fftwf_execute(plan);
        benchmark::DoNotOptimize(out[1][0]);
    }
    fftwf_destroy_plan(plan);
    fftwf_free(in);
    fftwf_free(out);
}
BENCHMARK(BM_BareFftwR2C4096);

void BM_SamplePathSpectrum4096(benchmark::State &state) {
    hgcap::FrameRing ring(2);
    const auto noise = hg::signals::noise(0.1, 8192, 2);
    ring.write(noise.data(), 8192);
    std::vector<float> mag(kN / 2);
    for (auto _ : state) {
        hgcap::latest_spectrum(ring, kN, mag.data());
        benchmark::DoNotOptimize(mag[1]);
    }
}
BENCHMARK(BM_SamplePathSpectrum4096);

void BM_ChannelGetDataFFT4096(benchmark::State &state) {
    HRECORD h = 0;
    if (BASS_Init(0, 44100, 0, nullptr, nullptr) && BASS_RecordInit(0))
        h = BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, nullptr, nullptr);
    if (!h) {
        BASS_Free();
        state.SkipWithError("no sound server with a capture source (run under scripts/with-servers)");
        return;
    }
    hg::signals::write_to_fifo(1, hg::signals::noise(0.1, 8192, 3), 1000);
    std::vector<float> mag(kN / 2);
    for (auto _ : state) {
        benchmark::DoNotOptimize(BASS_ChannelGetData(h, mag.data(), BASS_DATA_FFT4096));
        benchmark::DoNotOptimize(mag[1]);
    }
    BASS_Free();
}
BENCHMARK(BM_ChannelGetDataFFT4096);

} // namespace

BENCHMARK_MAIN();
