// PulseBackend: connection, source list and record streams over libpulse's
// threaded main loop. Public methods run on API threads (control lock held)
// and take the main-loop lock; the static callbacks run on the loop thread.
#include "pulse_backend.h"

#include "channel.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstring>

namespace hgcap {
namespace {

constexpr int kConnectTimeoutMs = 5000;
constexpr int kRequestTimeoutMs = 5000;

struct Deadline {
    pa_threaded_mainloop *loop;
    bool expired = false;
};

void on_deadline(pa_mainloop_api *, pa_time_event *, const struct timeval *, void *d) {
    auto *dl = static_cast<Deadline *>(d);
    dl->expired = true;
    pa_threaded_mainloop_signal(dl->loop, 0);
}

bool context_dead(int state) { return state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED; }

struct ListedSource {
    std::string name, description;
    bool monitor;
    std::uint32_t index;
};

struct ListRequest {
    pa_threaded_mainloop *loop;
    std::vector<ListedSource> found;
    bool done = false;
    bool failed = false;
};

void on_source_info(pa_context *, const pa_source_info *info, int eol, void *r) {
    auto *req = static_cast<ListRequest *>(r);
    if (eol != 0) {
        req->failed = eol < 0;
        req->done = true;
        pa_threaded_mainloop_signal(req->loop, 0);
        return;
    }
    if (info && info->name)
        req->found.push_back({info->name, info->description ? info->description : info->name,
                              info->monitor_of_sink != PA_INVALID_INDEX, info->index});
}

// A source's volume, asked for by name: the mean of its channels' linear
// volumes (loop thread writes, the asking thread reads after `done`, both
// under the main-loop lock).
struct VolumeRequest {
    pa_threaded_mainloop *loop;
    bool found = false;
    bool done = false;
    double linear = 0.0;
    std::uint32_t index = PA_INVALID_INDEX;
};

void on_source_volume(pa_context *, const pa_source_info *info, int eol, void *r) {
    auto *req = static_cast<VolumeRequest *>(r);
    if (eol != 0) {
        req->done = true;
        pa_threaded_mainloop_signal(req->loop, 0);
        return;
    }
    if (!info || req->found)
        return;
    const unsigned n = info->volume.channels;
    double sum = 0.0;
    for (unsigned c = 0; c < n && c < PA_CHANNELS_MAX; ++c)
        sum += pa_sw_volume_to_linear(info->volume.values[c]);
    // A source without channels in its volume would be a server fault; it
    // is read as 0 rather than divided by.
    req->linear = n > 0 ? sum / n : 0.0;
    req->index = info->index;
    req->found = true;
}

// Holds the main-loop lock for a scope (also when an exception leaves it).
class LoopLock {
public:
    explicit LoopLock(pa_threaded_mainloop *loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
    ~LoopLock() { unlock(); }
    void unlock() {
        if (loop_)
            pa_threaded_mainloop_unlock(loop_);
        loop_ = nullptr;
    }
    LoopLock(const LoopLock &) = delete;
    LoopLock &operator=(const LoopLock &) = delete;

private:
    pa_threaded_mainloop *loop_;
};

} // namespace

// Callbacks of the loop thread; they run with the main-loop lock held.
struct LoopCallbacks {
    static void context_state(pa_context *c, void *self);
    static void subscribe(pa_context *c, pa_subscription_event_type_t type, std::uint32_t idx, void *self);
    static void stream_state(pa_stream *s, void *capture);
    static void stream_read(pa_stream *s, std::size_t nbytes, void *capture);
};

PulseBackend::~PulseBackend() { shutdown(); }

bool PulseBackend::connected() const { return context_ && context_state_.load() == PA_CONTEXT_READY; }

template <class Done> bool PulseBackend::wait_for(Done done, int timeout_ms) {
    if (done())
        return true;
    pa_mainloop_api *api = pa_threaded_mainloop_get_api(loop_);
    Deadline dl{loop_};
    struct timeval tv;
    pa_gettimeofday(&tv);
    pa_timeval_add(&tv, static_cast<pa_usec_t>(timeout_ms) * PA_USEC_PER_MSEC);
    pa_time_event *ev = api->time_new(api, &tv, on_deadline, &dl);
    while (!done() && !dl.expired)
        pa_threaded_mainloop_wait(loop_);
    api->time_free(ev);
    return done();
}

bool PulseBackend::start_loop() {
    loop_ = pa_threaded_mainloop_new();
    if (!loop_)
        return false;
    pa_threaded_mainloop_set_name(loop_, "hushcapture");
    if (pa_threaded_mainloop_start(loop_) < 0) {
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
        return false;
    }
    return true;
}

void PulseBackend::end_capture(Capture &c) {
    pa_stream_set_read_callback(c.stream, nullptr, nullptr);
    pa_stream_set_state_callback(c.stream, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(c.stream)))
        pa_stream_disconnect(c.stream);
    pa_stream_unref(c.stream);
    c.stream = nullptr;
}

void PulseBackend::mark_all_lost() {
    for (auto &c : captures_)
        if (c->context == context_)
            c->channel->mark_lost();
    for (auto &s : sources_) {
        s->present.store(false);
        s->index = PA_INVALID_INDEX;
    }
}

void PulseBackend::drop_dead_context() {
    if (!context_)
        return;
    mark_all_lost();
    for (auto it = captures_.begin(); it != captures_.end();) {
        if ((*it)->context == context_) {
            end_capture(**it);
            it = captures_.erase(it);
        } else {
            ++it;
        }
    }
    release_context();
}

void PulseBackend::release_context() {
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_set_subscribe_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    context_state_.store(PA_CONTEXT_UNCONNECTED);
}

bool PulseBackend::ensure_connected() {
    if (!loop_ && !start_loop())
        return false;
    LoopLock lock(loop_);
    if (connected())
        return true;
    drop_dead_context();
    pa_mainloop_api *api = pa_threaded_mainloop_get_api(loop_);
    pa_proplist *props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Hushgauge");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "hushgauge");
    context_ = pa_context_new_with_proplist(api, "Hushgauge", props);
    pa_proplist_free(props);
    bool ok = false;
    if (context_) {
        pa_context_set_state_callback(context_, LoopCallbacks::context_state, this);
        pa_context_set_subscribe_callback(context_, LoopCallbacks::subscribe, this);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
            wait_for(
                [this] {
                    const int s = context_state_.load();
                    return s == PA_CONTEXT_READY || context_dead(s);
                },
                kConnectTimeoutMs);
            ok = connected();
        }
    }
    if (ok) {
        pa_operation *op = pa_context_subscribe(context_, PA_SUBSCRIPTION_MASK_SOURCE, nullptr, nullptr);
        if (op)
            pa_operation_unref(op);
        ok = take_listing();
    }
    if (!ok)
        drop_dead_context();
    return ok;
}

