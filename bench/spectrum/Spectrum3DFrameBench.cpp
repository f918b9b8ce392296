// Benchmark of what a display's render thread computes per frame besides
// the GL calls: the fetch from a host source, the 2047 curve vertices, the
// visible window, both draws' matrices, the caption texts and places and
// the check whether they changed since the last post. The reference is a
// plain copy of the 57316-byte staging block, which every frame's upload
// makes once. Main thread only; needs no display.
#include "Spectrum3D.h"

#include "Spectrum3DCaptions.h"
#include "Spectrum3DData.h"
#include "Spectrum3DMatrices.h"
#include "Spectrum3DVertexes.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstring>

namespace {

using namespace hg;

// A host source that hands over a fixed, spectrum-like block.
std::array<float, kValueBlockSize> gSource = [] {
    std::array<float, kValueBlockSize> a{};
    for (std::size_t i = 0; i < a.size(); ++i)
        a[i] = static_cast<float>(1e-4 / (1.0 + static_cast<double>(i)) + (i == 512 ? 0.5 : 0.0));
    return a;
}();

int32_t Source(void *, float *data, int32_t count)
{
    std::memcpy(data, gSource.data(), static_cast<std::size_t>(count) * sizeof(float));
    return 1;
}

// One frame's work; args: zoom, scroll and amplitude as tenths.
void BM_FrameWork(benchmark::State &state)
{
    const double zoom = state.range(0) / 10.0, scroll = state.range(1) / 10.0,
                 amplitude = state.range(2) / 10.0;
    const TAudioBinding lib; // nothing bound: the host source serves
    THostFFTSources host;
    host.callback = &Source;
    static std::array<TColorVertex, kSpectrumVertexCount> staging;
    float block[kValueBlockSize];
    const TNumberSeparators sep{".", ","};
    TCaptionPost last, now;
    for (auto _ : state) {
        const TFetchResult r = FetchFFTData(lib, host, 0, BASS_DATA_FFT4096, TValueBlock(block));
        if (r.outcome != TFetchOutcome::NoNewData)
            ConvertFFTValues(TConstValueBlock(block), amplitude, staging);
        const TVisibleWindow w = VisibleWindow(zoom, scroll);
        const TViewMatrices grid = GridMatrices();
        const TViewMatrices curve = SpectrumMatrices(zoom, scroll);
        FrequencyCaptionTexts(CaptionSampleRate(lib, 0, 0), zoom, scroll, sep, now.freq);
        LevelCaptionTexts(amplitude, sep, now.level);
        for (int i = 0; i < kLevelCaptionCount; ++i)
            now.levelTop[static_cast<std::size_t>(i)] = LevelCaptionTop(i, 277, 8, amplitude);
        now.panelWidth = 457;
        now.panelLeft = 56;
        const bool changed = !(now == last);
        if (changed)
            last = now;
        benchmark::DoNotOptimize(w);
        benchmark::DoNotOptimize(grid);
        benchmark::DoNotOptimize(curve);
        benchmark::DoNotOptimize(changed);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FrameWork)->Args({10, 0, 10})->Args({20, 10, 20});

void BM_CopyStagingBlock(benchmark::State &state)
{
    static std::array<TColorVertex, kSpectrumVertexCount> from, to;
    for (auto _ : state) {
        benchmark::DoNotOptimize(from.data());
        std::memcpy(to.data(), from.data(), sizeof from);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CopyStagingBlock);

} // namespace

BENCHMARK_MAIN();
