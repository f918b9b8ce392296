// FrameRing: the latest captured frames of one channel, written by the capture
// thread and read by any number of threads at once (window, render threads).
// Lock-free: one writer, many readers, every shared value an atomic.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace hgcap {

class FrameRing {
public:
    // Frames kept: a power of two, above the largest read (32768) by a margin
    // so that readers almost never have to start again.
    static constexpr std::size_t kDefaultCapacity = 65536;

    // `channels` interleaved samples per frame; `capacity` frames (a power of two).
    explicit FrameRing(unsigned channels, std::size_t capacity = kDefaultCapacity);

    unsigned channels() const { return channels_; }
    std::size_t capacity() const { return capacity_; }

    // Capture thread only. Appends `frames` interleaved frames; when there are
    // more than the capacity, only the last `capacity` frames are kept.
    void write(const float *interleaved, std::size_t frames);

    // Any thread. Frames held now (at most the capacity).
    std::size_t held() const;
    // Any thread. Frames written since the start.
    std::uint64_t total() const { return written_.load(std::memory_order_acquire); }

    // Any thread. Copies the latest min(frames, held) whole frames into `dst`
    // (interleaved, oldest first); returns how many frames were copied.
    std::size_t read_latest(float *dst, std::size_t frames) const;

    // Any thread. Writes exactly `frames` mono values into `dst`: the latest
    // frames with their channels averaged, oldest first, and zeros in front
    // where fewer frames than asked have arrived.
    void read_latest_mono(float *dst, std::size_t frames) const;

private:
    // True when no frame at or after `first` was overwritten during the copy.
    bool copy_intact(std::uint64_t first) const;

    unsigned channels_;
    std::size_t capacity_;
    std::size_t mask_;
    std::unique_ptr<std::atomic<float>[]> samples_;
    // Frames whose samples are complete, and frames that the writer may be
    // touching (raised before it writes). A reader that copied frames from
    // `first` on is intact if writing_ <= first + capacity afterwards.
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::uint64_t> writing_{0};
};

} // namespace hgcap