bool PulseBackend::take_listing() {
    ListRequest req{loop_, {}};
    pa_operation *op = pa_context_get_source_info_list(context_, on_source_info, &req);
    if (!op)
        return false;
    const bool finished = wait_for([&] { return req.done || !connected(); }, kRequestTimeoutMs);
    if (!req.done)
        pa_operation_cancel(op);
    pa_operation_unref(op);
    if (!finished || !req.done || req.failed)
        return false;
    if (!listed_) {
        // Input sources first, then monitors, each in the server's order.
        std::stable_partition(req.found.begin(), req.found.end(), [](const ListedSource &s) { return !s.monitor; });
        for (const ListedSource &s : req.found) {
            auto e = std::make_unique<SourceEntry>();
            e->name = s.name;
            e->description = s.description;
            e->monitor = s.monitor;
            e->index = s.index;
            e->present.store(true);
            sources_.push_back(std::move(e));
        }
        listed_ = true;
        return true;
    }
    // A later connection (the server was started again): entries keep their
    // identity by source name.
    for (auto &e : sources_) {
        auto it = std::find_if(req.found.begin(), req.found.end(), [&](const ListedSource &s) { return s.name == e->name; });
        e->index = it == req.found.end() ? PA_INVALID_INDEX : it->index;
        e->present.store(it != req.found.end());
    }
    return true;
}

const std::vector<std::unique_ptr<SourceEntry>> &PulseBackend::sources() {
    if (!listed_)
        ensure_connected();
    return sources_;
}

