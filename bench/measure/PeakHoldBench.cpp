// Throughput of the peak hold (PeakHoldDSP) over captured blocks, measured
// in the same run as a plain scalar max-abs loop over the same samples, so
// the ratio of the two holds on any machine. Single thread.
#include "measure/core/PeakHold.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// Noise-like samples in [-0.5, 0.5) with a few NaNs, as a float capture can
// deliver, from a fixed seed.
std::vector<float> Samples(std::size_t count)
{
    std::vector<float> samples(count);
    std::uint32_t state = 12345;
    for (float &x : samples) {
        state = state * 1664525u + 1013904223u;
        x = static_cast<float>(state >> 8) / 16777216.0f - 0.5f;
    }
    for (std::size_t i = 97; i < count; i += 1021)
        samples[i] = std::nanf("");
    return samples;
}

void BM_PeakHoldDSP(benchmark::State &state)
{
    std::vector<float> block = Samples(static_cast<std::size_t>(state.range(0)));
    const auto length = static_cast<DWORD>(block.size() * sizeof(float));
    std::atomic<float> held{0.0f};
    for (auto _ : state) {
        held.store(0.0f, std::memory_order_relaxed);
        hg::PeakHoldDSP(1, 1, block.data(), length, &held);
        benchmark::DoNotOptimize(held.load(std::memory_order_relaxed));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * length);
}

// The reference: the loop as one would first write it.
void BM_PlainMaxAbsLoop(benchmark::State &state)
{
    std::vector<float> block = Samples(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        const float *p = block.data();
        benchmark::DoNotOptimize(p);
        float m = 0;
        for (std::size_t i = 0; i < block.size(); ++i) {
            const float a = std::fabs(p[i]);
            if (a > m)
                m = a;
        }
        benchmark::DoNotOptimize(m);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(block.size() * sizeof(float)));
}

// 960 samples: one 10 ms block of 48 kHz stereo; 65536: a long block.
BENCHMARK(BM_PeakHoldDSP)->Arg(960)->Arg(65536);
BENCHMARK(BM_PlainMaxAbsLoop)->Arg(960)->Arg(65536);

} // namespace
