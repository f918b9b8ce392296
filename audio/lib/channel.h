// ChannelCore: one capture channel's sample path without any sound-server
// type: its format, its DSP chain and record callback, its ring of latest
// frames and its state. deliver() runs on the capture thread; the state,
// the ring and the format are read from any thread.
#pragma once

#include "frame_ring.h"
#include "hushcapture.h"

#include <atomic>
#include <cstddef>
#include <mutex>
#include <vector>

namespace hgcap {

enum class ChannelState : int {
    Capturing, // blocks arrive and are kept
    Stopped,   // the record callback asked to stop; the kept frames stay readable
    Lost,      // the source or the server went away; reads fail
    Released,  // freed; no callback runs any more
};

class ChannelCore {
public:
    // Most frames handed to the callbacks at once: longer server chunks are
    // cut into blocks of this size, so the block buffer is allocated once.
    static constexpr std::size_t kMaxBlockFrames = 4096;
    // Most DSP routines on one channel (their table is allocated once).
    static constexpr std::size_t kMaxDsps = 64;

    ChannelCore(HRECORD handle, DWORD freq, DWORD chans, DWORD flags, RECORDPROC *proc, void *user);

    HRECORD handle() const { return handle_; }
    DWORD freq() const { return freq_; }
    DWORD chans() const { return chans_; }
    DWORD flags() const { return flags_; }
    const FrameRing &ring() const { return ring_; }

    ChannelState state() const { return state_.load(std::memory_order_relaxed); }
    // Any thread: Capturing becomes Lost (a stopped or released channel keeps its state).
    void mark_lost();
    // Any thread: no callback runs after this returns, and none starts later.
    // Must not be called from inside one of this channel's callbacks.
    void release();

    // Any thread. Adds a DSP routine (higher priority runs first; equal
    // priorities in the order they were added). Returns false when the table is full.
    bool add_dsp(HDSP handle, DSPPROC *proc, void *user, int priority);

    // Capture thread. Hands `frames` interleaved float frames (at any byte
    // alignment) to the DSP routines, keeps them in the ring and passes them
    // to the record callback, in blocks of at most kMaxBlockFrames. Does
    // nothing unless capturing.
    void deliver(const void *interleaved, std::size_t frames);

    // True while the calling thread is inside a callback of some channel.
    static bool in_callback();

private:
    struct Dsp {
        DSPPROC *proc;
        void *user;
        int priority;
        HDSP handle;
    };

    const HRECORD handle_;
    const DWORD freq_, chans_, flags_;
    RECORDPROC *const proc_;
    void *const user_;
    FrameRing ring_;
    std::atomic<ChannelState> state_{ChannelState::Capturing};
    // Held while callbacks run and while the DSP table or the state changes
    // from Capturing, so release() waits for a running block to finish.
    std::mutex callback_mutex_;
    std::vector<Dsp> dsps_;    // reserved to kMaxDsps once
    std::vector<float> block_; // kMaxBlockFrames * chans, the buffer the callbacks see
};

} // namespace hgcap
