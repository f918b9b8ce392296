// The whole program's moving parts for the fault and soak tests: the main
// window capturing both inputs and a spectrum display for each input
// rendering that input's channel, fed by paced sines on the private sound
// server, with probes that read what the windows show. Window (test main)
// thread, except TFeeder's own thread and the probes' render-thread halves.
#pragma once

#include "Main.h"
#include "Spectrum3D.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace hgfault {

// The signal of each input: a sine centred on a bin of the 4096-point
// spectrum, a whole number of periods in every 20 ms chunk, whose held peak
// the window reads exactly and whose bin is the display curve's peak.
struct TInputSignal {
    unsigned bin;       // bin of the 4096-point spectrum
    double amplitude;   // linear, 1 = full scale
    const char *peakText; // the window readout's opening for that peak
};
inline constexpr TInputSignal kSignal1{512, 0.5, "Peak: 50.0000% / -6.0 dB"};
inline constexpr TInputSignal kSignal2{256, 0.25, "Peak: 25.0000% / -12.0 dB"};

// Names of the private server's test sources in the device lists.
inline const QString kIn1 = QStringLiteral("Hushgauge Test Input 1");
inline const QString kIn2 = QStringLiteral("Hushgauge Test Input 2");
inline const QString kOut1Monitor = QStringLiteral("Monitor of Hushgauge Test Output 1");
inline const QString kOut2Monitor = QStringLiteral("Monitor of Hushgauge Test Output 2");

// ---- the process's own resources ----
int CountThreads();   // entries of /proc/self/task
int CountFds();       // entries of /proc/self/fd
long ResidentKiB();   // VmRSS of /proc/self/status
struct TResources {
    int threads = 0;
    int fds = 0;
    long rssKiB = 0;
};
TResources SampleResources();
// Waits (serving events) until the thread and descriptor counts are back at
// `baseline`'s; threads end a little after they are asked to. Returns a
// description of what stayed different, or "" when they came back.
std::string WaitForResources(const TResources &baseline, int timeoutMs = 5000);

// ---- the event loop ----
bool ProcessUntil(const std::function<bool()> &done, int timeoutMs);
void ProcessFor(int ms);

// Writes a sine into a pipe source's fifo in real time (20 ms chunks) on a
// thread of its own until destroyed. The fifo is opened once and kept open;
// when the server goes away (or the source is unloaded) it is opened again
// as soon as a new one is there. While nobody records from the source the
// fifo fills and the writer waits. SIGPIPE must be ignored (the tests' main
// does that).
class TFeeder {
public:
    TFeeder(std::string fifoPath, const TInputSignal &signal);
    ~TFeeder();
    TFeeder(const TFeeder &) = delete;
    TFeeder &operator=(const TFeeder &) = delete;

    // Silence in place of the sine while set (the step of the benchmark).
    void SetSilent(bool silent) { FSilent.store(silent, std::memory_order_relaxed); }
    // steady_clock nanoseconds when the first chunk of sine after the last
    // SetSilent(false) was completely in the fifo; 0 until then.
    std::int64_t StepWrittenNs() const { return FStepNs.load(std::memory_order_relaxed); }
    void ArmStep() { FStepNs.store(0, std::memory_order_relaxed); FStepArmed.store(true, std::memory_order_relaxed); }

private:
    void Run();
    const std::string FPath;
    std::vector<float> FSine;
    std::vector<float> FSilence;
    std::atomic<bool> FStop{false};
    std::atomic<bool> FSilent{false};
    std::atomic<bool> FStepArmed{false};
    std::atomic<std::int64_t> FStepNs{0};
    std::thread FThread;
};

// What a display's frames draw, read in AfterD3DRender on its render thread
// (the staging block belongs to that thread while it runs).
struct TCurveState {
    std::atomic<std::uint64_t> frames{0};
    std::atomic<int> peakVertex{-1};
    std::atomic<float> peakHeight{-1.0f};
    std::atomic<std::int64_t> firstFrameNs{0}; // steady_clock
    // The benchmark's step: the first frame whose highest vertex is near
    // stepVertex and at least 0.1 high (a tenth of the display's height: the
    // step is plainly in sight), and the first frame whose highest vertex is
    // stepVertex at stepFullHeight.
    std::atomic<int> stepVertex{-1};
    std::atomic<float> stepFullHeight{2.0f};
    std::atomic<std::int64_t> stepSeenNs{0};
    std::atomic<std::int64_t> stepFullNs{0};
    // steady_clock nanoseconds spent between BeforeD3DRender and
    // AfterD3DRender, added up over the frames (the frame's drawing with
    // the GL driver's part in it).
    std::atomic<std::int64_t> drawNs{0};
    std::atomic<std::int64_t> frameStartNs{0};
};
void AttachCurveProbe(hg::TSpectrum3D &display, const std::shared_ptr<TCurveState> &state);
// The curve peak that a 4096-point spectrum of `signal` gives.
int ExpectedVertex(const TInputSignal &signal);
float ExpectedHeight(const TInputSignal &signal);

std::int64_t SteadyNowNs();

// The window with its two displays, shown and rendering. Each display shows
// the channel its input captures, as the window hands it over.
class TRig {
public:
    TRig();
    ~TRig();

    // Picks entry `index` of input 1's or 2's list as a user would (the
    // list's activated signal).
    void Choose(int input, int index);
    void Choose(int input, const QString &entry);
    int Index(const QString &entry) const;
    // Waits until both window readouts and both display curves show the two
    // inputs' signals; "" then, else what was seen.
    std::string WaitReadoutsRight(int timeoutMs = 10000);
    // The frames drawn by display 1 and 2 go on (a few more within 2 s).
    std::string WaitDisplaysAdvance(int timeoutMs = 2000);
    // The window's timer ticks: a readout overwritten is written again.
    bool WindowTicks();

    // Closes the window and destroys it (and its displays) while everything
    // runs.
    void CloseWindow();
    // A new window in place of a closed one, probes attached, shown.
    void OpenWindow();

    std::unique_ptr<TFormMain> form;
    hg::TSpectrum3D *display1 = nullptr, *display2 = nullptr; // the window's
    std::shared_ptr<TCurveState> curve1 = std::make_shared<TCurveState>();
    std::shared_ptr<TCurveState> curve2 = std::make_shared<TCurveState>();
    QStringList errors; // the window's error boxes
    std::vector<QString> displayBoxes; // the displays' boxes
};

// Binds the displays to the capture library once per process, and loads
// every library the rig uses (GL driver, Qt's platform plugin, the capture
// connection) by running a rig once, so that counts taken afterwards see
// only what a fault leaves behind.
void WarmUp();

} // namespace hgfault
