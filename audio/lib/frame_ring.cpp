// FrameRing: single-writer, many-reader ring of the latest frames (sequence
// check in the style of a seqlock, over atomic samples, so that readers
// never block the capture thread and there is no data race).
//
// Ordering: the writer raises writing_ before it stores any sample, and
// stores samples with release; readers load samples with acquire. So a
// reader that saw any sample of a write also sees that write's writing_
// when it checks afterwards, and starts again if its oldest frame may have
// been overwritten. (Release/acquire on single values are plain moves on
// x86-64, and unlike fences ThreadSanitizer understands them.)
#include "frame_ring.h"

#include <algorithm>
#include <cassert>

namespace hgcap {

FrameRing::FrameRing(unsigned channels, std::size_t capacity)
    : channels_(channels == 0 ? 1 : channels), capacity_(capacity), mask_(capacity - 1),
      samples_(new std::atomic<float>[capacity * (channels == 0 ? 1 : channels)]) {
    assert(capacity >= 2 && (capacity & (capacity - 1)) == 0);
    for (std::size_t i = 0; i < capacity_ * channels_; ++i)
        samples_[i].store(0.0f, std::memory_order_relaxed);
}

void FrameRing::write(const float *interleaved, std::size_t frames) {
    if (frames == 0)
        return;
    const std::uint64_t start = written_.load(std::memory_order_relaxed);
    const std::uint64_t end = start + frames;
    std::size_t skip = 0;
    if (frames > capacity_) {
        skip = frames - capacity_;
        interleaved += skip * channels_;
    }
    writing_.store(end, std::memory_order_relaxed);
    for (std::uint64_t f = start + skip; f < end; ++f) {
        std::atomic<float> *slot = &samples_[(f & mask_) * channels_];
        for (unsigned c = 0; c < channels_; ++c)
            slot[c].store(*interleaved++, std::memory_order_release);
    }
    written_.store(end, std::memory_order_release);
}

std::size_t FrameRing::held() const {
    return static_cast<std::size_t>(std::min<std::uint64_t>(total(), capacity_));
}

bool FrameRing::copy_intact(std::uint64_t first) const {
    return writing_.load(std::memory_order_relaxed) <= first + capacity_;
}

std::size_t FrameRing::read_latest(float *dst, std::size_t frames) const {
    for (;;) {
        const std::uint64_t w = written_.load(std::memory_order_acquire);
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>({frames, w, static_cast<std::uint64_t>(capacity_)}));
        const std::uint64_t first = w - n;
        float *out = dst;
        for (std::uint64_t f = first; f < w; ++f) {
            const std::atomic<float> *slot = &samples_[(f & mask_) * channels_];
            for (unsigned c = 0; c < channels_; ++c)
                *out++ = slot[c].load(std::memory_order_acquire);
        }
        if (copy_intact(first))
            return n;
    }
}

void FrameRing::read_latest_mono(float *dst, std::size_t frames) const {
    const float scale = 1.0f / static_cast<float>(channels_);
    for (;;) {
        const std::uint64_t w = written_.load(std::memory_order_acquire);
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>({frames, w, static_cast<std::uint64_t>(capacity_)}));
        const std::uint64_t first = w - n;
        std::fill(dst, dst + (frames - n), 0.0f);
        float *out = dst + (frames - n);
        for (std::uint64_t f = first; f < w; ++f) {
            const std::atomic<float> *slot = &samples_[(f & mask_) * channels_];
            float sum = 0.0f;
            for (unsigned c = 0; c < channels_; ++c)
                sum += slot[c].load(std::memory_order_acquire);
            *out++ = channels_ == 1 ? sum : sum * scale;
        }
        if (copy_intact(first))
            return;
    }
}

} // namespace hgcap
