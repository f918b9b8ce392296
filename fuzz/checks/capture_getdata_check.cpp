// Checks of the capture library's BASS_ChannelGetData with any handle,
// length and buffer: on a live channel of the private sound server (fed with
// a sine by a thread of its own), on a released channel and on handles that
// never were. The reads run on the caller's thread; the feeder thread only
// writes to the source's fifo.
#include "fuzz_checks.h"
#include "fuzz_input.h"

#include "hushcapture.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <thread>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace hgfuzz {

namespace {

constexpr DWORD kFail = static_cast<DWORD>(-1);
constexpr DWORD kFrameBytes = 2 * sizeof(float); // 48 kHz stereo float
constexpr DWORD kMaxHeldBytes = 65536 * kFrameBytes;
constexpr unsigned char kCanary = 0xA5;
// Requests up to this size get a heap buffer of exactly their size (the
// address sanitizer sees any byte written past it); larger ones a mapping
// that ends at an inaccessible page.
constexpr std::size_t kHeapLimit = std::size_t{16} << 20;
// Bytes of a buffer filled and checked: past what the library may write,
// which is at most what it holds.
constexpr std::size_t kCheckedBytes = kMaxHeldBytes + 4096;

struct Capture {
    bool started = false;
    HRECORD live = 0;
    HRECORD released = 0;
    std::string problem = "not started";
};
Capture g_capture;

std::atomic<bool> g_feederStop{false};
std::thread *g_feeder = nullptr;

// Feeds "Hushgauge Test Input 1" a 1 kHz sine at half scale in 10 ms
// blocks, about as fast as the server would capture it from a device.
void Feed(int fd)
{
    static float block[480 * 2];
    for (int i = 0; i < 480; ++i)
        block[2 * i] = block[2 * i + 1] = 0.5f * static_cast<float>(std::sin(2 * M_PI * 1000.0 * i / 48000.0));
    while (!g_feederStop.load(std::memory_order_relaxed)) {
        const ssize_t n = ::write(fd, block, sizeof block);
        (void)n; // a full pipe (or a server gone) just waits for the next block
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::close(fd);
}

void StopFeeder()
{
    g_feederStop.store(true, std::memory_order_relaxed);
    if (g_feeder != nullptr) {
        g_feeder->join();
        delete g_feeder;
        g_feeder = nullptr;
    }
}

int FindDevice(const char *name)
{
    BASS_DEVICEINFO info{};
    for (DWORD i = 0; BASS_RecordGetDeviceInfo(i, &info); ++i)
        if (info.name != nullptr && std::strcmp(info.name, name) == 0)
            return static_cast<int>(i);
    return -1;
}

// A buffer for one request: `size` bytes, its end at the end of the
// accessible memory.
class RequestBuffer {
public:
    explicit RequestBuffer(std::size_t size) : size_(size)
    {
        if (size <= kHeapLimit) {
            heap_.reset(new (std::nothrow) unsigned char[size == 0 ? 1 : size]);
            data_ = heap_.get();
        } else {
            const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
            // Whole frames start 16-byte aligned; at most 15 bytes lie
            // between the request's end and the guard page.
            const std::size_t aligned = (size + 15) & ~std::size_t{15};
            mapSize_ = (aligned + page - 1) / page * page + page;
            void *map = ::mmap(nullptr, mapSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                               -1, 0);
            if (map == MAP_FAILED)
                return;
            map_ = static_cast<unsigned char *>(map);
            ::mprotect(map_ + mapSize_ - page, page, PROT_NONE);
            data_ = map_ + mapSize_ - page - aligned;
        }
        if (data_ != nullptr)
            std::memset(data_, kCanary, std::min(size_, kCheckedBytes));
    }
    ~RequestBuffer()
    {
        if (map_ != nullptr)
            ::munmap(map_, mapSize_);
    }
    RequestBuffer(const RequestBuffer &) = delete;
    RequestBuffer &operator=(const RequestBuffer &) = delete;

    unsigned char *data() const { return data_; }
    // The first byte from `from` on (within the checked part) that was
    // written, or -1.
    long writtenFrom(std::size_t from) const
    {
        const std::size_t end = std::min(size_, kCheckedBytes);
        for (std::size_t i = from; i < end; ++i)
            if (data_[i] != kCanary)
                return static_cast<long>(i);
        return -1;
    }

private:
    std::size_t size_;
    std::unique_ptr<unsigned char[]> heap_;
    unsigned char *map_ = nullptr;
    std::size_t mapSize_ = 0;
    unsigned char *data_ = nullptr;
};

std::string Hex(DWORD v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08x", v);
    return buf;
}

} // namespace

std::string StartCaptureForFuzzing()
{
    if (g_capture.started)
        return g_capture.problem;
    g_capture.started = true;
    if (!BASS_Init(0, 48000, 0, nullptr, nullptr)) {
        g_capture.problem = "no sound server (code " + std::to_string(BASS_ErrorGetCode()) + ")";
        return g_capture.problem;
    }
    const int in1 = FindDevice("Hushgauge Test Input 1");
    const int in2 = FindDevice("Hushgauge Test Input 2");
    if (in2 >= 0 && BASS_RecordInit(in2)) {
        g_capture.released = BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, nullptr, nullptr);
        BASS_RecordFree();
    }
    if (in1 < 0 || !BASS_RecordInit(in1)) {
        g_capture.problem = "\"Hushgauge Test Input 1\" cannot be opened";
        return g_capture.problem;
    }
    g_capture.live = BASS_RecordStart(48000, 2, BASS_SAMPLE_FLOAT, nullptr, nullptr);
    if (g_capture.live == 0) {
        g_capture.problem = "the capture does not start (code " + std::to_string(BASS_ErrorGetCode()) + ")";
        return g_capture.problem;
    }
    const char *dir = std::getenv("HG_PULSE_DIR");
    const int fd = dir != nullptr ? ::open((std::string(dir) + "/in1.fifo").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)
                                  : -1;
    if (fd >= 0) {
        g_feeder = new std::thread(Feed, fd);
        std::atexit(StopFeeder);
    }
    g_capture.problem.clear();
    return g_capture.problem;
}

