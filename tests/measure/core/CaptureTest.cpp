// The peak hold and the held average on a real capture: the private
// PulseAudio server of scripts/with-servers, its pipe source "Hushgauge Test
// Input 1" fed with known samples through $HG_PULSE_DIR/in1.fifo.
#include "measure/core/AverageFFT.h"
#include "measure/core/PeakHold.h"

#include "hg_test_signals.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kRate = 48000;

// Writes stereo float32 frames into a pipe source's fifo, as fast as the
// server takes them, from a block that the test can swap. A full fifo is
// waited on with poll, so stopping never hangs on a server that stopped
// reading.
class FifoFeeder {
public:
    explicit FifoFeeder(const std::string &path)
    {
        fd_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ >= 0)
            thread_ = std::thread([this] { Run(); });
    }
    ~FifoFeeder()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }

    // The interleaved stereo frames to repeat from now on.
    void Play(std::vector<float> frames)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        next_ = std::move(frames);
        changed_ = true;
    }

private:
    void Run()
    {
        std::vector<float> block;
        std::size_t at = 0; // bytes of `block` written
        while (!stop_) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (changed_) {
                    block = next_;
                    at = 0;
                    changed_ = false;
                }
            }
            if (block.empty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const auto *bytes = reinterpret_cast<const unsigned char *>(block.data());
            const std::size_t size = block.size() * sizeof(float);
            const ssize_t n = ::write(fd_, bytes + at, size - at);
            if (n > 0)
                at = (at + static_cast<std::size_t>(n)) % size;
        }
    }

    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<float> next_;
    bool changed_ = false;
};

// Stereo frames of a sine of `amplitude` that repeats every `period` frames
// (both channels alike), `periods` times.
std::vector<float> Sine(float amplitude, int period, int periods)
{
    std::vector<float> frames;
    for (int i = 0; i < period * periods; ++i) {
        const float x = amplitude * static_cast<float>(std::sin(2 * std::numbers::pi * i / period));
        frames.push_back(x);
        frames.push_back(x);
    }
    return frames;
}

// Polls `done` every 10 ms for up to 10 s; true when it held.
bool WaitFor(const std::function<bool()> &done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

class Capture : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *dir = std::getenv("HG_PULSE_DIR");
        ASSERT_NE(dir, nullptr) << "run under scripts/with-servers";
        hg::signals::drain_fifo(1); // nothing an earlier test left comes first
        BASS_Init(0, 44100, 0, nullptr, nullptr);
        int device = -1;
        BASS_DEVICEINFO info{};
        for (DWORD i = 0; BASS_RecordGetDeviceInfo(i, &info); ++i) {
            if (std::strcmp(info.name, "Hushgauge Test Input 1") == 0)
                device = static_cast<int>(i);
        }
        ASSERT_GE(device, 0) << "no test input 1";
        ASSERT_TRUE(BASS_RecordInit(device)) << "code " << BASS_ErrorGetCode();
        feeder_ = std::make_unique<FifoFeeder>(std::string(dir) + "/in1.fifo");
        ASSERT_TRUE(feeder_->ok());
        channel_ = BASS_RecordStart(kRate, 2, BASS_SAMPLE_FLOAT, hg::RecordCallback, nullptr);
        ASSERT_NE(channel_, 0u) << "code " << BASS_ErrorGetCode();
        ASSERT_NE(BASS_ChannelSetDSP(channel_, hg::PeakHoldDSP, &peak_, 0), 0u);
    }
    void TearDown() override
    {
        feeder_.reset();
        BASS_Free();
        hg::signals::drain_fifo(1);
    }

    std::unique_ptr<FifoFeeder> feeder_;
    HRECORD channel_ = 0;
    std::atomic<float> peak_{0.0f};
};

TEST_F(Capture, HoldsThePeakOfTheCapturedBlocks)
{
    // A sine of 0.5 with 16 frames a period reaches exactly +-0.5.
    feeder_->Play(Sine(0.5f, 16, 300));
    ASSERT_TRUE(WaitFor([&] { return peak_.load() == 0.5f; })) << "held " << peak_.load();

    // A smaller signal never lowers it; after a reset the held peak follows
    // the new signal, here a lone -0.75 among quiet samples.
    std::vector<float> quiet(2 * 4800, 0.01f);
    quiet[2 * 1000 + 1] = -0.75f;
    feeder_->Play(quiet);
    ASSERT_TRUE(WaitFor([&] { return peak_.load() > 0.5f; })) << "held " << peak_.load();
    EXPECT_EQ(peak_.load(), 0.75f);
    // A block with the -0.75 may still be on its way through the server
    // (slowly, under a sanitizer) when the held peak is reset; a reset clears
    // it again, so reset until the quiet signal alone is held.
    feeder_->Play(std::vector<float>(2 * 48000, 0.01f));
    float held = 0.0f;
    ASSERT_TRUE(WaitFor([&] {
        peak_.store(0.0f);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        held = peak_.load();
        return held == 0.01f;
    })) << "held " << held;
}

TEST_F(Capture, RaisesTheHeldAverageToTheSpectrumMean)
{
    // A sine of amplitude 0.5 centred on bin 256 of the 4096-point spectrum
    // (16 frames a period): the Hann window puts 0.5 in that bin and 0.25 in
    // each neighbour, so the mean of the 2048 bins is 1 / 2048.
    const double expected = 1.0 / 2048;
    feeder_->Play(Sine(0.5f, 16, 300));
    // Until the latest 4096 frames are all sine, a spectrum also holds what
    // came before (the zeros in front of the first block, or the previous
    // test's signal still in the pipe) and its edge, whose spread raises the
    // mean; a held value never comes down, so it is reset before each read,
    // as the Reset button does.
    double value = 0;
    ASSERT_TRUE(WaitFor([&] {
        value = 0;
        hg::CalculateAverageFFT(channel_, value);
        return std::fabs(value - expected) < expected * 0.01;
    })) << "held average " << value << ", expected " << expected;

    // Quieter input never lowers the held value: once the latest spectrum
    // is silence (the sine still in the pipe and the server comes first),
    // reading it leaves the held value as it was.
    feeder_->Play(std::vector<float>(2 * 4800, 0.0f));
    const double held = value;
    double latest = 0;
    ASSERT_TRUE(WaitFor([&] {
        latest = 0;
        hg::CalculateAverageFFT(channel_, latest);
        return latest == 0;
    })) << "latest spectrum mean " << latest;
    hg::CalculateAverageFFT(channel_, value);
    EXPECT_EQ(value, held);

    // A released channel fails to read: the held value stays.
    ASSERT_TRUE(BASS_RecordFree());
    double after = 0.125;
    hg::CalculateAverageFFT(channel_, after);
    EXPECT_EQ(after, 0.125);
}

} // namespace
