// hg_test_signals: known signals for the private test sound server
// (scripts/with-servers, scripts/pulse-server). Used by tests on their own
// thread; nothing here is thread-safe beyond what each function says.
//
// Signals are interleaved float32 frames (48 kHz stereo unless asked
// otherwise), the format of the server's test sources:
//   hg_in1, hg_in2    pipe sources: what is written to $HG_PULSE_DIR/in1.fifo
//                     (in2.fifo) is captured as fast as it is written, and
//                     nothing is captured while nothing is written;
//   hg_out1.monitor, hg_out2.monitor
//                     monitors of the null sinks hg_out1, hg_out2: what is
//                     played into the sink, in real time, and silence
//                     whenever the server renders the sink with nothing
//                     playing (how much depends on the server's timing).
#pragma once

// Qt's keyword macro `signals` would turn the namespace's name into
// `public`; it is set aside while this header declares it. Code that
// includes Qt headers with keywords on can use the alias hg_signals.
#ifdef signals
#pragma push_macro("signals")
#undef signals
#define HG_TEST_SIGNALS_RESTORE_QT_KEYWORD
#endif

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hg::signals {

constexpr unsigned kRate = 48000;
constexpr unsigned kChannels = 2;

// ---- signal generators (pure) ----

// `frames` frames of amplitude * sin(2 pi freq t + phase), the same on every channel.
std::vector<float> sine(double freq_hz, double amplitude, std::size_t frames, double phase = 0.0,
                        unsigned channels = kChannels, unsigned rate = kRate);
// `frames` frames of zeros.
std::vector<float> silence(std::size_t frames, unsigned channels = kChannels);
// `frames` frames of Gaussian white noise with the given RMS, reproducible
// from `seed`; with `same_on_all_channels` every channel carries the same
// sample (so the channel average has the same RMS), else each its own.
std::vector<float> noise(double rms, std::size_t frames, std::uint32_t seed, bool same_on_all_channels = true,
                         unsigned channels = kChannels);
// Frame i carries i * step on every channel (for checking that reads see
// whole, consecutive frames). Wraps to 0 after `period` frames.
std::vector<float> ramp(std::size_t frames, std::size_t start, float step, std::size_t period,
                        unsigned channels = kChannels);

// The centre frequency of FFT bin `bin` of an `fft_size`-point transform.
double bin_frequency(unsigned bin, unsigned fft_size, unsigned rate = kRate);

// ---- the private server ----

// The server's folder ($HG_PULSE_DIR), or "" outside scripts/with-servers.
std::string pulse_dir();
// $HG_PULSE_DIR/in<input>.fifo for input 1 or 2.
std::string fifo_path(int input);

// Writes all of `frames` into pipe source `input` (1 or 2). The server only
// drains the pipe while something records from the source, so this waits
// at most `timeout_ms` for room and returns false if it never came (or on
// any error). Returns true once every byte is in the pipe.
bool write_to_fifo(int input, const std::vector<float> &frames, int timeout_ms = 5000);

// Empties pipe source `input`'s fifo of what earlier writes left there:
// while nothing records from the source the server does not read it, so
// that would be the first thing the next capture gets.
void drain_fifo(int input);
// The same for the fifo at `path` (a pipe source of a test's own).
void drain_fifo_at(const std::string &path);

// Plays `frames` into a sink (e.g. "hg_out1") through the server in real
// time; returns when the server has played them (false on any error).
bool play_to_sink(const std::string &sink, const std::vector<float> &frames, unsigned channels = kChannels,
                  unsigned rate = kRate);

// Runs `pactl <args>` against the private server; its exit code (-1 if it
// could not run). `output`, when given, receives what it printed.
int pactl(const std::string &args, std::string *output = nullptr);
// Loads a server module (pactl load-module); its index, or -1.
int load_module(const std::string &name_and_args);
// Unloads a module loaded with load_module.
bool unload_module(int index);

// Kills the private server at once (SIGKILL), as a crash would.
bool kill_server();
// Starts the private server again (scripts/pulse-server start).
bool start_server();

} // namespace hg::signals

namespace hg_signals = hg::signals;

#ifdef HG_TEST_SIGNALS_RESTORE_QT_KEYWORD
#pragma pop_macro("signals")
#undef HG_TEST_SIGNALS_RESTORE_QT_KEYWORD
#endif
