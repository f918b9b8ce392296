// The mean of a spectrum block (see AverageFFT.h). Pure; any thread.
#include "measure/core/AverageFFT.h"

namespace hg {

double SpectrumAverage(std::span<const float, kSpectrumBins> block)
{
    double sum = 0;
    for (const float bin : block)
        sum += bin;
    return sum / static_cast<double>(kSpectrumBins);
}

} // namespace hg
