// The capture library's C entry points (hushcapture.h). Control calls
// (init, devices, start, free) run on any thread under one control lock;
// reads (ChannelGetData, IsActive, GetInfo) take no lock but a shared look-up
// of the channel table, so any number of threads read at once.
#include "hushcapture.h"

#include "channel.h"
#include "pulse_backend.h"
#include "spectrum.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>
#include <vector>

namespace {

using hgcap::ChannelCore;
using hgcap::ChannelState;
using hgcap::PulseBackend;

thread_local int t_error = BASS_OK;
thread_local long t_device = -1; // the thread's current recording device

struct DeviceState {
    bool initialised = false;
    std::shared_ptr<ChannelCore> channel; // the device's channel, until RecordFree
};

// Everything below is guarded by g_control, except the channel table
// (g_table_mutex) and the handle counters (atomic).
std::mutex g_control;
bool g_initialised = false; // BASS_Init succeeded and BASS_Free has not run since
std::vector<DeviceState> g_devices;

std::shared_mutex g_table_mutex;
std::unordered_map<DWORD, std::shared_ptr<ChannelCore>> g_channels; // live channels

// Handles start high so that they are never mistaken for small device
// numbers, and are never issued twice in the life of the process.
std::atomic<DWORD> g_next_channel{0x10001};
std::atomic<DWORD> g_next_dsp{0x20001};

PulseBackend &backend() {
    // Lives for the whole process: channels and device names point into it.
    static PulseBackend *b = new PulseBackend;
    return *b;
}

template <class T> T fail(int code, T result) {
    t_error = code;
    return result;
}
BOOL fail(int code) { return fail<BOOL>(code, FALSE); }
template <class T> T ok(T result) {
    t_error = BASS_OK;
    return result;
}

// Control calls would wait for the loop thread, which waits for the
// callback that made them: refuse them there instead of hanging. (User code
// runs on the loop thread only inside a channel's callbacks.)
bool in_callback() { return ChannelCore::in_callback(); }

// g_control held. Takes the device list on first use and sizes the state table.
std::size_t device_count() {
    const std::size_t n = backend().sources().size();
    if (g_devices.size() < n)
        g_devices.resize(n);
    return n;
}

// g_control held. Ends a device's channel: no callback runs after this.
void release_channel(DeviceState &d) {
    if (!d.channel)
        return;
    // Released before the stream is stopped: its blocks are then dropped
    // unprocessed, so a capture thread that has fallen behind the data
    // catches up and lets go of the loop lock that stopping needs.
    d.channel->release();
    backend().stop_capture(d.channel.get());
    {
        std::unique_lock<std::shared_mutex> lock(g_table_mutex);
        g_channels.erase(d.channel->handle());
    }
    d.channel.reset();
}

std::shared_ptr<ChannelCore> find_channel(DWORD handle) {
    std::shared_lock<std::shared_mutex> lock(g_table_mutex);
    auto it = g_channels.find(handle);
    return it == g_channels.end() ? nullptr : it->second;
}

// Runs a control call's body; an exception (out of memory while listing or
// starting, say) becomes an error code instead of crossing the C interface.
template <class R, class Body> R guarded(R failed, Body &&body) {
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return fail(BASS_ERROR_MEM, failed);
    } catch (...) {
        return fail(BASS_ERROR_UNKNOWN, failed);
    }
}

bool current_initialised() {
    return t_device >= 0 && static_cast<std::size_t>(t_device) < g_devices.size() && g_devices[t_device].initialised;
}

} // namespace

