// Tests of the capture library's sample path (ring of latest frames,
// spectrum, channel block path) without a sound server. Main test thread,
// plus the writer/reader threads that some tests start.
#include "channel.h"
#include "frame_ring.h"
#include "hg_test_signals.h"
#include "spectrum.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

using hgcap::ChannelCore;
using hgcap::ChannelState;
using hgcap::FrameRing;
namespace sig = hg::signals;

namespace {

// Frame i carries (c, -c) with c = i mod 2^20 (exact in a float), so a read
// shows whether it got whole frames in order.
constexpr std::size_t kCountPeriod = 1u << 20;

std::vector<float> counting_frames(std::size_t start, std::size_t n) {
    std::vector<float> v(n * 2);
    for (std::size_t i = 0; i < n; ++i) {
        const float c = static_cast<float>((start + i) % kCountPeriod);
        v[2 * i] = c;
        v[2 * i + 1] = -c;
    }
    return v;
}

bool follows(float prev, float next) {
    return next == prev + 1.0f || (prev == static_cast<float>(kCountPeriod - 1) && next == 0.0f);
}

} // namespace

TEST(FrameRing, KeepsTheLatestFramesInOrder) {
    struct Case {
        const char *what;
        std::vector<std::size_t> writes; // sizes of consecutive writes
        std::size_t ask;
        std::size_t expect_frames; // copied
    };
    // capacity 16 frames
    const Case cases[] = {
        {"nothing written", {}, 8, 0},
        {"fewer held than asked", {5}, 8, 5},
        {"exactly the capacity", {16}, 16, 16},
        {"wrapped around", {10, 10}, 16, 16},
        {"ask more than the capacity", {40}, 100, 16},
        {"one write longer than the capacity", {37}, 16, 16},
        {"many small writes", {3, 3, 3, 3, 3, 3, 3}, 7, 7},
    };
    for (const Case &c : cases) {
        FrameRing ring(2, 16);
        std::size_t total = 0;
        for (std::size_t n : c.writes) {
            const auto v = counting_frames(total, n);
            ring.write(v.data(), n);
            total += n;
        }
        std::vector<float> out(c.ask * 2, 99.0f);
        const std::size_t got = ring.read_latest(out.data(), c.ask);
        ASSERT_EQ(got, c.expect_frames) << c.what;
        EXPECT_EQ(ring.held(), std::min<std::size_t>(total, 16)) << c.what;
        EXPECT_EQ(ring.total(), total) << c.what;
        for (std::size_t i = 0; i < got; ++i) {
            const float want = static_cast<float>((total - got + i) % kCountPeriod);
            ASSERT_EQ(out[2 * i], want) << c.what << " frame " << i;
            ASSERT_EQ(out[2 * i + 1], -want) << c.what << " frame " << i;
        }
    }
}

TEST(FrameRing, MonoReadAveragesChannelsAndPadsWithZerosInFront) {
    FrameRing ring(2, 16);
    const float frames[] = {1.0f, 3.0f, -2.0f, 0.0f, 0.5f, 0.5f}; // means 2, -1, 0.5
    ring.write(frames, 3);
    std::vector<float> out(6, 99.0f);
    ring.read_latest_mono(out.data(), 6);
    EXPECT_EQ(out, (std::vector<float>{0, 0, 0, 2.0f, -1.0f, 0.5f}));
}

TEST(FrameRing, ConcurrentReadersSeeWholeConsecutiveFrames) {
    FrameRing ring(2, 4096);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        std::size_t next = 0;
        std::vector<float> block;
        while (!stop.load(std::memory_order_relaxed)) {
            const std::size_t n = 1 + next % 997; // uneven block sizes
            block = counting_frames(next, n);
            ring.write(block.data(), n);
            next += n;
        }
    });
    auto reader = [&](std::size_t frames, int reads, int *bad) {
        std::vector<float> out(frames * 2);
        for (int r = 0; r < reads; ++r) {
            const std::size_t got = ring.read_latest(out.data(), frames);
            for (std::size_t i = 0; i < got; ++i) {
                const bool whole = out[2 * i] == -out[2 * i + 1];
                const bool consecutive = i == 0 || follows(out[2 * (i - 1)], out[2 * i]);
                if (!whole || !consecutive)
                    ++*bad;
            }
        }
    };
    int bad1 = 0, bad2 = 0;
    std::thread r1(reader, 3000, 2000, &bad1);
    std::thread r2(reader, 1024, 4000, &bad2);
    r1.join();
    r2.join();
    stop = true;
    writer.join();
    EXPECT_EQ(bad1, 0);
    EXPECT_EQ(bad2, 0);
}

