// hg_test_signals: signal generators and helpers that drive the private
// test sound server. Runs on the calling test's thread.
#include "hg_test_signals.h"

#include <pulse/simple.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace hg::signals {

std::vector<float> sine(double freq_hz, double amplitude, std::size_t frames, double phase, unsigned channels,
                        unsigned rate) {
    std::vector<float> out(frames * channels);
    for (std::size_t i = 0; i < frames; ++i) {
        const float v = static_cast<float>(amplitude * std::sin(2.0 * M_PI * freq_hz * static_cast<double>(i) / rate + phase));
        for (unsigned c = 0; c < channels; ++c)
            out[i * channels + c] = v;
    }
    return out;
}

std::vector<float> silence(std::size_t frames, unsigned channels) { return std::vector<float>(frames * channels, 0.0f); }

std::vector<float> noise(double rms, std::size_t frames, std::uint32_t seed, bool same_on_all_channels,
                         unsigned channels) {
    std::mt19937 gen(seed);
    std::normal_distribution<double> dist(0.0, rms);
    std::vector<float> out(frames * channels);
    for (std::size_t i = 0; i < frames; ++i) {
        const float first = static_cast<float>(dist(gen));
        for (unsigned c = 0; c < channels; ++c)
            out[i * channels + c] = (c == 0 || same_on_all_channels) ? first : static_cast<float>(dist(gen));
    }
    return out;
}

std::vector<float> ramp(std::size_t frames, std::size_t start, float step, std::size_t period, unsigned channels) {
    std::vector<float> out(frames * channels);
    for (std::size_t i = 0; i < frames; ++i) {
        const float v = static_cast<float>((start + i) % period) * step;
        for (unsigned c = 0; c < channels; ++c)
            out[i * channels + c] = v;
    }
    return out;
}

double bin_frequency(unsigned bin, unsigned fft_size, unsigned rate) {
    return static_cast<double>(bin) * rate / fft_size;
}

std::string pulse_dir() {
    const char *d = std::getenv("HG_PULSE_DIR");
    return d ? d : "";
}

std::string fifo_path(int input) {
    const std::string dir = pulse_dir();
    if (dir.empty() || (input != 1 && input != 2))
        return "";
    return dir + "/in" + std::to_string(input) + ".fifo";
}

bool write_to_fifo(int input, const std::vector<float> &frames, int timeout_ms) {
    const std::string path = fifo_path(input);
    if (path.empty())
        return false;
    // The server holds the pipe open, so a non-blocking open succeeds at once.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const char *p = reinterpret_cast<const char *>(frames.data());
    std::size_t left = frames.size() * sizeof(float);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    bool ok = true;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n > 0) {
            p += n;
            left -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            ok = false;
            break;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            ok = false;
            break;
        }
        pollfd pfd{fd, POLLOUT, 0};
        ::poll(&pfd, 1, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count()) + 1);
    }
    ::close(fd);
    return ok;
}

void drain_fifo(int input) {
    const std::string path = fifo_path(input);
    if (!path.empty())
        drain_fifo_at(path);
}

void drain_fifo_at(const std::string &path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    char buf[65536];
    while (::read(fd, buf, sizeof buf) > 0) {
    }
    ::close(fd);
}

bool play_to_sink(const std::string &sink, const std::vector<float> &frames, unsigned channels, unsigned rate) {
    pa_sample_spec ss;
    ss.format = PA_SAMPLE_FLOAT32LE;
    ss.rate = rate;
    ss.channels = static_cast<std::uint8_t>(channels);
    // A short buffer, so that playing starts at once and goes on in real time
    // (the default waits for two seconds of data before it starts).
    pa_buffer_attr attr;
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(50 * 1000, &ss));
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    int err = 0;
    pa_simple *s = pa_simple_new(nullptr, "hg_test_signals", PA_STREAM_PLAYBACK, sink.c_str(), "test signal", &ss,
                                 nullptr, &attr, &err);
    if (!s)
        return false;
    bool ok = pa_simple_write(s, frames.data(), frames.size() * sizeof(float), &err) >= 0;
    ok = pa_simple_drain(s, &err) >= 0 && ok;
    pa_simple_free(s);
    return ok;
}

int pactl(const std::string &args, std::string *output) {
    const std::string cmd = "pactl " + args + " 2>/dev/null";
    FILE *f = ::popen(cmd.c_str(), "r");
    if (!f)
        return -1;
    std::string text;
    char buf[512];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    const int status = ::pclose(f);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int load_module(const std::string &name_and_args) {
    std::string out;
    if (pactl("load-module " + name_and_args, &out) != 0)
        return -1;
    try {
        return std::stoi(out);
    } catch (...) {
        return -1;
    }
}

bool unload_module(int index) { return index >= 0 && pactl("unload-module " + std::to_string(index)) == 0; }

bool kill_server() {
    std::ifstream f(pulse_dir() + "/server.pid");
    long pid = 0;
    if (!(f >> pid) || pid <= 1)
        return false;
    if (::kill(static_cast<pid_t>(pid), SIGKILL) != 0)
        return false;
    // Wait until it is gone: it is not our child, so poll, and count a
    // zombie (dead, not yet reaped by its parent) as gone.
    auto alive = [pid] {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string pid_field, name, state;
        return stat >> pid_field >> name >> state && state != "Z" && state != "X";
    };
    for (int i = 0; i < 100 && alive(); ++i)
        ::usleep(20000);
    return true;
}

bool start_server() {
    const char *ctl = std::getenv("HG_PULSE_CTL");
    if (!ctl)
        return false;
    const std::string cmd = std::string("'") + ctl + "' stop >/dev/null 2>&1; '" + ctl + "' start >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

} // namespace hg::signals
