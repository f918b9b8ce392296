// Whole-program figures of the window with both inputs capturing and both
// spectrum displays rendering, on the private X display and sound server
// (run under scripts/with-servers; scripts/bench does). Each figure is
// printed with a reference measured in the same run, one per line:
//   figure|value|unit|reference|reference value|reference unit
// Main (window) thread; the feeders and the displays' frames run on their
// own threads. With --first-frame or --first-frame-bare it is a child of
// itself that measures one start.
#include "FaultRig.h"

#include "Spectrum3DBinding.h"
#include "app/Scaling.h"
#include "hg_test_signals.h"

#include <QApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSurfaceFormat>
#include <QWindow>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace sig = hg::signals;
using namespace hgfault;

namespace {

double Ms(std::int64_t ns) { return static_cast<double>(ns) / 1e6; }

double Median(std::vector<double> v)
{
    if (v.empty())
        return -1.0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Figure(const char *name, double value, const char *unit, const char *reference, double refValue,
            const char *refUnit)
{
    std::printf("%s|%.3f|%s|%s|%.3f|%s\n", name, value, unit, reference, refValue, refUnit);
    std::fflush(stdout);
}

std::int64_t StartNs()
{
    const char *t0 = std::getenv("HG_BENCH_T0_NS");
    return t0 != nullptr ? std::atoll(t0) : SteadyNowNs();
}

// Child: the program's start up to the first frame of both displays.
int FirstFrameChild(int argc, char **argv)
{
    const std::int64_t t0 = StartNs();
    hg::DeclareDpiAwareness();
    QApplication app(argc, argv);
    hg::Spectrum3DUnitStartup(HG_CAPTURE_LIBRARY_DIR);
    long rss = 0;
    std::int64_t first = 0, both = 0;
    {
        TRig rig; // returns once both displays have drawn a frame
        const std::int64_t f1 = rig.curve1->firstFrameNs.load(), f2 = rig.curve2->firstFrameNs.load();
        if (f1 == 0 || f2 == 0)
            return 1;
        first = std::min(f1, f2) - t0;
        both = std::max(f1, f2) - t0;
        rss = ResidentKiB();
    }
    std::printf("%.3f %.3f %ld\n", Ms(first), Ms(both), rss);
    return 0;
}

// Child, the reference: the least a Qt program with one OpenGL window of
// the display's size and format takes here to its first swapped frame.
int FirstFrameBareChild(int argc, char **argv)
{
    const std::int64_t t0 = StartNs();
    hg::DeclareDpiAwareness();
    QApplication app(argc, argv);
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    format.setSamples(4);
    format.setSwapInterval(0);
    QWindow window;
    window.setSurfaceType(QSurface::OpenGLSurface);
    window.setFormat(format);
    window.resize(514, 297);
    window.show();
    QOpenGLContext context;
    context.setFormat(format);
    if (!context.create())
        return 1;
    ProcessUntil([&] { return window.isExposed(); }, 5000);
    if (!context.makeCurrent(&window))
        return 1;
    context.functions()->glClearColor(0, 0, 0, 1);
    context.functions()->glClear(GL_COLOR_BUFFER_BIT);
    context.swapBuffers(&window);
    const std::int64_t first = SteadyNowNs() - t0;
    std::printf("%.3f %.3f %ld\n", Ms(first), Ms(first), ResidentKiB());
    const auto *renderer = reinterpret_cast<const char *>(context.functions()->glGetString(GL_RENDERER));
    const auto *version = reinterpret_cast<const char *>(context.functions()->glGetString(GL_VERSION));
    std::printf("%s | %s\n", renderer ? renderer : "?", version ? version : "?");
    context.doneCurrent();
    return 0;
}

// Starts this program again with `mode`; its one line of figures.
bool RunChild(const char *mode, double &first, double &both, long &rss, std::string *secondLine = nullptr)
{
    int out[2];
    if (::pipe(out) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> env;
    for (char **e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "HG_BENCH_T0_NS=", 15) != 0)
            env.emplace_back(*e);
    env.push_back("HG_BENCH_T0_NS=");
    std::vector<char *> envp;
    for (std::string &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string self = "/proc/self/exe";
    char exe[4096];
    const ssize_t n = ::readlink(self.c_str(), exe, sizeof exe - 1);
    if (n <= 0)
        return false;
    exe[n] = '\0';
    char *argv[] = {exe, const_cast<char *>(mode), nullptr};
    pid_t pid = 0;
    // The clock starts as the process is asked for.
    env.back() = "HG_BENCH_T0_NS=" + std::to_string(SteadyNowNs());
    envp[env.size() - 1] = env.back().data();
    const int rc = posix_spawn(&pid, exe, &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        return false;
    }
    std::string text;
    char buf[256];
    ssize_t r;
    while ((r = ::read(out[0], buf, sizeof buf)) > 0)
        text.append(buf, static_cast<std::size_t>(r));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const std::size_t eol = text.find('\n');
    if (secondLine != nullptr && eol != std::string::npos) {
        *secondLine = text.substr(eol + 1);
        while (!secondLine->empty() && secondLine->back() == '\n')
            secondLine->pop_back();
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
           std::sscanf(text.c_str(), "%lf %lf %ld", &first, &both, &rss) == 3;
}

int Parent(int argc, char **argv)
{
    // 1. Starts, each in a fresh process, before anything else runs here.
    constexpr int kStarts = 5;
    std::vector<double> first, both, bare;
    long rssAtFirst = 0, rssBare = 0;
    std::string renderer;
    for (int i = 0; i < kStarts; ++i) {
        double f = 0, b = 0;
        long rss = 0;
        if (RunChild("--first-frame", f, b, rss)) {
            first.push_back(f);
            both.push_back(b);
            rssAtFirst = rss;
        }
        if (RunChild("--first-frame-bare", f, b, rss, &renderer)) {
            bare.push_back(f);
            rssBare = rss;
        }
    }
    if (first.empty() || bare.empty()) {
        std::fprintf(stderr, "a start failed (run under scripts/with-servers)\n");
        return 1;
    }
    std::printf("info|GL renderer|%s\n", renderer.c_str());
    Figure("start to first frame (median of 5)", Median(first), "ms", "bare Qt GL window, first swap", Median(bare),
           "ms");
    Figure("start to first frame of both displays", Median(both), "ms", "bare Qt GL window, first swap",
           Median(bare), "ms");

    // 2. Everything running in this process.
    hg::DeclareDpiAwareness();
    QApplication app(argc, argv);
    hg::Spectrum3DUnitStartup(HG_CAPTURE_LIBRARY_DIR);
    TFeeder feed1(sig::fifo_path(1), kSignal1);
    TFeeder feed2(sig::fifo_path(2), kSignal2);
    TRig rig;
    rig.Choose(1, kIn1);
    rig.Choose(2, kIn2);
    if (!rig.errors.isEmpty() || !rig.WaitReadoutsRight().empty()) {
        std::fprintf(stderr, "the inputs did not capture: %s\n", rig.WaitReadoutsRight(0).c_str());
        return 1;
    }
    ProcessFor(1000);
    const std::uint64_t f1 = rig.curve1->frames.load(), f2 = rig.curve2->frames.load();
    const std::int64_t d1 = rig.curve1->drawNs.load(), d2 = rig.curve2->drawNs.load();
    const std::int64_t t = SteadyNowNs();
    ProcessFor(5000);
    const double seconds = static_cast<double>(SteadyNowNs() - t) / 1e9;
    const double fps1 = static_cast<double>(rig.curve1->frames.load() - f1) / seconds;
    const double fps2 = static_cast<double>(rig.curve2->frames.load() - f2) / seconds;
    // The render thread sleeps 10 ms after each frame: 100 frames a second
    // is the ceiling a frame of no cost would reach.
    Figure("display 1 frames per second, both rendering", fps1, "fps", "ceiling of the 10 ms frame pause", 100.0,
           "fps");
    Figure("display 2 frames per second, both rendering", fps2, "fps", "ceiling of the 10 ms frame pause", 100.0,
           "fps");
    const double draw1 = Ms(rig.curve1->drawNs.load() - d1) * 1000.0 / static_cast<double>(rig.curve1->frames.load() - f1);
    const double draw2 = Ms(rig.curve2->drawNs.load() - d2) * 1000.0 / static_cast<double>(rig.curve2->frames.load() - f2);
    Figure("display 1 whole frame with the GL driver (render thread)", draw1, "us", "frame interval at that rate",
           1e6 / fps1, "us");
    Figure("display 2 whole frame with the GL driver (render thread)", draw2, "us", "frame interval at that rate",
           1e6 / fps2, "us");
    const long rssRunning = ResidentKiB();

    // 3. A step of input 1 from silence to the sine, 20 times.
    // Reference: when the capture library has the step, as the window's
    // peak hold (written by the capture thread) shows it.
    std::vector<double> seen, full, captured;
    rig.curve1->stepVertex.store(ExpectedVertex(kSignal1));
    rig.curve1->stepFullHeight.store(ExpectedHeight(kSignal1) - 0.02f);
    for (int i = 0; i < 20; ++i) {
        feed1.SetSilent(true);
        // Silence through the whole 4096-frame spectrum and a little more.
        if (!ProcessUntil([&] { return rig.curve1->peakHeight.load() < 0.05f; }, 3000))
            continue;
        ProcessFor(200);
        rig.curve1->stepSeenNs.store(0);
        rig.curve1->stepFullNs.store(0);
        rig.form->ButtonReset1Click();
        std::atomic<std::int64_t> capturedNs{0};
        std::atomic<bool> stopWatch{false};
        std::thread watch([&] {
            while (!stopWatch.load(std::memory_order_relaxed)) {
                if (rig.form->PeakLevel1.load(std::memory_order_relaxed) > 0.25f) {
                    capturedNs.store(SteadyNowNs(), std::memory_order_relaxed);
                    return;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        feed1.ArmStep();
        feed1.SetSilent(false);
        const bool done =
            ProcessUntil([&] { return rig.curve1->stepFullNs.load() != 0 && feed1.StepWrittenNs() != 0; }, 3000);
        stopWatch.store(true);
        watch.join();
        if (!done || capturedNs.load() == 0)
            continue;
        captured.push_back(Ms(capturedNs.load() - feed1.StepWrittenNs()));
        seen.push_back(Ms(rig.curve1->stepSeenNs.load() - feed1.StepWrittenNs()));
        full.push_back(Ms(rig.curve1->stepFullNs.load() - feed1.StepWrittenNs()));
    }
    if (seen.empty()) {
        std::fprintf(stderr, "no step reached the display\n");
        return 1;
    }
    const double interval = 1000.0 / fps1;
    Figure("input step to the first frame that shows it (median of 20)", Median(seen), "ms",
           "step to the capture library's peak hold (median)", Median(captured), "ms");
    Figure("input step to the first frame that shows it (worst of 20)", *std::max_element(seen.begin(), seen.end()),
           "ms", "one frame interval", interval, "ms");
    Figure("input step to the first frame at full height (median)", Median(full), "ms",
           "4096 frames at 48 kHz (the spectrum's span)", 4096.0 / 48.0, "ms");

    Figure("resident memory, everything running", static_cast<double>(rssRunning) / 1024.0, "MiB",
           "bare Qt GL window", static_cast<double>(rssBare) / 1024.0, "MiB");
    Figure("resident memory at the first frame", static_cast<double>(rssAtFirst) / 1024.0, "MiB",
           "bare Qt GL window", static_cast<double>(rssBare) / 1024.0, "MiB");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "xcb_egl");
    if (argc > 1 && std::strcmp(argv[1], "--first-frame") == 0)
        return FirstFrameChild(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--first-frame-bare") == 0)
        return FirstFrameBareChild(argc, argv);
    return Parent(argc, argv);
}
