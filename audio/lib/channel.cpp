// ChannelCore: the per-block path of a capture channel (DSP chain, ring,
// record callback). deliver() runs on the capture thread only.
#include "channel.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace hgcap {
namespace {
thread_local int t_callback_depth = 0;

struct CallbackScope {
    CallbackScope() { ++t_callback_depth; }
    ~CallbackScope() { --t_callback_depth; }
};
} // namespace

bool ChannelCore::in_callback() { return t_callback_depth > 0; }

ChannelCore::ChannelCore(HRECORD handle, DWORD freq, DWORD chans, DWORD flags, RECORDPROC *proc, void *user)
    : handle_(handle), freq_(freq), chans_(chans), flags_(flags), proc_(proc), user_(user), ring_(chans) {
    dsps_.reserve(kMaxDsps);
    block_.resize(kMaxBlockFrames * chans_);
}

void ChannelCore::mark_lost() {
    ChannelState expected = ChannelState::Capturing;
    state_.compare_exchange_strong(expected, ChannelState::Lost, std::memory_order_relaxed);
}

void ChannelCore::release() {
    std::lock_guard<std::mutex> lock(callback_mutex_);
    state_.store(ChannelState::Released, std::memory_order_relaxed);
}

bool ChannelCore::add_dsp(HDSP handle, DSPPROC *proc, void *user, int priority) {
    std::lock_guard<std::mutex> lock(callback_mutex_);
    if (dsps_.size() >= kMaxDsps)
        return false;
    // After every routine of the same or a higher priority.
    auto at = std::find_if(dsps_.begin(), dsps_.end(), [&](const Dsp &d) { return d.priority < priority; });
    dsps_.insert(at, Dsp{proc, user, priority, handle});
    return true;
}

void ChannelCore::deliver(const void *data, std::size_t frames) {
    const auto *interleaved = static_cast<const std::uint8_t *>(data);
    std::lock_guard<std::mutex> lock(callback_mutex_);
    CallbackScope scope;
    while (frames > 0 && state() == ChannelState::Capturing) {
        const std::size_t n = std::min(frames, kMaxBlockFrames);
        const std::size_t count = n * chans_;
        const DWORD bytes = static_cast<DWORD>(count * sizeof(float));
        float *block = block_.data();
        std::memcpy(block, interleaved, count * sizeof(float));
        for (const Dsp &d : dsps_)
            d.proc(handle_, d.handle, block, bytes, d.user);
        ring_.write(block, n);
        if (proc_ && !proc_(handle_, block, bytes, user_)) {
            ChannelState expected = ChannelState::Capturing;
            state_.compare_exchange_strong(expected, ChannelState::Stopped, std::memory_order_relaxed);
        }
        interleaved += count * sizeof(float);
        frames -= n;
    }
}

} // namespace hgcap