TEST(Spectrum, LengthCodesGiveTheirSizes) {
    const std::pair<std::uint32_t, unsigned> cases[] = {
        {BASS_DATA_FFT256, 256},     {BASS_DATA_FFT512, 512},     {BASS_DATA_FFT4096, 4096},
        {BASS_DATA_FFT32768, 32768}, {0x80000008u, 0},             {BASS_DATA_AVAILABLE, 0},
        {4096, 0},                   {0x7FFFFFFFu, 0},
    };
    for (auto [code, size] : cases)
        EXPECT_EQ(hgcap::fft_size_for_code(code), size) << std::hex << code;
}

// A full-scale sine centred on bin k reads 1.0 there; the periodic Hann
// window's spectrum puts exactly half of it on each neighbour and nothing
// (up to float rounding) further away.
TEST(Spectrum, CentredSineReadsOneWithHannNeighbours) {
    const std::pair<unsigned, unsigned> cases[] = {{256, 5}, {1024, 100}, {4096, 2}, {4096, 1000}, {32768, 12000}};
    for (auto [n, k] : cases) {
        FrameRing ring(2, 65536);
        const auto s = sig::sine(sig::bin_frequency(k, n), 1.0, n, 0.3);
        ring.write(s.data(), n);
        std::vector<float> mag(n / 2);
        ASSERT_TRUE(hgcap::latest_spectrum(ring, n, mag.data()));
        EXPECT_NEAR(mag[k], 1.0, 1e-3) << n << "/" << k;
        EXPECT_NEAR(mag[k - 1], 0.5, 1e-3) << n << "/" << k;
        if (k + 1 < n / 2) {
            EXPECT_NEAR(mag[k + 1], 0.5, 1e-3) << n << "/" << k;
        }
        for (unsigned b = 0; b < n / 2; ++b) {
            if (b + 1 < k || b > k + 1) {
                ASSERT_LT(mag[b], 2e-3) << n << "/" << k << " bin " << b;
            }
        }
    }
}

TEST(Spectrum, ChannelsAreAveragedBeforeTheTransform) {
    const unsigned n = 1024, k = 40;
    const auto left = sig::sine(sig::bin_frequency(k, n), 1.0, n, 0.0, 1);
    struct Case {
        const char *what;
        float right_gain;
        float expect;
    };
    const Case cases[] = {{"same on both", 1.0f, 1.0f}, {"right silent", 0.0f, 0.5f}, {"opposite", -1.0f, 0.0f}};
    for (const Case &c : cases) {
        std::vector<float> st(2 * n);
        for (unsigned i = 0; i < n; ++i) {
            st[2 * i] = left[i];
            st[2 * i + 1] = left[i] * c.right_gain;
        }
        FrameRing ring(2, 4096);
        ring.write(st.data(), n);
        std::vector<float> mag(n / 2);
        ASSERT_TRUE(hgcap::latest_spectrum(ring, n, mag.data()));
        EXPECT_NEAR(mag[k], c.expect, 1e-3) << c.what;
    }
}

TEST(Spectrum, FewerFramesThanPointsAreZeroPaddedInFront) {
    const unsigned n = 2048;
    FrameRing ring(2, 4096);
    const auto s = sig::noise(0.3, 700, 7);
    ring.write(s.data(), 700);
    std::vector<float> mono(n, 0.0f);
    for (unsigned i = 0; i < 700; ++i)
        mono[n - 700 + i] = s[2 * i];
    std::vector<float> got(n / 2), want(n / 2);
    ASSERT_TRUE(hgcap::latest_spectrum(ring, n, got.data()));
    ASSERT_TRUE(hgcap::spectrum_of(mono.data(), n, want.data()));
    EXPECT_EQ(got, want);

    FrameRing empty(2, 4096);
    ASSERT_TRUE(hgcap::latest_spectrum(empty, n, got.data()));
    EXPECT_EQ(got, std::vector<float>(n / 2, 0.0f));
}