extern "C" {

HGAPI BOOL BASS_Init(int device, DWORD, DWORD, void *, const void *) {
    return guarded<BOOL>(FALSE, [&]() -> BOOL {
        if (in_callback())
            return fail(BASS_ERROR_CALLBACK);
        std::lock_guard<std::mutex> lock(g_control);
        if (device != 0)
            return fail(BASS_ERROR_DEVICE);
        if (g_initialised)
            return fail(BASS_ERROR_ALREADY);
        if (!backend().ensure_connected())
            return fail(BASS_ERROR_SERVER);
        device_count();
        g_initialised = true;
        return ok(TRUE);
    });
}

HGAPI BOOL BASS_Free(void) {
    return guarded<BOOL>(FALSE, [&]() -> BOOL {
        if (in_callback())
            return fail(BASS_ERROR_CALLBACK);
        std::lock_guard<std::mutex> lock(g_control);
        for (DeviceState &d : g_devices) {
            release_channel(d);
            d.initialised = false;
        }
        backend().shutdown();
        const bool was = g_initialised;
        g_initialised = false;
        // Recording devices are released even without BASS_Init, but only a
        // library that was started reports success.
        return was ? ok(TRUE) : fail(BASS_ERROR_INIT);
    });
}

HGAPI int BASS_ErrorGetCode(void) { return t_error; }

HGAPI BOOL BASS_RecordGetDeviceInfo(DWORD device, BASS_DEVICEINFO *info) {
    return guarded<BOOL>(FALSE, [&]() -> BOOL {
        if (in_callback())
            return fail(BASS_ERROR_CALLBACK);
        if (!info)
            return fail(BASS_ERROR_ILLPARAM);
        std::lock_guard<std::mutex> lock(g_control);
        const std::size_t n = device_count();
        if (device >= n)
            return fail(BASS_ERROR_DEVICE);
        const hgcap::SourceEntry &e = *backend().sources()[device];
        info->name = e.description.c_str();
        info->driver = e.name.c_str();
        info->flags = (e.present.load() ? BASS_DEVICE_ENABLED : 0u) | (g_devices[device].initialised ? BASS_DEVICE_INIT : 0u) |
                      (e.monitor ? BASS_DEVICE_MONITOR : 0u);
        return ok(TRUE);
    });
}

HGAPI BOOL BASS_RecordInit(int device) {
    return guarded<BOOL>(FALSE, [&]() -> BOOL {
        if (in_callback())
            return fail(BASS_ERROR_CALLBACK);
        std::lock_guard<std::mutex> lock(g_control);
        const std::size_t n = device_count();
        if (device < 0 || static_cast<std::size_t>(device) >= n)
            return fail(n == 0 && !backend().connected() ? BASS_ERROR_SERVER : BASS_ERROR_DEVICE);
        DeviceState &d = g_devices[device];
        if (d.initialised)
            return fail(BASS_ERROR_ALREADY);
        if (!backend().ensure_connected())
            return fail(BASS_ERROR_SERVER);
        if (!backend().source_exists(device))
            return fail(BASS_ERROR_DEVICE);
        d.initialised = true;
        t_device = device;
        return ok(TRUE);
    });
}

HGAPI BOOL BASS_RecordGetVolume(DWORD device, float *volume) {
    return guarded<BOOL>(FALSE, [&]() -> BOOL {
        if (in_callback())
            return fail(BASS_ERROR_CALLBACK);
        if (!volume)
            return fail(BASS_ERROR_ILLPARAM);
        std::lock_guard<std::mutex> lock(g_control);
        const std::size_t n = device_count();
        if (device >= n)
            return fail(n == 0 && !backend().connected() ? BASS_ERROR_SERVER : BASS_ERROR_DEVICE);
        float linear = 0.0f;
        switch (backend().source_volume(device, linear)) {
        case PulseBackend::VolumeResult::Ok:
            *volume = linear;
            return ok(TRUE);
        case PulseBackend::VolumeResult::NoServer:
            return fail(BASS_ERROR_SERVER);
        case PulseBackend::VolumeResult::NoSource:
            break;
        }
        return fail(BASS_ERROR_DEVICE);
    });
}

HGAPI BOOL BASS_RecordSetDevice(DWORD device) {
    if (in_callback())
        return fail(BASS_ERROR_CALLBACK);
    std::lock_guard<std::mutex> lock(g_control);
    if (device >= g_devices.size())
        return fail(BASS_ERROR_DEVICE);
    if (!g_devices[device].initialised)
        return fail(BASS_ERROR_INIT);
    t_device = device;
    return ok(TRUE);
}

HGAPI DWORD BASS_RecordGetDevice(void) {
    if (in_callback())
        return fail<DWORD>(BASS_ERROR_CALLBACK, static_cast<DWORD>(-1));
    std::lock_guard<std::mutex> lock(g_control);
    if (!current_initialised())
        return fail<DWORD>(BASS_ERROR_INIT, static_cast<DWORD>(-1));
    return ok(static_cast<DWORD>(t_device));
}

HGAPI BOOL BASS_RecordFree(void) {
    if (in_callback())
        return fail(BASS_ERROR_CALLBACK);
    std::lock_guard<std::mutex> lock(g_control);
    if (!current_initialised())
        return fail(BASS_ERROR_INIT);
    DeviceState &d = g_devices[t_device];
    release_channel(d);
    d.initialised = false;
    return ok(TRUE);
}

// Formats: 32-bit float samples only (BASS_SAMPLE_FLOAT is required); any
// rate from 1000 to 192000 Hz and 1 to 8 channels, which the server converts
// to from the source's own format. Other flag bits are refused.
HGAPI HRECORD BASS_RecordStart(DWORD freq, DWORD chans, DWORD flags, RECORDPROC *proc, void *user) {
    return guarded<HRECORD>(0u, [&]() -> HRECORD {
        if (in_callback())
            return fail<HRECORD>(BASS_ERROR_CALLBACK, 0);
        std::lock_guard<std::mutex> lock(g_control);
        if (!current_initialised())
            return fail<HRECORD>(BASS_ERROR_INIT, 0);
        DeviceState &d = g_devices[t_device];
        if (d.channel)
            return fail<HRECORD>(BASS_ERROR_BUSY, 0);
        if ((flags & ~BASS_SAMPLE_FLOAT) != 0)
            return fail<HRECORD>(BASS_ERROR_ILLPARAM, 0);
        if (!(flags & BASS_SAMPLE_FLOAT) || freq < 1000 || freq > 192000 || chans < 1 || chans > 8)
            return fail<HRECORD>(BASS_ERROR_FORMAT, 0);
        const HRECORD handle = g_next_channel.fetch_add(1);
        std::shared_ptr<ChannelCore> channel;
        try {
            channel = std::make_shared<ChannelCore>(handle, freq, chans, flags, proc, user);
            // In the table before the stream starts: its first blocks may arrive,
            // and be read from, before BASS_RecordStart returns.
            std::unique_lock<std::shared_mutex> table(g_table_mutex);
            g_channels.emplace(handle, channel);
        } catch (const std::bad_alloc &) {
            return fail<HRECORD>(BASS_ERROR_MEM, 0);
        }
        int code = BASS_OK;
        switch (backend().start_capture(static_cast<std::size_t>(t_device), channel)) {
        case PulseBackend::StartResult::Ok:
            break;
        case PulseBackend::StartResult::NoServer:
            code = BASS_ERROR_SERVER;
            break;
        case PulseBackend::StartResult::NoSource:
            code = BASS_ERROR_DEVICE;
            break;
        case PulseBackend::StartResult::Refused:
            code = BASS_ERROR_START;
            break;
        }
        if (code != BASS_OK) {
            channel->release();
            std::unique_lock<std::shared_mutex> table(g_table_mutex);
            g_channels.erase(handle);
            return fail<HRECORD>(code, 0);
        }
        d.channel = std::move(channel);
        return ok(handle);
    });
}

HGAPI HDSP BASS_ChannelSetDSP(DWORD handle, DSPPROC *proc, void *user, int priority) {
    if (ChannelCore::in_callback())
        return fail<HDSP>(BASS_ERROR_CALLBACK, 0);
    if (!proc)
        return fail<HDSP>(BASS_ERROR_ILLPARAM, 0);
    std::shared_ptr<ChannelCore> ch = find_channel(handle);
    if (!ch)
        return fail<HDSP>(BASS_ERROR_HANDLE, 0);
    const HDSP dsp = g_next_dsp.fetch_add(1);
    if (!ch->add_dsp(dsp, proc, user, priority))
        return fail<HDSP>(BASS_ERROR_MEM, 0);
    return ok(dsp);
}

// Reads never remove data. Lengths:
//   BASS_DATA_AVAILABLE   the bytes of frames held (at most the ring's capacity);
//   BASS_DATA_FFTn        n/2 magnitudes of the latest n frames;
//   1 ... 0x3FFFFFFF      the latest whole frames that fit in `length` bytes,
//                         oldest first; fewer while fewer are held (the result
//                         says how many bytes were written);
//   anything else         BASS_ERROR_ILLPARAM.
HGAPI DWORD BASS_ChannelGetData(DWORD handle, void *buffer, DWORD length) {
    constexpr DWORD kFail = static_cast<DWORD>(-1);
    std::shared_ptr<ChannelCore> ch = find_channel(handle);
    if (!ch)
        return fail(BASS_ERROR_HANDLE, kFail);
    if (ch->state() == ChannelState::Lost)
        return fail(BASS_ERROR_LOST, kFail);
    const DWORD frame_bytes = static_cast<DWORD>(sizeof(float)) * ch->chans();
    if (length == BASS_DATA_AVAILABLE)
        return ok(static_cast<DWORD>(ch->ring().held()) * frame_bytes);
    if (const unsigned n = hgcap::fft_size_for_code(length)) {
        if (!buffer)
            return fail(BASS_ERROR_ILLPARAM, kFail);
        if (!hgcap::latest_spectrum(ch->ring(), n, static_cast<float *>(buffer)))
            return fail(BASS_ERROR_MEM, kFail);
        return ok(static_cast<DWORD>(n / 2 * sizeof(float)));
    }
    if (length >= 0x40000000u || !buffer)
        return fail(BASS_ERROR_ILLPARAM, kFail);
    const std::size_t frames = ch->ring().read_latest(static_cast<float *>(buffer), length / frame_bytes);
    return ok(static_cast<DWORD>(frames) * frame_bytes);
}

HGAPI DWORD BASS_ChannelIsActive(DWORD handle) {
    std::shared_ptr<ChannelCore> ch = find_channel(handle);
    if (!ch)
        return fail<DWORD>(BASS_ERROR_HANDLE, BASS_ACTIVE_STOPPED);
    return ok<DWORD>(ch->state() == ChannelState::Capturing ? BASS_ACTIVE_PLAYING : BASS_ACTIVE_STOPPED);
}

HGAPI BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO *info) {
    std::shared_ptr<ChannelCore> ch = find_channel(handle);
    if (!ch)
        return fail(BASS_ERROR_HANDLE);
    if (!info)
        return fail(BASS_ERROR_ILLPARAM);
    info->freq = ch->freq();
    info->chans = ch->chans();
    info->flags = ch->flags();
    return ok(TRUE);
}

} // extern "C"
