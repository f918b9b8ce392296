// Tests of the peak hold callback: what raises the held peak, what never
// does (NaN, silence, a smaller block), odd lengths, and the vector loop's
// lanes and tail.
#include "measure/core/PeakHold.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Runs the callback as the capture library does, on `samples` (length in bytes).
float HeldAfter(float held, std::vector<float> samples, DWORD length)
{
    std::atomic<float> level{held};
    hg::PeakHoldDSP(7, 3, samples.data(), length, &level);
    return level.load();
}

float HeldAfter(float held, const std::vector<float> &samples)
{
    return HeldAfter(held, samples, static_cast<DWORD>(samples.size() * sizeof(float)));
}

TEST(PeakHoldDSP, RaisesTheHeldPeakOnlyToALargerBlockPeak)
{
    struct Case {
        const char *what;
        float held;
        std::vector<float> block;
        float expected;
    };
    const Case cases[] = {
        {"silence leaves the held value", 0.25f, std::vector<float>(960, 0.0f), 0.25f},
        {"silence from 0", 0.0f, std::vector<float>(960, 0.0f), 0.0f},
        {"-0.5 raises 0.25", 0.25f, {0.1f, -0.2f, -0.5f, 0.3f}, 0.5f},
        {"a smaller block leaves it", 0.75f, {0.5f, -0.6f, 0.1f, 0.0f}, 0.75f},
        {"an equal block leaves it", 0.5f, {-0.5f, 0.5f}, 0.5f},
        {"both channels together", 0.0f, {0.01f, -0.9f, 0.02f, 0.03f}, 0.9f},
        {"negative zero is zero", 0.0f, {-0.0f, -0.0f, -0.0f, -0.0f}, 0.0f},
        {"above full scale", 1.0f, {0.0f, 1.5f, -2.25f, 0.0f}, 2.25f},
        {"infinity wins", 1.0f, {0.0f, -kInf, 0.5f}, kInf},
        {"NaN never wins", 0.25f, {kNaN, kNaN, kNaN, kNaN, kNaN}, 0.25f},
        {"NaN among samples", 0.0f, {kNaN, 0.125f, -kNaN, -0.375f, kNaN}, 0.375f},
        {"no samples", 0.5f, {}, 0.5f},
    };
    for (const Case &c : cases)
        EXPECT_EQ(HeldAfter(c.held, c.block), c.expected) << c.what;
}

TEST(PeakHoldDSP, CountsOnlyWholeSamples)
{
    // 4 whole samples and 3 bytes of the fifth, whose float would be 0.9.
    EXPECT_EQ(HeldAfter(0.0f, {0.1f, -0.3f, 0.2f, 0.0f, 0.9f}, 19), 0.3f);
    EXPECT_EQ(HeldAfter(0.0f, {0.9f}, 3), 0.0f);
    EXPECT_EQ(HeldAfter(0.0f, {0.9f}, 0), 0.0f);
    std::atomic<float> level{0.5f};
    hg::PeakHoldDSP(1, 1, nullptr, 0, &level);
    hg::PeakHoldDSP(1, 1, nullptr, 4096, &level); // never dereferenced
    EXPECT_EQ(level.load(), 0.5f);
    float sample = 0.75f;
    hg::PeakHoldDSP(1, 1, &sample, sizeof sample, nullptr); // no held value: nothing to do
}

TEST(PeakHoldDSP, LeavesTheSamplesUnchanged)
{
    std::vector<float> block = {-1.0f, 0.5f, kNaN, -0.0f, 0.25f, -kInf, 3.0f};
    std::vector<unsigned char> before(block.size() * sizeof(float));
    std::memcpy(before.data(), block.data(), before.size());
    std::atomic<float> level{0.0f};
    hg::PeakHoldDSP(1, 1, block.data(), static_cast<DWORD>(before.size()), &level);
    EXPECT_EQ(std::memcmp(before.data(), block.data(), before.size()), 0);
}

// The block loop takes 16 and then 4 samples at a time in separate lanes and
// the rest one by one: every position of every length, with NaNs and larger
// negative neighbours around, must find the one peak.
TEST(BlockPeak, FindsThePeakAtEveryPositionAndAlignment)
{
    std::vector<unsigned char> bytes(4 * 80 + 3);
    for (std::size_t count : {1u, 3u, 4u, 5u, 15u, 16u, 17u, 31u, 33u, 47u, 64u, 70u}) {
        for (std::size_t offset = 0; offset < 4; ++offset) { // also unaligned buffers
            for (std::size_t at = 0; at < count; ++at) {
                std::vector<float> samples(count);
                for (std::size_t i = 0; i < count; ++i)
                    samples[i] = i % 3 == 1 ? kNaN : (i % 2 ? -0.25f : 0.125f);
                samples[at] = -0.75f;
                std::memcpy(bytes.data() + offset, samples.data(), count * sizeof(float));
                EXPECT_EQ(hg::BlockPeak(bytes.data() + offset, count), 0.75f)
                    << count << " samples, peak at " << at << ", offset " << offset;
            }
        }
    }
}

TEST(BlockPeak, AllNaNIsZero)
{
    const std::vector<float> samples(67, kNaN);
    EXPECT_EQ(hg::BlockPeak(samples.data(), samples.size()), 0.0f);
    EXPECT_FALSE(std::signbit(hg::BlockPeak(samples.data(), 0)));
}

TEST(RecordCallback, AlwaysGoesOnWithAllBitsSet)
{
    float block[4] = {};
    EXPECT_EQ(hg::RecordCallback(5, block, sizeof block, nullptr), -1);
    EXPECT_EQ(static_cast<DWORD>(hg::RecordCallback(0, nullptr, 0, block)), 0xFFFFFFFFu);
}

} // namespace
