// PulseBackend: the capture library's only door to the sound server
// (libpulse, threaded main loop). Its methods are called by the API layer
// with the library's control lock held; its callbacks run on the main loop's
// thread, which is also the thread on which captured blocks are delivered.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace hgcap {

class ChannelCore;

// One capture source as first listed. The list never changes after it was
// taken; `present` follows the server (the source exists there now).
struct SourceEntry {
    std::string description; // shown to the user
    std::string name;        // the server's name: the entry's identity
    bool monitor = false;
    std::atomic<bool> present{false};
    std::uint32_t index = UINT32_MAX; // server index while present (main-loop lock)
};

class PulseBackend {
public:
    PulseBackend() = default;
    ~PulseBackend();
    PulseBackend(const PulseBackend &) = delete;
    PulseBackend &operator=(const PulseBackend &) = delete;

    // Connects when there is no live connection (a dead one is dropped
    // first); never starts a server. False when no server can be reached.
    bool ensure_connected();
    bool connected() const;

    // The source list, taken at the first call that reaches the server;
    // empty while no server was ever reached.
    const std::vector<std::unique_ptr<SourceEntry>> &sources();

    // Whether the source of entry `i` exists on the server right now (asks it).
    bool source_exists(std::size_t i);

    enum class VolumeResult { Ok, NoServer, NoSource };
    // The current volume of entry `i`'s source as the server reports it,
    // linear (1.0 = 100 %): the mean over its channels of each channel's
    // software volume made linear. Asks the server every time.
    VolumeResult source_volume(std::size_t i, float &linear);

    enum class StartResult { Ok, NoServer, NoSource, Refused };
    // Starts a record stream (float32, the channel's rate and channel count)
    // from entry `i`'s source that delivers into `channel`.
    StartResult start_capture(std::size_t i, const std::shared_ptr<ChannelCore> &channel);
    // Ends the capture of `channel` (if any): after this returns, no block of
    // it is delivered any more.
    void stop_capture(const ChannelCore *channel);

    // Ends every capture, disconnects and stops the main-loop thread.
    void shutdown();

private:
    struct Capture {
        PulseBackend *self;
        pa_stream *stream;
        std::shared_ptr<ChannelCore> channel;
        pa_context *context;
        // The server may hand over chunks that end inside a frame: the bytes
        // of a started frame wait here for the rest (loop thread only).
        std::uint64_t position = 0; // bytes of the stream so far, holes included
        unsigned carried = 0;
        float carry[8] = {};
    };
    void end_capture(Capture &c); // loop locked

    bool start_loop();
    // With the loop locked: waits until done() or `timeout_ms` passed; returns done().
    template <class Done> bool wait_for(Done done, int timeout_ms);
    bool take_listing(); // loop locked; first listing or presence refresh
    void drop_dead_context();
    void release_context(); // loop locked; disconnects and drops context_, if any
    void mark_all_lost();

    friend struct LoopCallbacks; // the loop thread's callbacks (in the .cpp)

    pa_threaded_mainloop *loop_ = nullptr;
    pa_context *context_ = nullptr;
    std::atomic<int> context_state_{0}; // pa_context_state_t of context_
    bool listed_ = false;
    std::vector<std::unique_ptr<SourceEntry>> sources_;
    std::vector<std::unique_ptr<Capture>> captures_; // main-loop lock
};

} // namespace hgcap
