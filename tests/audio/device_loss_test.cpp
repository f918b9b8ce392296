// The capture library when its sources go away (label pulse): a source
// unloaded mid-capture, and the whole server killed and started again.
// Its own binary, since the library takes the device list once per process
// and the list must contain a source that this test owns. Main test thread.
#include "capture_helpers.h"
#include "hg_test_signals.h"
#include "hushcapture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

namespace sig = hg::signals;
using namespace hgtest;

namespace {

// pactl joins its arguments with spaces; the module wants the property
// list in single quotes, the description in double quotes.
const char *const kSinkArgs = R"(module-null-sink sink_name=hg_loss format=float32le rate=48000 channels=2 )"
                              R"("sink_properties='device.description=\"Hushgauge Loss Test\"'")";

// Loads the test's own sink before anything asks the library for its list.
class LossEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_FALSE(sig::pulse_dir().empty()) << "run under scripts/with-servers";
        module = sig::load_module(kSinkArgs);
        ASSERT_GE(module, 0);
    }
    void TearDown() override { sig::unload_module(module); }
    int module = -1;
};
LossEnvironment *const g_env = static_cast<LossEnvironment *>(::testing::AddGlobalTestEnvironment(new LossEnvironment));

// The list entry of the test's sink monitor.
int loss_device() {
    BASS_DEVICEINFO info;
    for (DWORD i = 0; BASS_RecordGetDeviceInfo(i, &info); ++i)
        if (std::string(info.driver) == "hg_loss.monitor")
            return static_cast<int>(i);
    return -1;
}

double seconds_since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

class DeviceLoss : public ::testing::Test {
protected:
    void SetUp() override { BASS_Init(0, 44100, 0, nullptr, nullptr); }
    void TearDown() override { BASS_Free(); }
    Counter counter; // outlives the captures, which end in TearDown
};

TEST_F(DeviceLoss, UnloadedSourceLosesItsChannelAndComesBackByName) {
    const int dev = loss_device();
    ASSERT_GE(dev, 0) << "the test sink's monitor is listed";
    BASS_DEVICEINFO info;
    ASSERT_TRUE(BASS_RecordGetDeviceInfo(dev, &info));
    EXPECT_STREQ(info.name, "Monitor of Hushgauge Loss Test");
    EXPECT_EQ(info.flags, BASS_DEVICE_ENABLED | BASS_DEVICE_MONITOR);

    ASSERT_TRUE(BASS_RecordInit(dev)) << BASS_ErrorGetCode();
    const HRECORD h = BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, Counter::record, &counter);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    ASSERT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_PLAYING);

    ASSERT_TRUE(sig::unload_module(g_env->module));
    g_env->module = -1;
    ASSERT_TRUE(wait_until([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; })) << "the channel is lost";
    float mag[2048];
    EXPECT_EQ(BASS_ChannelGetData(h, mag, BASS_DATA_FFT4096), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_LOST);
    EXPECT_EQ(BASS_ChannelGetData(h, nullptr, BASS_DATA_AVAILABLE), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_LOST);
    BASS_CHANNELINFO ci{};
    EXPECT_TRUE(BASS_ChannelGetInfo(h, &ci)) << "the format of a lost channel is still known";
    EXPECT_EQ(ci.freq, 48000u);
    ASSERT_TRUE(wait_until([&] {
        BASS_RecordGetDeviceInfo(dev, &info);
        return info.flags == (BASS_DEVICE_INIT | BASS_DEVICE_MONITOR);
    })) << "listed as gone, still initialised: flags " << info.flags;

    float volume = -1.0f;
    EXPECT_FALSE(BASS_RecordGetVolume(dev, &volume)) << "a source that has gone has no volume";
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    EXPECT_EQ(volume, -1.0f);

    // The window's next choice: release the old device, then try it again.
    EXPECT_TRUE(BASS_RecordSetDevice(dev));
    EXPECT_TRUE(BASS_RecordFree());
    EXPECT_FALSE(BASS_RecordInit(dev));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);

    // The same sink loaded again is the same entry (its server index differs).
    g_env->module = sig::load_module(kSinkArgs);
    ASSERT_GE(g_env->module, 0);
    EXPECT_EQ(loss_device(), dev);
    EXPECT_TRUE(BASS_RecordGetVolume(dev, &volume)) << BASS_ErrorGetCode();
    EXPECT_EQ(volume, 1.0f);
    ASSERT_TRUE(BASS_RecordInit(dev)) << BASS_ErrorGetCode();
    const HRECORD h2 = BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, Counter::record, &counter);
    ASSERT_NE(h2, 0u) << BASS_ErrorGetCode();
    EXPECT_NE(h2, h);
    EXPECT_EQ(BASS_ChannelIsActive(h2), BASS_ACTIVE_PLAYING);
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
}

