// The library path of the held average without a sound server: a read that
// fails leaves the held value as it was.
#include "measure/core/AverageFFT.h"

#include <gtest/gtest.h>

namespace {

TEST(CalculateAverageFFT, AFailedReadLeavesTheHeldValue)
{
    // Channel 0 (no capture started yet) and a handle never issued both
    // fail, with or without a server.
    for (DWORD channel : {0u, 0xDEADBEEFu}) {
        double value = 0.25;
        hg::CalculateAverageFFT(channel, value);
        EXPECT_EQ(value, 0.25) << "channel " << channel;
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE) << "channel " << channel;
        double zero = 0;
        hg::CalculateAverageFFT(channel, zero);
        EXPECT_EQ(zero, 0.0);
    }
}

} // namespace
