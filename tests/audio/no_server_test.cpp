// The capture library with no sound server to reach: the list is empty and
// every call fails with a code, promptly. Its own binary (the library's
// device list is per process); needs no server. Main test thread.
#include "hushcapture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

namespace {

class NoServer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Whatever the environment says, point the library at nothing.
        setenv("PULSE_SERVER", "unix:/nonexistent/hushgauge-no-server", 1);
    }
};

TEST_F(NoServer, EveryCallFailsWithACodeAndNothingHangs) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_SERVER);
    BASS_DEVICEINFO info;
    EXPECT_FALSE(BASS_RecordGetDeviceInfo(0, &info)) << "the list is empty";
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    EXPECT_FALSE(BASS_RecordInit(0));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_SERVER);
    float volume = -1.0f;
    EXPECT_FALSE(BASS_RecordGetVolume(0, &volume));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_SERVER);
    EXPECT_EQ(volume, -1.0f);
    EXPECT_FALSE(BASS_RecordSetDevice(0));
    EXPECT_EQ(BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    float mag[2048];
    EXPECT_EQ(BASS_ChannelGetData(0, mag, BASS_DATA_FFT4096), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(BASS_ChannelIsActive(0), BASS_ACTIVE_STOPPED);
    EXPECT_FALSE(BASS_Free());
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0);
}

} // namespace
