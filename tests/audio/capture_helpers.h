// Helpers shared by the capture tests that run against the private sound
// server: waiting with a deadline and a capture whose blocks are counted.
// Test threads; Counter is written by the library's capture thread.
#pragma once

#include "hushcapture.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace hgtest {

// Test source numbers in the library's list (scripts/pulse-server).
constexpr int kIn1 = 0, kIn2 = 1, kOut1Monitor = 2, kOut2Monitor = 3;

template <class Pred> bool wait_until(Pred pred, int timeout_ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Frames received by a channel's record callback.
struct Counter {
    std::atomic<std::uint64_t> frames{0};
    static BOOL record(HRECORD, const void *, DWORD length, void *user) {
        static_cast<Counter *>(user)->frames.fetch_add(length / 8, std::memory_order_relaxed);
        return TRUE;
    }
    // Waits until at least `n` more frames than `since` have arrived and then
    // nothing more for a moment: what an earlier test left in a pipe source
    // arrives before what this one wrote, so the count alone can run ahead.
    bool wait_for(std::uint64_t since, std::uint64_t n, int timeout_ms = 5000) const {
        if (!wait_until([&] { return frames.load() >= since + n; }, timeout_ms))
            return false;
        for (int i = 0; i < 100; ++i) {
            const std::uint64_t seen = frames.load();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (frames.load() == seen)
                return true;
        }
        return false;
    }
};

} // namespace hgtest