bool PulseBackend::source_exists(std::size_t i) {
    if (i >= sources_.size() || !ensure_connected())
        return false;
    SourceEntry &e = *sources_[i];
    LoopLock lock(loop_);
    ListRequest req{loop_, {}};
    pa_operation *op = pa_context_get_source_info_by_name(context_, e.name.c_str(), on_source_info, &req);
    if (op) {
        wait_for([&] { return req.done || !connected(); }, kRequestTimeoutMs);
        if (!req.done)
            pa_operation_cancel(op);
        pa_operation_unref(op);
    }
    const bool found = req.done && !req.failed && !req.found.empty();
    e.present.store(found);
    e.index = found ? req.found.front().index : PA_INVALID_INDEX;
    return found;
}

PulseBackend::VolumeResult PulseBackend::source_volume(std::size_t i, float &linear) {
    if (i >= sources_.size())
        return VolumeResult::NoSource;
    if (!ensure_connected())
        return VolumeResult::NoServer;
    SourceEntry &e = *sources_[i];
    LoopLock lock(loop_);
    VolumeRequest req{loop_};
    pa_operation *op = pa_context_get_source_info_by_name(context_, e.name.c_str(), on_source_volume, &req);
    if (op) {
        wait_for([&] { return req.done || !connected(); }, kRequestTimeoutMs);
        if (!req.done)
            pa_operation_cancel(op);
        pa_operation_unref(op);
    }
    // No answer in time is a server that cannot be reached, not a source gone.
    if (!req.done)
        return VolumeResult::NoServer;
    // Asked anyway, so the entry's presence follows what the server said.
    e.present.store(req.found);
    e.index = req.found ? req.index : PA_INVALID_INDEX;
    if (!req.found)
        return VolumeResult::NoSource;
    linear = static_cast<float>(req.linear);
    return VolumeResult::Ok;
}

PulseBackend::StartResult PulseBackend::start_capture(std::size_t i, const std::shared_ptr<ChannelCore> &channel) {
    if (i >= sources_.size())
        return StartResult::NoSource;
    if (!ensure_connected())
        return StartResult::NoServer;
    LoopLock lock(loop_);
    pa_sample_spec ss;
    ss.format = PA_SAMPLE_FLOAT32LE;
    ss.rate = channel->freq();
    ss.channels = static_cast<std::uint8_t>(channel->chans());
    pa_channel_map map;
    pa_channel_map_init_extend(&map, ss.channels, PA_CHANNEL_MAP_DEFAULT);
    pa_stream *s = pa_sample_spec_valid(&ss) ? pa_stream_new(context_, "Hushgauge capture", &ss, &map) : nullptr;
    if (!s)
        return StartResult::Refused;
    auto cap = std::make_unique<Capture>(Capture{this, s, channel, context_});
    pa_stream_set_state_callback(s, LoopCallbacks::stream_state, cap.get());
    pa_stream_set_read_callback(s, LoopCallbacks::stream_read, cap.get());
    pa_buffer_attr attr;
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(-1);
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(10 * PA_USEC_PER_MSEC, &ss));
    // Never let the server move the stream to another source: a comparison
    // must not go on silently on a different device.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    bool ready = false;
    if (pa_stream_connect_record(s, sources_[i]->name.c_str(), &attr, flags) >= 0) {
        wait_for(
            [s] {
                const pa_stream_state_t st = pa_stream_get_state(s);
                return st == PA_STREAM_READY || !PA_STREAM_IS_GOOD(st);
            },
            kRequestTimeoutMs);
        ready = pa_stream_get_state(s) == PA_STREAM_READY;
    }
    StartResult result = StartResult::Ok;
    if (ready) {
        captures_.push_back(std::move(cap));
    } else {
        end_capture(*cap);
        result = !connected() ? StartResult::NoServer : StartResult::Refused;
    }
    lock.unlock();
    if (result == StartResult::Refused && !source_exists(i))
        result = StartResult::NoSource;
    return result;
}

void PulseBackend::stop_capture(const ChannelCore *channel) {
    if (!loop_)
        return;
    LoopLock lock(loop_);
    for (auto it = captures_.begin(); it != captures_.end(); ++it) {
        if ((*it)->channel.get() == channel) {
            end_capture(**it);
            captures_.erase(it);
            break;
        }
    }
}

