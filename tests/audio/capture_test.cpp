// The capture library against the private PulseAudio server (label pulse):
// device list, initialisation and errors, real captured signals and their
// spectra, concurrent reads, DSP and record callbacks, and no allocation
// per block or per read. Main test thread plus the threads a test starts.
#include "alloc_counter.h"
#include "capture_helpers.h"
#include "hg_test_signals.h"
#include "hushcapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

namespace sig = hg::signals;
using namespace hgtest;

namespace {

class Capture : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_FALSE(sig::pulse_dir().empty()) << "run under scripts/with-servers"; }
    void SetUp() override {
        // Nothing an earlier test left in the pipes comes first.
        sig::drain_fifo(1);
        sig::drain_fifo(2);
        ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr)) << BASS_ErrorGetCode();
    }
    // Captures run until BASS_Free here, so what their callbacks write to
    // (the counter, and the statics of single tests) must outlive the test body.
    void TearDown() override { BASS_Free(); }

    Counter counter;

    // Initialises `device` and starts a float 48 kHz stereo capture on it.
    HRECORD start(int device) {
        if (!BASS_RecordInit(device))
            return 0;
        return BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, Counter::record, &counter);
    }

    // Writes `frames` into pipe source `input` and waits until the capture has them.
    void feed(int input, const std::vector<float> &frames) {
        const std::uint64_t before = counter.frames.load();
        ASSERT_TRUE(sig::write_to_fifo(input, frames));
        ASSERT_TRUE(counter.wait_for(before, frames.size() / 2)) << "the capture did not receive the signal";
    }

    std::vector<float> fft4096(HRECORD h) {
        std::vector<float> mag(2048, -1.0f);
        EXPECT_EQ(BASS_ChannelGetData(h, mag.data(), BASS_DATA_FFT4096), 8192u) << BASS_ErrorGetCode();
        return mag;
    }
};