std::uint32_t FuzzedLiveChannel() { return g_capture.live; }

std::string CheckCaptureGetDataInput(const std::uint8_t *data, std::size_t size)
{
    StartCaptureForFuzzing();
    ByteReader in(data, size);
    const std::uint8_t handleKind = in.take<std::uint8_t>();
    const std::uint32_t rawHandle = in.take<std::uint32_t>();
    const std::uint8_t lengthKind = in.take<std::uint8_t>();
    const std::uint32_t rawLength = in.take<std::uint32_t>();
    const bool nullBuffer = (in.take<std::uint8_t>() & 0x0f) == 0;

    DWORD handle;
    switch (handleKind % 5) {
    case 0: handle = g_capture.live; break;
    case 1: handle = g_capture.released; break;
    case 2: handle = g_capture.live + static_cast<DWORD>(static_cast<std::int8_t>(rawHandle)); break;
    case 3: handle = rawHandle; break;
    default: handle = 0; break;
    }
    DWORD length;
    switch (lengthKind % 6) {
    case 0: length = BASS_DATA_AVAILABLE; break;
    case 1: length = BASS_DATA_FFT256 + (rawLength & 7u); break;
    case 2: length = rawLength | 0x80000000u; break; // FFT codes and the flags beyond them
    case 3: length = rawLength & 0xffffu; break;
    case 4: length = rawLength % (kMaxHeldBytes * 2); break;
    default: length = rawLength; break;
    }

    // What the request may write: n/2 magnitudes for an FFT code, nothing
    // for the amount held, else at most `length` bytes.
    const bool fft = length >= BASS_DATA_FFT256 && length <= BASS_DATA_FFT32768;
    std::size_t request;
    if (fft)
        request = (std::size_t{256} << (length - BASS_DATA_FFT256)) / 2 * sizeof(float);
    else if (length == BASS_DATA_AVAILABLE)
        request = 0;
    else
        request = length;
    RequestBuffer buffer(nullBuffer ? 0 : request);
    if (!nullBuffer && buffer.data() == nullptr)
        return ""; // no memory for this request here: nothing to check
    void *const target = nullBuffer ? nullptr : buffer.data();

    const DWORD got = BASS_ChannelGetData(handle, target, length);
    const int code = BASS_ErrorGetCode();
    const std::string call = "BASS_ChannelGetData(" + Hex(handle) + ", " + (nullBuffer ? "NULL" : "buffer") + ", " +
                             Hex(length) + ") = " + Hex(got) + ", code " + std::to_string(code);

    const bool live = g_capture.live != 0 && handle == g_capture.live;
    if (!live) {
        if (got != kFail || code != BASS_ERROR_HANDLE)
            return call + ": a handle that is not a live channel must fail with BASS_ERROR_HANDLE";
        if (!nullBuffer && buffer.writtenFrom(0) >= 0)
            return call + ": wrote into the buffer of a failed call";
        return "";
    }
    if (got == kFail) {
        if (code == BASS_ERROR_LOST && BASS_ChannelIsActive(handle) == BASS_ACTIVE_STOPPED)
            return ""; // the server went away: reads fail, nothing more
        const bool illegal = (nullBuffer && length != BASS_DATA_AVAILABLE) || (!fft && length >= 0x40000000u);
        if (!(illegal && code == BASS_ERROR_ILLPARAM))
            return call + ": a live channel refused a request it can answer";
        if (!nullBuffer && buffer.writtenFrom(0) >= 0)
            return call + ": wrote into the buffer of a failed call";
        return "";
    }
    if (code != BASS_OK)
        return call + ": success with an error code";
    if (nullBuffer && length != BASS_DATA_AVAILABLE)
        return call + ": accepted a null buffer";
    if (length == BASS_DATA_AVAILABLE) {
        if (got % kFrameBytes != 0 || got > kMaxHeldBytes)
            return call + ": the amount held is not a whole number of frames within the ring";
        if (!nullBuffer && buffer.writtenFrom(0) >= 0)
            return call + ": the amount held was written into the buffer";
        return "";
    }
    if (fft) {
        if (got != request)
            return call + ": an FFT read gives " + std::to_string(request) + " bytes";
        const float *mags = reinterpret_cast<const float *>(buffer.data());
        for (std::size_t i = 0; i < request / sizeof(float); ++i)
            if (!(std::isfinite(mags[i]) && mags[i] >= 0 && mags[i] <= 2.0f))
                return call + ": magnitude " + std::to_string(i) + " is " + std::to_string(mags[i]);
        return "";
    }
    if (got > length || got % kFrameBytes != 0 || got > kMaxHeldBytes)
        return call + ": more than asked, held, or not whole frames";
    if (const long at = buffer.writtenFrom(got); at >= 0)
        return call + ": wrote byte " + std::to_string(at) + ", past what it returned";
    const float *samples = reinterpret_cast<const float *>(buffer.data());
    for (std::size_t i = 0; i < got / sizeof(float); ++i)
        if (!(std::fabs(samples[i]) <= 1.0f))
            return call + ": sample " + std::to_string(i) + " is " + std::to_string(samples[i]) +
                   ", not what the source was fed";
    return "";
}

} // namespace hgfuzz