void PulseBackend::shutdown() {
    if (!loop_)
        return;
    LoopLock lock(loop_);
    for (auto &c : captures_)
        end_capture(*c);
    captures_.clear();
    release_context();
    lock.unlock();
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
}

// ---- loop thread ----

void LoopCallbacks::context_state(pa_context *c, void *p) {
    auto *self = static_cast<PulseBackend *>(p);
    const pa_context_state_t st = pa_context_get_state(c);
    if (c == self->context_) {
        self->context_state_.store(st);
        if (context_dead(st))
            self->mark_all_lost();
    }
    pa_threaded_mainloop_signal(self->loop_, 0);
}

void LoopCallbacks::subscribe(pa_context *c, pa_subscription_event_type_t type, std::uint32_t idx, void *p) {
    auto *self = static_cast<PulseBackend *>(p);
    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SOURCE)
        return;
    const int kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    if (kind == PA_SUBSCRIPTION_EVENT_REMOVE) {
        for (auto &e : self->sources_) {
            if (e->index == idx) {
                e->present.store(false);
                e->index = PA_INVALID_INDEX;
            }
        }
        for (auto &cap : self->captures_)
            if (pa_stream_get_device_index(cap->stream) == idx)
                cap->channel->mark_lost();
    } else if (kind == PA_SUBSCRIPTION_EVENT_NEW) {
        auto on_new = [](pa_context *, const pa_source_info *info, int eol, void *q) {
            auto *me = static_cast<PulseBackend *>(q);
            if (eol != 0 || !info || !info->name)
                return;
            for (auto &e : me->sources_) {
                if (e->name == info->name) {
                    e->index = info->index;
                    e->present.store(true);
                }
            }
        };
        pa_operation *op = pa_context_get_source_info_by_index(c, idx, on_new, self);
        if (op)
            pa_operation_unref(op);
    }
}

void LoopCallbacks::stream_state(pa_stream *s, void *p) {
    auto *cap = static_cast<PulseBackend::Capture *>(p);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s)))
        cap->channel->mark_lost();
    pa_threaded_mainloop_signal(cap->self->loop_, 0);
}

void LoopCallbacks::stream_read(pa_stream *s, std::size_t, void *p) {
    auto *cap = static_cast<PulseBackend::Capture *>(p);
    ChannelCore &ch = *cap->channel;
    const std::size_t frame_bytes = sizeof(float) * ch.chans();
    for (;;) {
        const void *data = nullptr;
        std::size_t n = 0;
        if (pa_stream_peek(s, &data, &n) < 0 || n == 0)
            return;
        if (!data) {
            // A hole (data the server lost): no samples, and a started frame
            // cannot be finished.
            cap->carried = 0;
            cap->position += n;
            pa_stream_drop(s);
            continue;
        }
        const auto *bytes = static_cast<const std::uint8_t *>(data);
        auto *carry = reinterpret_cast<std::uint8_t *>(cap->carry);
        if (cap->carried > 0) {
            const std::size_t take = std::min<std::size_t>(frame_bytes - cap->carried, n);
            std::memcpy(carry + cap->carried, bytes, take);
            cap->carried += static_cast<unsigned>(take);
            bytes += take;
            n -= take;
            cap->position += take;
            if (cap->carried == frame_bytes) {
                ch.deliver(cap->carry, 1);
                cap->carried = 0;
            }
        } else if (const std::size_t into = cap->position % frame_bytes; into != 0) {
            // The rest of a frame whose start fell into a hole.
            const std::size_t skip = std::min(frame_bytes - into, n);
            bytes += skip;
            n -= skip;
            cap->position += skip;
        }
        const std::size_t whole = n / frame_bytes;
        if (whole > 0) {
            ch.deliver(bytes, whole);
            bytes += whole * frame_bytes;
            n -= whole * frame_bytes;
            cap->position += whole * frame_bytes;
        }
        if (n > 0) {
            std::memcpy(carry, bytes, n);
            cap->carried = static_cast<unsigned>(n);
            cap->position += n;
        }
        pa_stream_drop(s);
    }
}

} // namespace hgcap