namespace {

struct Trace {
    std::vector<int> order;
    std::atomic<int> records{0};
    std::vector<DWORD> record_lengths;
    float first_sample_seen = 0;
    bool keep_going = true;
};

void dsp_tag(DWORD, HDSP, void *buffer, DWORD length, void *user) {
    // user: {trace, tag}; halves the samples so the effect is visible downstream
    auto *p = static_cast<std::pair<Trace *, int> *>(user);
    p->first->order.push_back(p->second);
    float *f = static_cast<float *>(buffer);
    for (DWORD i = 0; i < length / 4; ++i)
        f[i] *= 0.5f;
}

BOOL record_trace(HRECORD, const void *buffer, DWORD length, void *user) {
    auto *t = static_cast<Trace *>(user);
    t->records.fetch_add(1);
    t->record_lengths.push_back(length);
    t->first_sample_seen = static_cast<const float *>(buffer)[0];
    return t->keep_going;
}

} // namespace

TEST(ChannelCore, DspRoutinesRunByPriorityThenRingThenRecordCallback) {
    Trace t;
    ChannelCore ch(7, 48000, 2, BASS_SAMPLE_FLOAT, record_trace, &t);
    std::pair<Trace *, int> a{&t, 1}, b{&t, 2}, c{&t, 3}, d{&t, 4};
    ASSERT_TRUE(ch.add_dsp(11, dsp_tag, &a, 0));
    ASSERT_TRUE(ch.add_dsp(12, dsp_tag, &b, 5));
    ASSERT_TRUE(ch.add_dsp(13, dsp_tag, &c, 0));
    ASSERT_TRUE(ch.add_dsp(14, dsp_tag, &d, -3));
    const float frames[] = {1.0f, 1.0f, 2.0f, 2.0f};
    ch.deliver(frames, 2);
    EXPECT_EQ(t.order, (std::vector<int>{2, 1, 3, 4}));
    EXPECT_EQ(t.first_sample_seen, 1.0f / 16);
    float kept[4];
    ASSERT_EQ(ch.ring().read_latest(kept, 2), 2u);
    EXPECT_EQ(kept[2], 2.0f / 16);
}

TEST(ChannelCore, LongChunksAreCutIntoBlocks) {
    Trace t;
    ChannelCore ch(7, 48000, 2, BASS_SAMPLE_FLOAT, record_trace, &t);
    const std::size_t frames = ChannelCore::kMaxBlockFrames * 2 + 10;
    const auto s = sig::silence(frames);
    ch.deliver(s.data(), frames);
    const DWORD full = ChannelCore::kMaxBlockFrames * 8;
    EXPECT_EQ(t.record_lengths, (std::vector<DWORD>{full, full, 80}));
    EXPECT_EQ(ch.ring().total(), frames);
}

TEST(ChannelCore, StopLossAndReleaseEndTheBlockPath) {
    {
        Trace t;
        t.keep_going = false;
        ChannelCore ch(7, 48000, 2, BASS_SAMPLE_FLOAT, record_trace, &t);
        const auto s = sig::silence(10);
        ch.deliver(s.data(), 10);
        ch.deliver(s.data(), 10);
        EXPECT_EQ(t.records.load(), 1) << "a callback that says stop gets no more blocks";
        EXPECT_EQ(ch.state(), ChannelState::Stopped);
        EXPECT_EQ(ch.ring().total(), 10u) << "the stopping block itself is kept";
        ch.mark_lost();
        EXPECT_EQ(ch.state(), ChannelState::Stopped) << "a stopped channel does not turn lost";
    }
    {
        Trace t;
        ChannelCore ch(7, 48000, 2, BASS_SAMPLE_FLOAT, record_trace, &t);
        ch.mark_lost();
        const auto s = sig::silence(10);
        ch.deliver(s.data(), 10);
        EXPECT_EQ(t.records.load(), 0);
        EXPECT_EQ(ch.state(), ChannelState::Lost);
    }
}

namespace {
BOOL count_record(HRECORD, const void *, DWORD, void *user) {
    static_cast<std::atomic<int> *>(user)->fetch_add(1);
    std::this_thread::yield();
    return TRUE;
}
} // namespace

TEST(ChannelCore, NoCallbackAfterReleaseReturns) {
    std::atomic<int> calls{0};
    ChannelCore ch(7, 48000, 2, BASS_SAMPLE_FLOAT, count_record, &calls);
    std::atomic<bool> stop{false};
    std::thread capture([&] {
        const auto s = sig::silence(64);
        while (!stop.load())
            ch.deliver(s.data(), 64);
    });
    while (calls.load() < 100)
        std::this_thread::yield();
    ch.release();
    const int at_release = calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(calls.load(), at_release);
    EXPECT_EQ(ch.state(), ChannelState::Released);
    stop = true;
    capture.join();
}