TEST_F(Capture, ListsTheServerSourcesInputsFirstWithTheirDescriptions) {
    struct Want {
        const char *name, *driver;
        DWORD flags;
    };
    const Want want[] = {
        {"Hushgauge Test Input 1", "hg_in1", BASS_DEVICE_ENABLED},
        {"Hushgauge Test Input 2", "hg_in2", BASS_DEVICE_ENABLED},
        {"Monitor of Hushgauge Test Output 1", "hg_out1.monitor", BASS_DEVICE_ENABLED | BASS_DEVICE_MONITOR},
        {"Monitor of Hushgauge Test Output 2", "hg_out2.monitor", BASS_DEVICE_ENABLED | BASS_DEVICE_MONITOR},
    };
    for (DWORD i = 0; i < 4; ++i) {
        BASS_DEVICEINFO info{};
        ASSERT_TRUE(BASS_RecordGetDeviceInfo(i, &info)) << i;
        EXPECT_STREQ(info.name, want[i].name);
        EXPECT_STREQ(info.driver, want[i].driver);
        EXPECT_EQ(info.flags, want[i].flags) << i;
    }
    BASS_DEVICEINFO info{};
    EXPECT_FALSE(BASS_RecordGetDeviceInfo(4, &info));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    EXPECT_FALSE(BASS_RecordGetDeviceInfo(0, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);

    ASSERT_TRUE(BASS_RecordInit(kIn2));
    ASSERT_TRUE(BASS_RecordGetDeviceInfo(kIn2, &info));
    EXPECT_EQ(info.flags, BASS_DEVICE_ENABLED | BASS_DEVICE_INIT);
}

TEST_F(Capture, InitialisationStartAndReleaseWithTheirErrorCodes) {
    // Initialisation.
    EXPECT_FALSE(BASS_Init(0, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    const std::pair<int, int> bad_devices[] = {{-1, BASS_ERROR_DEVICE}, {4, BASS_ERROR_DEVICE}, {1000, BASS_ERROR_DEVICE}};
    for (auto [dev, code] : bad_devices) {
        EXPECT_FALSE(BASS_RecordInit(dev)) << dev;
        EXPECT_EQ(BASS_ErrorGetCode(), code) << dev;
    }
    EXPECT_EQ(BASS_RecordGetDevice(), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    EXPECT_FALSE(BASS_RecordSetDevice(kIn1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    EXPECT_EQ(BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);

    ASSERT_TRUE(BASS_RecordInit(kIn1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);
    EXPECT_EQ(BASS_RecordGetDevice(), DWORD(kIn1));
    EXPECT_FALSE(BASS_RecordInit(kIn1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    int other_thread_code = -1;
    std::thread([&] {
        BASS_RecordInit(kIn1);
        other_thread_code = BASS_ErrorGetCode();
    }).join();
    EXPECT_EQ(other_thread_code, BASS_ERROR_ALREADY) << "a device is initialised once for the whole process";
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY) << "the other thread's code is its own";

    // Start: formats and flags.
    struct Start {
        DWORD freq, chans, flags;
        int code;
    };
    const Start refused[] = {
        {48000, 2, 0, BASS_ERROR_FORMAT},          {0, 2, BASS_SAMPLE_FLOAT, BASS_ERROR_FORMAT},
        {48000, 0, BASS_SAMPLE_FLOAT, BASS_ERROR_FORMAT}, {48000, 9, BASS_SAMPLE_FLOAT, BASS_ERROR_FORMAT},
        {500000, 2, BASS_SAMPLE_FLOAT, BASS_ERROR_FORMAT}, {48000, 2, BASS_SAMPLE_FLOAT | 0x10000, BASS_ERROR_ILLPARAM},
    };
    for (const Start &s : refused) {
        EXPECT_EQ(BASS_RecordStart(s.freq, s.chans, s.flags, nullptr, nullptr), 0u) << s.freq << " " << s.chans;
        EXPECT_EQ(BASS_ErrorGetCode(), s.code) << s.freq << " " << s.chans << " " << s.flags;
    }
    const HRECORD h = BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, nullptr, nullptr);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_PLAYING);
    EXPECT_EQ(BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, nullptr, nullptr), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_BUSY);
    BASS_CHANNELINFO ci{};
    ASSERT_TRUE(BASS_ChannelGetInfo(h, &ci));
    EXPECT_EQ(ci.freq, 48000u);
    EXPECT_EQ(ci.chans, 2u);
    EXPECT_EQ(ci.flags, BASS_SAMPLE_FLOAT);
    float buf[2048];
    EXPECT_EQ(BASS_ChannelGetData(h, nullptr, BASS_DATA_FFT4096), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_EQ(BASS_ChannelGetData(h, buf, 0x80000008u), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_EQ(BASS_ChannelSetDSP(h, nullptr, nullptr, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);

    // Handles that name no channel.
    for (DWORD bad : {0u, h + 1000u, 12345u}) {
        EXPECT_EQ(BASS_ChannelGetData(bad, buf, BASS_DATA_FFT4096), DWORD(-1));
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
        EXPECT_EQ(BASS_ChannelIsActive(bad), BASS_ACTIVE_STOPPED);
        EXPECT_FALSE(BASS_ChannelGetInfo(bad, &ci));
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    }

    // A source that delivers nothing: nothing is held yet. That is a pipe
    // source whose fifo nobody writes (pulse tests run one at a time, and
    // SetUp emptied it), not a null sink's monitor, which carries the
    // sink's silence whenever the server happens to render it.
    {
        std::thread([] {
            ASSERT_TRUE(BASS_RecordInit(kIn2));
            const HRECORD quiet = BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, nullptr, nullptr);
            ASSERT_NE(quiet, 0u);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            EXPECT_EQ(BASS_ChannelGetData(quiet, nullptr, BASS_DATA_AVAILABLE), 0u);
            float none[2048];
            EXPECT_EQ(BASS_ChannelGetData(quiet, none, BASS_DATA_FFT4096), 8192u) << "zeros while nothing has arrived";
            EXPECT_EQ(none[0] + none[100] + none[2047], 0.0f);
            EXPECT_TRUE(BASS_RecordFree());
        }).join();
    }

    // Release: the handle stays invalid, and a new start gets a new handle.
    ASSERT_TRUE(BASS_RecordFree());
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ChannelGetData(h, buf, BASS_DATA_FFT4096), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(BASS_RecordFree());
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    EXPECT_FALSE(BASS_RecordSetDevice(kIn1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);
    ASSERT_TRUE(BASS_RecordInit(kIn1));
    const HRECORD h2 = BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, nullptr, nullptr);
    ASSERT_NE(h2, 0u);
    EXPECT_NE(h2, h);
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_STOPPED);
}

TEST_F(Capture, CurrentDeviceIsPerThread) {
    ASSERT_TRUE(BASS_RecordInit(kIn1));
    std::thread([] {
        EXPECT_EQ(BASS_RecordGetDevice(), DWORD(-1)) << "a new thread has no current device";
        ASSERT_TRUE(BASS_RecordInit(kIn2));
        EXPECT_EQ(BASS_RecordGetDevice(), DWORD(kIn2));
        ASSERT_TRUE(BASS_RecordSetDevice(kIn1));
        ASSERT_TRUE(BASS_RecordFree()) << "releases In1, this thread's current device now";
    }).join();
    EXPECT_EQ(BASS_RecordGetDevice(), DWORD(-1)) << "In1 was released by the other thread";
    ASSERT_TRUE(BASS_RecordSetDevice(kIn2));
    EXPECT_EQ(BASS_RecordGetDevice(), DWORD(kIn2));
    EXPECT_TRUE(BASS_RecordFree());
}

TEST_F(Capture, CentredSineReadsOneAtItsBinAndHalfBeside) {
    const HRECORD h = start(kIn1);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    for (unsigned k : {3u, 100u, 1000u, 2000u}) {
        feed(1, sig::sine(sig::bin_frequency(k, 4096), 1.0, 8192, 0.7));
        const auto mag = fft4096(h);
        EXPECT_NEAR(mag[k], 1.0, 0.01) << k;
        EXPECT_NEAR(mag[k - 1], 0.5, 0.01) << k;
        EXPECT_NEAR(mag[k + 1], 0.5, 0.01) << k;
        const float far = *std::max_element(mag.begin() + k + 3, mag.end());
        EXPECT_LT(far, 0.005) << k;
    }
    // The same frames read at other sizes: a sine centred on bin 1000 of 4096
    // points is centred on bin 2000 of 8192 and bin 125 of 512.
    feed(1, sig::sine(sig::bin_frequency(1000, 4096), 0.25, 16384));
    std::vector<float> big(4096), small(256);
    ASSERT_EQ(BASS_ChannelGetData(h, big.data(), BASS_DATA_FFT8192), 4096u * 4);
    ASSERT_EQ(BASS_ChannelGetData(h, small.data(), BASS_DATA_FFT512), 256u * 4);
    EXPECT_NEAR(big[2000], 0.25, 0.0025);
    EXPECT_NEAR(small[125], 0.25, 0.0025);
}

TEST_F(Capture, SilenceReadsAllZeros) {
    const HRECORD h = start(kIn1);
    ASSERT_NE(h, 0u);
    feed(1, sig::sine(1000, 0.5, 4096)); // something before, to be pushed out
    feed(1, sig::silence(32768));
    for (DWORD code = BASS_DATA_FFT256; code <= BASS_DATA_FFT32768; ++code) {
        std::vector<float> mag(16384, -1.0f);
        const DWORD got = BASS_ChannelGetData(h, mag.data(), code);
        const unsigned n = 256u << (code - BASS_DATA_FFT256);
        ASSERT_EQ(got, n / 2 * 4) << n;
        for (unsigned i = 0; i < n / 2; ++i)
            ASSERT_EQ(mag[i], 0.0f) << n << " bin " << i;
    }
}

// White noise of RMS s, the same on both channels, so their average has RMS
// s too. For bin k (0 < k < N/2) X[k] = sum x[n] w[n] e^(-2 pi i k n / N) is
// a sum of many independent terms: a complex Gaussian with
//   E|X[k]|^2 = s^2 * sum w[n]^2 = s^2 * 3N/8   (mean of the Hann window
//   squared, (0.5 - 0.5 cos)^2, is 1/4 + 1/8 = 3/8).
// |X[k]| is then Rayleigh-distributed with mean sqrt(pi/4 * E|X[k]|^2), so
//   E[|X[k]| * 4/N] = 4/N * sqrt(3 pi N s^2 / 32) = s * sqrt(3 pi / (2N)).
// For N = 4096 and s = 0.1 that is 0.003393.
TEST_F(Capture, WhiteNoiseGivesTheDerivedMeanMagnitude) {
    const double rms = 0.1;
    const unsigned n = 4096;
    const double expected = rms * std::sqrt(3.0 * M_PI / (2.0 * n));
    const HRECORD h = start(kIn2);
    ASSERT_NE(h, 0u);
    double sum = 0;
    int count = 0;
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
        feed(2, sig::noise(rms, n, seed));
        const auto mag = fft4096(h);
        for (unsigned k = 1; k < n / 2; ++k, ++count)
            sum += mag[k];
    }
    // 8 x 2047 bins; Rayleigh values spread by 52 % of their mean and
    // neighbouring Hann bins are correlated, which leaves about 1 % of
    // standard error on the mean: 4 % is four of them.
    EXPECT_NEAR(sum / count, expected, expected * 0.04);
}

TEST_F(Capture, PlainReadsGiveTheLatestWholeFramesWithoutRemovingThem) {
    const HRECORD h = start(kIn1);
    ASSERT_NE(h, 0u);
    // Fill what the library keeps with silence (so that whatever came before
    // does not count), then 3000 frames of a ramp.
    feed(1, sig::silence(70000));
    const DWORD held = BASS_ChannelGetData(h, nullptr, BASS_DATA_AVAILABLE);
    EXPECT_GE(held, 32768u * 8) << "at least 32768 frames are kept";
    feed(1, sig::ramp(3000, 1, 1.0f / 65536, 1u << 16));
    EXPECT_EQ(BASS_ChannelGetData(h, nullptr, BASS_DATA_AVAILABLE), held) << "the ring was full already";
    std::vector<float> buf(2 * 5000, -1.0f);
    struct Case {
        DWORD length, bytes;
    };
    const Case cases[] = {{8, 8}, {1000, 1000}, {1001, 1000}, {7, 0}, {3000 * 8, 3000 * 8}, {5000 * 8, 5000 * 8}};
    for (const Case &c : cases) {
        const DWORD got = BASS_ChannelGetData(h, buf.data(), c.length);
        ASSERT_EQ(got, c.bytes) << c.length;
        const std::size_t frames = got / 8;
        for (std::size_t i = 0; i < frames; ++i) {
            // Latest frame last: ramp frame 3000 - (frames - 1 - i), or silence before the ramp.
            const long k = 3000 - static_cast<long>(frames - 1 - i);
            const float want = k >= 1 ? static_cast<float>(k) / 65536 : 0.0f;
            ASSERT_EQ(buf[2 * i], want) << c.length << " frame " << i;
            ASSERT_EQ(buf[2 * i + 1], want) << c.length << " frame " << i;
        }
    }
    EXPECT_EQ(BASS_ChannelGetData(h, nullptr, BASS_DATA_AVAILABLE), held) << "reads remove nothing";
    EXPECT_EQ(BASS_ChannelGetData(h, nullptr, 100), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    EXPECT_EQ(BASS_ChannelGetData(h, buf.data(), 0x40000000u), DWORD(-1));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
}

TEST_F(Capture, TwoReadersWhileTheCaptureWritesSeeWholeSaneBlocks) {
    const HRECORD h = start(kIn1);
    ASSERT_NE(h, 0u);
    // Frame i carries i / 2^23 (exact in a float); the test never gets near
    // the wrap, and the library keeps far fewer frames, so a read that mixed
    // old and new frames would show a step backwards.
    const float step = 1.0f / (1u << 23);
    const std::size_t period = 1u << 23;
    feed(1, sig::ramp(8192, 0, step, period));
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        std::size_t next = 8192;
        while (!stop.load()) {
            if (!sig::write_to_fifo(1, sig::ramp(4800, next, step, period), 1000))
                break;
            next += 4800;
            // About ten times real time: fast, but not so fast that the
            // server drops parts of the burst for a slow (sanitized) client.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    auto frames_ok = [&](const std::vector<float> &b, std::size_t frames) {
        for (std::size_t i = 0; i < frames; ++i) {
            if (b[2 * i] != b[2 * i + 1])
                return false;
            // Frames go forward (should the server drop part of a burst,
            // they skip ahead).
            if (i > 0 && b[2 * i] <= b[2 * (i - 1)])
                return false;
        }
        return true;
    };
    std::atomic<int> bad_plain{0}, bad_fft{0}, reads{0};
    auto reader = [&] {
        std::vector<float> plain(2 * 2048), mag(2048);
        for (int i = 0; i < 300; ++i) {
            const DWORD got = BASS_ChannelGetData(h, plain.data(), 2048 * 8);
            if (got != 2048 * 8 || !frames_ok(plain, 2048))
                ++bad_plain;
            if (BASS_ChannelGetData(h, mag.data(), BASS_DATA_FFT4096) != 8192)
                ++bad_fft;
            for (float m : mag)
                if (!std::isfinite(m) || m < 0.0f || m > 2.0f)
                    ++bad_fft;
            ++reads;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    };
    const std::uint64_t before = counter.frames.load();
    std::thread r1(reader), r2(reader);
    r1.join();
    r2.join();
    stop = true;
    writer.join();
    EXPECT_GT(counter.frames.load(), before) << "the capture wrote while the readers read";
    EXPECT_EQ(reads.load(), 600);
    EXPECT_EQ(bad_plain.load(), 0);
    EXPECT_EQ(bad_fft.load(), 0);
}

namespace {
struct Peak {
    std::atomic<float> level{0};
};
void peak_hold(DWORD, HDSP, void *buffer, DWORD length, void *user) {
    const float *f = static_cast<const float *>(buffer);
    float m = 0;
    for (DWORD i = 0; i < length / 4; ++i)
        m = std::max(m, std::fabs(f[i]));
    auto *p = static_cast<Peak *>(user);
    if (m > p->level.load(std::memory_order_relaxed))
        p->level.store(m, std::memory_order_relaxed);
}
void halve(DWORD, HDSP, void *buffer, DWORD length, void *) {
    float *f = static_cast<float *>(buffer);
    for (DWORD i = 0; i < length / 4; ++i)
        f[i] *= 0.5f;
}
struct StopAfter {
    std::atomic<int> blocks{0};
    int limit;
};
BOOL stop_after(HRECORD, const void *, DWORD, void *user) {
    auto *s = static_cast<StopAfter *>(user);
    return s->blocks.fetch_add(1) + 1 < s->limit;
}
} // namespace

TEST_F(Capture, DspRoutinesSeeEveryBlockBeforeTheRecordCallback) {
    const HRECORD h = start(kIn1);
    ASSERT_NE(h, 0u);
    static Peak before_halving, after_halving;
    ASSERT_NE(BASS_ChannelSetDSP(h, peak_hold, &before_halving, 10), 0u);
    ASSERT_NE(BASS_ChannelSetDSP(h, peak_hold, &after_halving, -10), 0u);
    ASSERT_NE(BASS_ChannelSetDSP(h, halve, nullptr, 0), 0u);
    auto s = sig::silence(4096);
    s[2 * 1000 + 1] = -0.8f; // one loud sample, right channel
    feed(1, s);
    EXPECT_FLOAT_EQ(before_halving.level.load(), 0.8f);
    EXPECT_FLOAT_EQ(after_halving.level.load(), 0.4f);
    float kept[2 * 4096];
    ASSERT_EQ(BASS_ChannelGetData(h, kept, sizeof kept), sizeof kept);
    EXPECT_FLOAT_EQ(kept[2 * 1000 + 1], -0.4f) << "reads see what the DSP routines made of the block";
}

TEST_F(Capture, RecordCallbackThatSaysStopEndsTheCapture) {
    static StopAfter stopper;
    stopper.limit = 3;
    ASSERT_TRUE(BASS_RecordInit(kIn1));
    const HRECORD h = BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, stop_after, &stopper);
    ASSERT_NE(h, 0u);
    for (int i = 0; i < 10 && BASS_ChannelIsActive(h) == BASS_ACTIVE_PLAYING; ++i)
        ASSERT_TRUE(sig::write_to_fifo(1, sig::sine(1000, 0.5, 4800)));
    ASSERT_TRUE(wait_until([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }));
    EXPECT_EQ(stopper.blocks.load(), 3);
    EXPECT_GT(BASS_ChannelGetData(h, nullptr, BASS_DATA_AVAILABLE), 0u) << "a stopped channel stays readable";
    EXPECT_TRUE(BASS_RecordFree());
}

namespace {
std::atomic<int> g_slow_calls{0};
// Slower than the data it is given: a capture on a machine that cannot keep up.
BOOL slow_record(HRECORD, const void *, DWORD, void *) {
    g_slow_calls.fetch_add(1, std::memory_order_relaxed);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return TRUE;
}
} // namespace

TEST_F(Capture, ACaptureThatCannotKeepUpStillEndsPromptly) {
    // A pipe written without pause brings data faster than real time, and the
    // record callback is slower still: the capture thread is always behind,
    // and ending the capture must not wait until it catches up.
    ASSERT_TRUE(BASS_RecordInit(kIn1));
    const HRECORD h = BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, slow_record, nullptr);
    ASSERT_NE(h, 0u);
    std::atomic<bool> stop{false};
    std::thread flood([&stop] {
        const std::vector<float> block = sig::sine(1000, 0.5, 4800);
        while (!stop.load())
            sig::write_to_fifo(1, block, 100);
    });
    EXPECT_TRUE(wait_until([] { return g_slow_calls.load() > 0; }));
    std::this_thread::sleep_for(std::chrono::seconds(1)); // well behind by now
    const auto t = std::chrono::steady_clock::now();
    EXPECT_TRUE(BASS_RecordFree());
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count(), 2.0);
    stop.store(true);
    flood.join();
    sig::drain_fifo(1);
}

namespace {
struct Reentry {
    std::atomic<bool> done{false};
    int free_code = -1, init_code = -1, dsp_code = -1, volume_code = -1;
    DWORD available = 0;
};
BOOL call_back_in(HRECORD h, const void *, DWORD, void *user) {
    auto *r = static_cast<Reentry *>(user);
    if (r->done.load())
        return TRUE;
    BASS_RecordFree();
    r->free_code = BASS_ErrorGetCode();
    BASS_RecordInit(kIn2);
    r->init_code = BASS_ErrorGetCode();
    BASS_ChannelSetDSP(h, halve, nullptr, 0);
    r->dsp_code = BASS_ErrorGetCode();
    float volume = 0.0f;
    BASS_RecordGetVolume(kIn1, &volume);
    r->volume_code = BASS_ErrorGetCode();
    r->available = BASS_ChannelGetData(h, nullptr, BASS_DATA_AVAILABLE);
    r->done.store(true);
    return TRUE;
}
} // namespace

TEST_F(Capture, ControlCallsFromInsideACallbackFailInsteadOfHanging) {
    static Reentry r;
    ASSERT_TRUE(BASS_RecordInit(kIn1));
    const HRECORD h = BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, call_back_in, &r);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(sig::write_to_fifo(1, sig::silence(480)));
    ASSERT_TRUE(wait_until([&] { return r.done.load(); }));
    EXPECT_EQ(r.free_code, BASS_ERROR_CALLBACK);
    EXPECT_EQ(r.init_code, BASS_ERROR_CALLBACK);
    EXPECT_EQ(r.dsp_code, BASS_ERROR_CALLBACK);
    EXPECT_EQ(r.volume_code, BASS_ERROR_CALLBACK);
    // The callback's own block is already kept when it runs.
    EXPECT_GT(r.available, 0u) << "reads work inside a callback";
    EXPECT_EQ(BASS_ChannelIsActive(h), BASS_ACTIVE_PLAYING);
}

// Puts hg_in1 back at 100 % however a test leaves it: the other tests and
// binaries on this server measure through it.
struct RestoreVolume {
    ~RestoreVolume() { sig::pactl("set-source-volume hg_in1 100%"); }
};

TEST_F(Capture, VolumeReadsTheServersSoftwareVolumeAsLinear) {
    RestoreVolume restore;
    // The server's percentages are cubic (50 % is 0.5^3 in amplitude), its
    // dB values are amplitude; several channels are averaged. pactl reads a
    // signed value as a change, so "-6dB" comes right after 100 %.
    const struct {
        const char *set;
        double linear, tolerance;
    } cases[] = {
        {"50%", 0.125, 0.0},
        {"100%", 1.0, 0.0},
        {"-6dB", std::pow(10.0, -6.0 / 20.0), 1e-4},
        {"100% 50%", (1.0 + 0.125) / 2, 0.0},
        {"0%", 0.0, 0.0},
        {"150%", 1.5 * 1.5 * 1.5, 1e-6},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(sig::pactl(std::string("set-source-volume hg_in1 ") + c.set), 0) << c.set;
        float volume = -1.0f;
        ASSERT_TRUE(BASS_RecordGetVolume(kIn1, &volume)) << c.set << ": " << BASS_ErrorGetCode();
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_OK);
        EXPECT_NEAR(volume, c.linear, c.tolerance) << c.set;
    }
    // The other source is untouched, and no initialisation is needed.
    float other = -1.0f;
    EXPECT_TRUE(BASS_RecordGetVolume(kIn2, &other));
    EXPECT_EQ(other, 1.0f);
    EXPECT_TRUE(BASS_RecordGetVolume(kOut1Monitor, &other));
    EXPECT_EQ(other, 1.0f);

    float untouched = -1.0f;
    EXPECT_FALSE(BASS_RecordGetVolume(4, &untouched)) << "past the end of the list";
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    EXPECT_FALSE(BASS_RecordGetVolume(DWORD(-1), &untouched));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    EXPECT_EQ(untouched, -1.0f);
    EXPECT_FALSE(BASS_RecordGetVolume(kIn1, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
}

TEST_F(Capture, MonitorSourceCarriesWhatIsPlayedInRealTime) {
    const HRECORD h = start(kOut1Monitor);
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    const unsigned k = 512; // 6 kHz
    std::thread player([] { EXPECT_TRUE(sig::play_to_sink("hg_out1", sig::sine(sig::bin_frequency(k, 4096), 0.5, 48000 * 2))); });
    // Read while the tone plays (it lasts 2 s; the monitor lags by its latency).
    bool heard = false;
    for (int i = 0; i < 300 && !heard; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const auto mag = fft4096(h);
        heard = std::fabs(mag[k] - 0.5f) < 0.01f && std::fabs(mag[k + 1] - 0.25f) < 0.01f;
    }
    player.join();
    EXPECT_TRUE(heard) << "the tone played into hg_out1 reached its monitor at 0.5";
}

TEST_F(Capture, NoAllocationPerCapturedBlockOrPerRead) {
    struct Probe {
        std::atomic<int> blocks{0};
        std::atomic<std::uint64_t> grew{0}; // blocks after warm-up that allocated
        std::uint64_t last = 0;             // capture thread only
        static BOOL record(HRECORD, const void *, DWORD, void *user) {
            auto *p = static_cast<Probe *>(user);
            const int b = p->blocks.fetch_add(1);
            if (b > 20 && hgtest::thread_allocations() != p->last)
                p->grew.fetch_add(1);
            p->last = hgtest::thread_allocations();
            return TRUE;
        }
    };
    static Probe probe;
    ASSERT_TRUE(BASS_RecordInit(kIn1));
    const HRECORD h = BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, Probe::record, &probe);
    ASSERT_NE(h, 0u);
    static Peak peak;
    ASSERT_NE(BASS_ChannelSetDSP(h, peak_hold, &peak, 0), 0u);
    // Blocks of various sizes, with reads of every kind in between.
    std::vector<float> mag(16384), plain(2 * 4096);
    auto read_all = [&] {
        for (DWORD code = BASS_DATA_FFT256; code <= BASS_DATA_FFT32768; ++code)
            BASS_ChannelGetData(h, mag.data(), code);
        BASS_ChannelGetData(h, plain.data(), plain.size() * 4);
        BASS_ChannelGetData(h, nullptr, BASS_DATA_AVAILABLE);
        BASS_ChannelIsActive(h);
        BASS_CHANNELINFO ci;
        BASS_ChannelGetInfo(h, &ci);
    };
    read_all(); // warm-up: plans and this thread's work arrays
    std::uint64_t read_news = 0;
    for (int round = 0; round < 30; ++round) {
        ASSERT_TRUE(sig::write_to_fifo(1, sig::noise(0.1, 480 + 397 * round, round)));
        const std::uint64_t before = hgtest::thread_allocations();
        read_all();
        read_news += hgtest::thread_allocations() - before;
    }
    ASSERT_TRUE(wait_until([&] { return probe.blocks.load() > 40; })) << probe.blocks.load();
    EXPECT_EQ(probe.grew.load(), 0u) << "blocks after warm-up that allocated on the capture thread";
    EXPECT_EQ(read_news, 0u) << "allocations in reads after warm-up";
}

} // namespace