TEST_F(DeviceLoss, KilledServerStopsEveryChannelAndFreeIsPrompt) {
    ASSERT_TRUE(BASS_RecordInit(kIn1)) << BASS_ErrorGetCode();
    const HRECORD h1 = BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, Counter::record, &counter);
    ASSERT_NE(h1, 0u);
    ASSERT_TRUE(BASS_RecordInit(kOut2Monitor));
    const HRECORD h2 = BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, nullptr, nullptr);
    ASSERT_NE(h2, 0u);
    const std::uint64_t before = counter.frames.load();
    ASSERT_TRUE(sig::write_to_fifo(1, sig::sine(1000, 0.5, 4800)));
    ASSERT_TRUE(counter.wait_for(before, 4800));

    ASSERT_TRUE(sig::kill_server());
    for (HRECORD h : {h1, h2}) {
        EXPECT_TRUE(wait_until([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; })) << h;
        float mag[2048];
        EXPECT_EQ(BASS_ChannelGetData(h, mag, BASS_DATA_FFT4096), DWORD(-1));
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_LOST);
    }
    EXPECT_FALSE(BASS_RecordInit(kIn2));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_SERVER);
    float volume = -1.0f;
    EXPECT_FALSE(BASS_RecordGetVolume(kIn2, &volume));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_SERVER);
    EXPECT_EQ(volume, -1.0f);
    BASS_DEVICEINFO info;
    ASSERT_TRUE(BASS_RecordGetDeviceInfo(kIn1, &info)) << "the list outlives the server";
    EXPECT_STREQ(info.driver, "hg_in1");
    EXPECT_EQ(info.flags & BASS_DEVICE_ENABLED, 0u);

    const auto t = std::chrono::steady_clock::now();
    EXPECT_TRUE(BASS_Free());
    EXPECT_LT(seconds_since(t), 1.0) << "BASS_Free with the server gone";
    EXPECT_EQ(BASS_ChannelIsActive(h1), BASS_ACTIVE_STOPPED);

    // Nothing to connect to: the library still answers, with codes.
    EXPECT_FALSE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_SERVER);
    EXPECT_FALSE(BASS_RecordInit(kIn1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_SERVER);
    EXPECT_TRUE(BASS_RecordGetDeviceInfo(kIn1, &info));
}

TEST_F(DeviceLoss, CapturesAgainOnceTheServerIsBack) {
    // The previous test killed the server (started again here if it did not run).
    sig::kill_server();
    ASSERT_TRUE(sig::start_server());
    ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr)) << BASS_ErrorGetCode();
    BASS_DEVICEINFO info;
    ASSERT_TRUE(BASS_RecordGetDeviceInfo(kIn1, &info));
    EXPECT_STREQ(info.driver, "hg_in1");
    EXPECT_EQ(info.flags, BASS_DEVICE_ENABLED) << "present again on the new server";
    ASSERT_TRUE(BASS_RecordInit(kIn1)) << BASS_ErrorGetCode();
    const HRECORD h = BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, Counter::record, &counter);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    const std::uint64_t before = counter.frames.load();
    ASSERT_TRUE(sig::write_to_fifo(1, sig::sine(sig::bin_frequency(100, 4096), 1.0, 8192)));
    ASSERT_TRUE(counter.wait_for(before, 8192));
    float mag[2048];
    ASSERT_EQ(BASS_ChannelGetData(h, mag, BASS_DATA_FFT4096), 8192u);
    EXPECT_NEAR(mag[100], 1.0, 0.01);
}

} // namespace
