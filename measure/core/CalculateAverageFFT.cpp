// The spectrum read of the held average (see AverageFFT.h): the one call of
// this folder into the capture library. Window thread.
#include "measure/core/AverageFFT.h"

namespace hg {

void CalculateAverageFFT(DWORD Channel, double &Value)
{
    // Zeroed, so that a library that wrote less than the whole block can
    // never make the mean read stale stack memory.
    float block[kSpectrumBins] = {};
    if (BASS_ChannelGetData(Channel, block, BASS_DATA_FFT4096) == static_cast<DWORD>(-1))
        return;
    RaiseAverage(SpectrumAverage(block), Value);
}

} // namespace hg
